#pragma once

// Restricted dialect (see CrashState.h): the crash handlers and the capture they share.

#include <csignal>

namespace murmelo::crash {

// For the six fatal signals and SIGTRAP.
void onFatalSignal(int signal, siginfo_t *info, void *context);
// For the dump signal: records the receiving thread's own stack while a capture runs.
void onDumpSignal(int signal, siginfo_t *info, void *context);
// The std::terminate handler: an uncaught exception.
[[noreturn]] void onTerminate();

// The SDK version the report's body header names when the header file is missing.
inline constexpr char kSdkVersion[] =
    "__libVigil_v2.1.3_e4a19c07d2b85f3166ac90e7b1d2f48a5c03e7b9__";

} // namespace murmelo::crash
