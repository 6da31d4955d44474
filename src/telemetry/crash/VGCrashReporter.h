#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace murmelo {

// Crash capture, seen from outside the handlers: installing them, preparing the crash-time
// upload, and finding the reports left by earlier runs. When the application dies of a fatal
// signal or an uncaught exception, the handlers write "backtrace.mpack" in the SDK folder (one
// complete upload body: the crash and the end of the session that died, with its log) and post
// it at once over the prepared socket; what is not delivered is picked up at the next launch.
//
// Design note: every thread's stack is recorded in-process. The capturing thread sends each
// other thread a real-time signal; each records its own stack by the unwind tables from its
// signal context and then waits inside the handler until the capture is over, which is what
// suspends it. A helper process attaching with ptrace was the alternative; it is not used
// because a process that has just crashed would have to start it (fork and exec from a broken
// heap), and Yama's ptrace scope or a container often forbids the attach anyway.
class VGCrashReporter {
public:
    using LogSink = std::function<void(const QString &)>;
    // Where the reporter's messages go (the remote log once it exists; the system log before).
    static void setLogSink(LogSink sink);

    // Installs the handlers for SDKFOLDER. A second call reinstalls them (a crash still runs
    // one capture). False, with a logged error, when the folder's path is too long.
    static bool installCrashHandlers(const QString &sdkFolder);
    static bool handlersInstalled();
    // Puts back the handlers that were in place before (the user switched telemetry off) and
    // closes the prepared socket; a crash then ends the process as if none were installed.
    static void uninstallCrashHandlers();

    // Writes the token's digest for the handler and resolves and opens (without connecting)
    // the socket the crash-time upload will use. False when the name did not resolve.
    static bool prepareCrashUpload(const QString &applicationToken);

    // Moves a left-over "backtrace.mpack" into "old_crashes", deletes reports that were
    // delivered, and returns the paths of those still to send, oldest file first.
    static QStringList processOldCrashReports(const QString &sdkFolder);

    // Reads the loader's image list again, after libraries were loaded or unloaded.
    static void refreshImageList();

    // Gives the calling thread a 128 KiB alternate signal stack, so that a stack overflow on it
    // is still reported. Threads alive at install get one; threads started later may call this.
    static bool installAlternateStackForCurrentThread();

    // Bounds of the crash-time delivery (connect and send, then the answer), for tests.
    static void setDeliveryTimeouts(int sendSeconds, int answerSeconds);
};

} // namespace murmelo
