#pragma once

// Restricted dialect (see CrashState.h): every thread's stack at the moment of a crash. The
// capturing thread unwinds its own; every other thread is asked by the dump signal to record
// its own, and is held in its handler until released.

#include "telemetry/crash/handler/CrashState.h"

#define UNW_LOCAL_ONLY
#include <libunwind.h>

namespace murmelo::crash {

// The threads of the process as the report orders and names them.
struct ThreadList {
    pid_t tids[kMaxThreads];
    char names[kMaxThreads][40];
    size_t count = 0;
    size_t selfIndex = 0; // the capturing thread
};

pid_t currentTid();

// Frames by the unwind tables: frame 0 is where the context stopped; callers are return
// addresses minus one, so that each lands inside its call instruction's function.
size_t unwind(unw_context_t *context, bool signalFrame, uintptr_t *out);

// The threads of the process, `self` among them: when there are more threads than slots, the
// capturing thread takes the last slot.
void listThreads(ThreadList &threads, pid_t self);
// Names as the report keys them: a thread that kept the name it inherited from the process has
// none of its own and is "Thread <index>"; a name seen before gets the index too, so that no
// thread's backtrace hides another's under the same key.
void nameThreads(ThreadList &threads, pid_t mainTid);
// Asks every other thread to record its own stack and waits a bounded time for the answers.
// The threads then wait inside their handlers until released: they are suspended.
void recordOtherThreads(const ThreadList &threads);
void releaseOtherThreads();

} // namespace murmelo::crash
