#pragma once

#include <functional>

class QObject;

namespace murmelo {

// The telemetry's one network thread, "Vigil Network Runloop Thread", with its own event loop.
// Every connection, its callbacks and its timers live on it. Created on first use, kept for the
// process.
namespace VGNetworkThread {

// Runs work on the network thread's event loop, without waiting.
void post(std::function<void()> work);
// An object living on the thread, parent of its connections and timers. Only to be used on the
// network thread.
QObject &context();
bool isCurrent();

} // namespace VGNetworkThread

} // namespace murmelo
