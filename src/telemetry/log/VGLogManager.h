#pragma once

#include "telemetry/log/VGRemoteLog.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>

namespace murmelo {

class SerialQueue;

// The telemetry's log: every message goes into the current session's log file (records of time
// and text, older ones deflated in 64 KiB blocks), to the system log, and to standard error while
// a debugger is attached. A session's log travels inside its session-end event. All log state is
// touched on the log's own serial queue only.
class VGLogManager {
public:
    static VGLogManager &sharedManager();

    // Records the message; log() waits until it is recorded, logAsync() does not.
    void log(const QString &message);
    void logAsync(const QString &message);
    // From now until the next session id, messages are held and go into that session's log.
    void prepareToStartSession();
    // Opens (creating anew) the log of the session; nothing happens for the open session's id.
    void setCurrentSessionID(const QString &sessionID);
    void setLogToConsole(bool enabled);
    void setLogToSTDERR(bool enabled);
    bool logCheckpoints() const { return logCheckpoints_.load(); }
    void setLogCheckpoints(bool enabled) { logCheckpoints_.store(enabled); }

    // Writes the session's log at the descriptor's position as one raw value holding the array
    // header, the compressed part and the uncompressed tail. In a hurry, a log above 64 KiB is
    // not written. Returns success; bytesWritten is the value's size, -1 after a failed write.
    bool writeLogFor(const QString &sessionID, int fileDescriptor, bool inAHurry,
                     qint64 *bytesWritten);
    // Ids of unsent logs left by earlier processes (logs marked sent are deleted on the way).
    QStringList sessionIDsWithOldLogs();
    void deleteLogFor(const QString &sessionID);
    QString _pathForSessionID(const QString &sessionID) const;
    static QString logsFolderPath();

    // The open log's record, for crash capture (read without the queue).
    const vg_remote_log *remoteLogForCrashCapture() const { return &remote_log; }
    // Waits until everything queued so far has been handled. For tests.
    void waitUntilIdle();
    // Answers "is a debugger attached" instead of the kernel. For tests.
    void setDebuggerProbeForTesting(std::optional<bool> attached);
    // Closes the open log and forgets sessions and held messages. For tests.
    void resetForTesting();

    static constexpr qint64 kMaximumLogSize = 16 * 1024 * 1024;
    static constexpr qint64 kHurryLimit = 65536;

    VGLogManager(const VGLogManager &) = delete;
    VGLogManager &operator=(const VGLogManager &) = delete;

private:
    VGLogManager();
    struct Message;
    void record(const Message &message);
    void sync(const std::function<void()> &work);
    void async(std::function<void()> work);
    int appendRecord(vg_remote_log *log, const QByteArray &text, qint64 time);
    void openLog(const QString &sessionID);
    void internalDeleteLogFor(const QString &sessionID);
    bool beingDebugged() const;
    void echoToStandardError(const Message &message);

    std::unique_ptr<SerialQueue> queue_;
    QString sessionID_;
    vg_remote_log remote_log;
    QStringList newSessionIDs_;
    std::optional<QStringList> logsRecordedPostPreparePreSetSessionID_;
    std::atomic<bool> logCheckpoints_{true};
    bool logToConsole_ = true;
    bool logToSTDERR_ = true;
    bool remoteFailureReported_ = false;
    bool stderrFailureReported_ = false;
    std::optional<bool> debuggerProbe_;
};

} // namespace murmelo
