#pragma once

#include "telemetry/codec/VGValue.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace murmelo {

class VGEventManager;
class VGTimer;

// What the service allows this application, in this order.
struct VGServerPermissions {
    bool applicationTokenValid = true;
    bool sendsCheckpoints = true;
    bool sendsLogs = true;
    bool sendsCrashes = true;
};

// The telemetry's session: started, resumed and ended as the application becomes active and
// inactive, every event numbered, the session's end record kept on disk (so that a session cut
// short by a crash or a kill is still reported at the next launch), the token handshake and the
// permissions the service grants. Every operation runs on the SDK queue.
class VGSessionManager {
public:
    static VGSessionManager &sharedSessionManager();

    void setApplicationToken(const QString &token);
    void startSession(bool manual);
    void endSession(bool manual);
    // Ends the open session without reporting it and forgets its saved end (telemetry was
    // switched off).
    void discardSession();
    // Reports the sessions earlier processes did not end (five per launch). Called off the SDK
    // queue; reads the current session id through it.
    void endOldSessions();

    void checkpointHit(const QString &name, const VGValue &parameters = VGValue());
    void respondToFeedbackCustom(const QString &text);
    void recordEvent(const QString &type);
    void recordEvent(const QString &type, const VGValue &pairs);
    void recordEvent(const QString &type, const VGValue &pairs, bool highPriority);
    VGValue currentSessionInformation() const;

    void doApiHandshake();
    void finishedHandshakeWithData(const QByteArray &data);
    void saveLastSessionInformation();
    void saveEndSessionInformation();
    std::optional<VGValue> savedEndSessionInformationForSessionID(const QString &id) const;
    void deleteSavedEndSessionInformationForSessionID(const QString &id);
    QStringList sessionIDsWithOldSavedSessionInformation() const;
    QString sequenceNumberPathForSessionID(const QString &id) const;
    QString sessionFilePathForFileName(const QString &name, const QString &extension) const;
    void sendOldCrashReport(const QString &path);
    bool shouldSendLogs() const;
    int32_t useSeqNumber();
    double unixTime() const;
    static QString getUUID();

    // Accessors.
    QString appToken() const { return appToken_; }
    QUrl url() const { return url_; }
    QString sessionID() const { return sessionID_; }
    double startTime() const { return startTime_; }
    double fragmentStartTime() const { return fragmentStartTime_; }
    double lastSessionEndTime() const { return lastSessionEndTime_; }
    int32_t nextSeqNumber() const { return nextSeqNumber_; }
    bool inSession() const { return inSession_; }
    double sessionKeepAliveTimeout() const { return sessionKeepAliveTimeout_; }
    void setSessionKeepAliveTimeout(double seconds) { sessionKeepAliveTimeout_ = seconds; }
    double vgSessionKeepAliveTimeout() const { return vgSessionKeepAliveTimeout_; }
    bool sendLogOnlyOnCrash() const { return sendLogOnlyOnCrash_.load(); }
    void setSendLogOnlyOnCrash(bool value) { sendLogOnlyOnCrash_.store(value); }
    VGServerPermissions serverPermissions() const { return permissions_; }
    size_t eventsRecordedOutOfSessionCount() const { return eventsRecordedOutOfSession_.size(); }
    VGEventManager &eventManager() { return *eventManager_; }

    // The user defaults file the session keeps its first-session mark in. Each use opens its own
    // handle on it, since the application's handle belongs to the main thread.
    void setDefaultsPath(const QString &path) { defaultsPath_ = path; }

    // Unix seconds now; tests step time by hand.
    using Clock = std::function<double()>;
    void setClockForTesting(Clock clock);
    // How a file goes to the sessions address (the network manager by default). For tests.
    using CrashReportSender = std::function<void(const QString &path, const QUrl &url)>;
    void setCrashReportSenderForTesting(CrashReportSender sender);
    // Forgets the session and reloads the permissions from disk. For tests.
    void resetForTesting();

    static constexpr char kHadFirstSessionKey[] = "org.murmelo.vigil.had-first-session";
    static constexpr int kOldSessionsPerLaunch = 5;

private:
    VGSessionManager();
    void loadPermissions();
    void savePermissions() const;
    QString sessionInfoFolder() const;
    void deliverSessionEnd(const VGValue &event, const QString &id, bool sendLogs, bool tokenValid);

    QString appToken_;
    QUrl url_;
    std::shared_ptr<VGEventManager> eventManager_;
    std::vector<VGValue> eventsRecordedOutOfSession_;
    std::unique_ptr<VGTimer> persistSessionTimer_;
    QString sessionID_;
    double startTime_ = 0;
    double fragmentStartTime_ = 0;
    double lastSessionEndTime_ = 0;
    int32_t nextSeqNumber_ = 0;
    bool inSession_ = false;
    double sessionKeepAliveTimeout_ = -1;
    double vgSessionKeepAliveTimeout_ = 30;
    std::atomic<bool> sendLogOnlyOnCrash_{false};
    VGServerPermissions permissions_;
    Clock clock_;
    QString defaultsPath_;
    CrashReportSender crashReportSender_;
};

} // namespace murmelo
