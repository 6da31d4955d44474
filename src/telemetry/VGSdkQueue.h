#pragma once

#include <functional>

namespace murmelo {

class SerialQueue;

// The telemetry's one serial work queue: its facade, sessions, event queues, timers and network
// completions run on it, one at a time, on a thread named "org.murmelo.Vi".
SerialQueue &vgSdkQueue();
// Runs work on the SDK queue later.
void vgSdkAsync(std::function<void()> work);
// Runs work on the SDK queue and waits for it; runs it at once when already on the queue, so a
// caller on the queue cannot wait on itself.
void vgSdkSync(const std::function<void()> &work);
// True while the calling thread runs work given to vgSdkAsync or vgSdkSync.
bool vgOnSdkQueue();
// Ends the queue's work for the rest of the process: what is still waiting is dropped, and the
// caller waits up to `boundMillis` for the work that is running. Called as the application object
// goes away, so no telemetry work touches Qt while the process tears its statics down.
void vgSdkShutDown(int boundMillis);
// True once vgSdkShutDown has been called.
bool vgSdkShuttingDown();

} // namespace murmelo
