#pragma once

#include <QString>

namespace murmelo {

// One telemetry per profile: the first Murmelo to activate holds an exclusive lock on a file in
// the telemetry folder for the rest of its life, and the kernel lets go of it when the process
// ends, however it ends. Another Murmelo on the same profile finds it held and leaves the
// telemetry to the first, so sessions and reports are not delivered twice.
namespace VGProfileLock {

inline constexpr char kFileName[] = "instance.lock";

// Takes the lock in SDKFOLDER (once per process; later calls tell whether it is held). False
// when another live process holds it or the file cannot be opened.
bool acquire(const QString &sdkFolder);
// Lets go of the lock. For tests.
void releaseForTesting();

} // namespace VGProfileLock

} // namespace murmelo
