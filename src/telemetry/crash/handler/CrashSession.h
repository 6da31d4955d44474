#pragma once

// Restricted dialect (see CrashState.h): the current session as the session manager left it on
// disk (its id, sequence number, start times and remote log), read and written by the capture.

#include "telemetry/crash/handler/CrashState.h"
#include "telemetry/crash/handler/SafeWriter.h"

namespace murmelo::crash {

// "<SDK folder>/<relative>" in `path`.
LineBuffer &sdkPath(LineBuffer &path, const char *relative);

struct SessionFacts {
    int32_t sequence = -1;
    bool hasStart = false;
    double start = 0;
    bool hasFragment = false;
    double fragment = 0;
};

// Reads the session's id and times into `facts` as far as they are readable, and takes the
// next sequence number for the crash.
void readCrashSession(SessionFacts &facts);
// The number in the session's sequence file, in any integer form; -1 when unreadable.
int32_t readSequence();
// The pairs every session event begins with.
void writeSessionPairs(SafeWriter &out, const char *type, const SessionFacts &facts, double now);
// The session's remote log as one raw: the ".ulog" file's header and its records, written only
// while nothing of it is compressed yet and it was not sent before. The open log's file runs on
// past its records (room kept for later ones), so the records are walked to find their end.
bool writeLog(SafeWriter &out);
// Marks the log and the session's record as sent, once a report carrying them is on disk.
void markSessionSent();

} // namespace murmelo::crash
