#pragma once

#include <functional>

namespace murmelo {

// Queues a callable for a later turn of the Qt event loop on the main (GUI) thread.
// Safe to call from any thread; the callable runs only once the loop gets to it.
void postToMainQueue(std::function<void()> work);

// True when called on the thread that runs the application's event loop.
bool isMainThread();

} // namespace murmelo
