#pragma once

#include <functional>

class QNetworkAccessManager;
class QObject;

namespace murmelo {

// The telemetry's one network thread, "Vigil Network Runloop Thread", with its own event loop.
// Every connection, its callbacks and its timers live on it. Created on first use, kept for the
// process.
namespace VGNetworkThread {

// Runs work on the network thread's event loop, without waiting.
void post(std::function<void()> work);
// The thread's access manager and an object living on the thread (for timers). Only to be
// used on the network thread.
QNetworkAccessManager &accessManager();
QObject &context();
bool isCurrent();

} // namespace VGNetworkThread

} // namespace murmelo
