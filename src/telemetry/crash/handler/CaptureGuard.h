#pragma once

// Restricted dialect (see CrashState.h): steps of the capture that a fault abandons, so that a
// damaged table or file costs one part of the report, not the report.

#include <csetjmp>
#include <csignal>

namespace murmelo::crash {

extern sigjmp_buf g_guard;
extern volatile sig_atomic_t g_guardArmed;

// Runs one step of the capture; a fault inside it abandons the step and the capture goes on.
template <typename Step> bool guarded(Step &&step)
{
    if (sigsetjmp(g_guard, 1) != 0)
        return false;
    g_guardArmed = 1;
    step();
    g_guardArmed = 0;
    return true;
}

// For a fault of the capturing thread: jumps back to the start of the guarded step it hit.
// Returns only when no step is running, or after too many faults to go on.
void abandonGuardedStep();

} // namespace murmelo::crash
