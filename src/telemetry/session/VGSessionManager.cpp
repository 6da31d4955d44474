#include "telemetry/session/VGSessionManager.h"

#include "platform/Defaults.h"
#include "telemetry/VGFileCaps.h"
#include "telemetry/VGFileWrites.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/device/VGApplicationInformation.h"
#include "telemetry/device/VGDeviceInfo.h"
#include "telemetry/events/VGEventManager.h"
#include "telemetry/events/VGTimer.h"
#include "telemetry/log/VGLog.h"
#include "telemetry/log/VGLogManager.h"
#include "telemetry/network/VGNetworkManager.h"
#include "telemetry/network/VGURLConnectionOperation.h"
#include "telemetry/session/VGServiceAddress.h"
#include "telemetry/update/VGAppUpdater.h"
#include "telemetry/update/VGSDKUpgradeManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QUuid>

namespace murmelo {

namespace {
const char kSessionInfo[] = "session_info";
const char kEndRecordExtension[] = "session.mpack";
const char kSequenceExtension[] = "seq.mpack";

bool writeAtomically(const QString &path, const QByteArray &bytes)
{
    return vgWriteFileAtomically(path, bytes);
}

bool carriesSentMark(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(5) == QByteArray("sent\0", 5);
}

bool numberIsTrue(const VGValue &map, const char *key)
{
    const VGValue *value = map.find(VGValue(key));
    return value && (value->isNumber() || value->isBool()) && value->toBool();
}

QString permissionsPath()
{
    return VGSdkFolder::path() + QStringLiteral("/permissions.mpack");
}
} // namespace

VGSessionManager &VGSessionManager::sharedSessionManager()
{
    static VGSessionManager *manager = new VGSessionManager; // lives for the process
    return *manager;
}

VGSessionManager::VGSessionManager()
{
    VGSDKUpgradeManager::upgradeOnce();
    defaultsPath_ = Defaults::standard().path();
    loadPermissions();
    eventManager_ = VGEventManager::eventManagerWithQueueKey(QStringLiteral("events"), QUrl());
}

void VGSessionManager::loadPermissions()
{
    permissions_ = VGServerPermissions{};
    const std::optional<VGValue> stored = VGFileCaps::readSmallRecord(permissionsPath());
    const std::optional<VGValue> map =
        stored ? VGMessagePack::unpackDictionary(stored->bytes()) : std::nullopt;
    if (!map)
        return; // no file, or a damaged one: everything allowed until the service says otherwise
    permissions_.applicationTokenValid = numberIsTrue(*map, "valid");
    permissions_.sendsLogs = numberIsTrue(*map, "send_logs");
    permissions_.sendsCrashes = numberIsTrue(*map, "send_crashes");
    permissions_.sendsCheckpoints = numberIsTrue(*map, "send_checkpoints");
}

void VGSessionManager::savePermissions() const
{
    writeAtomically(
        permissionsPath(),
        VGMessagePack::pack(VGValue::map({
            {VGValue("valid"), VGValue::boolean(permissions_.applicationTokenValid)},
            {VGValue("send_checkpoints"), VGValue::boolean(permissions_.sendsCheckpoints)},
            {VGValue("send_crashes"), VGValue::boolean(permissions_.sendsCrashes)},
            {VGValue("send_logs"), VGValue::boolean(permissions_.sendsLogs)},
        })));
}

void VGSessionManager::setApplicationToken(const QString &token)
{
    appToken_ = token;
    url_ = VGServiceAddress::baseUrl(token);
    eventManager_->setUrl(VGServiceAddress::sessionsUrl(token));
}

double VGSessionManager::unixTime() const
{
    if (clock_)
        return clock_();
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QString VGSessionManager::getUUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

int32_t VGSessionManager::useSeqNumber()
{
    return nextSeqNumber_++;
}

bool VGSessionManager::shouldSendLogs() const
{
    return !sendLogOnlyOnCrash_.load() && permissions_.sendsLogs;
}

QString VGSessionManager::sessionInfoFolder() const
{
    const QString folder = VGSdkFolder::path() + QLatin1Char('/') + QLatin1String(kSessionInfo);
    vgMakePrivateFolder(folder);
    return folder;
}

QString VGSessionManager::sessionFilePathForFileName(const QString &name,
                                                     const QString &extension) const
{
    return sessionInfoFolder() + QLatin1Char('/') + name + QLatin1Char('.') + extension;
}

QString VGSessionManager::sequenceNumberPathForSessionID(const QString &id) const
{
    return sessionFilePathForFileName(id, QLatin1String(kSequenceExtension));
}

VGValue VGSessionManager::currentSessionInformation() const
{
    const double now = unixTime();
    VGValue info = VGValue::map({
        {VGValue("session_id"), VGValue(sessionID_)},
        {VGValue("start_time"), VGValue::float64(startTime_)},
        {VGValue("timestamp"), VGValue::float64(now)},
        {VGValue("duration"), VGValue::float64(now - startTime_)},
    });
    if (fragmentStartTime_ != startTime_) {
        info.insert(VGValue("fragment_start_time"), VGValue::float64(fragmentStartTime_));
        info.insert(VGValue("fragment_duration"), VGValue::float64(now - fragmentStartTime_));
    }
    return info;
}

void VGSessionManager::saveLastSessionInformation()
{
    writeAtomically(
        sessionFilePathForFileName(QStringLiteral("last_session_id"), QStringLiteral("mpack")),
        VGMessagePack::pack(VGValue(sessionID_)));
    writeAtomically(sessionFilePathForFileName(QStringLiteral("last_session_start_time"),
                                               QStringLiteral("mpack")),
                    VGMessagePack::pack(VGValue::float64(startTime_)));
    writeAtomically(sessionFilePathForFileName(QStringLiteral("last_session_fragment_start_time"),
                                               QStringLiteral("mpack")),
                    VGMessagePack::pack(VGValue::float64(fragmentStartTime_)));
}

void VGSessionManager::saveEndSessionInformation()
{
    if (sessionID_.isEmpty())
        return; // no session yet: nothing to end later
    writeAtomically(sessionFilePathForFileName(sessionID_, QLatin1String(kEndRecordExtension)),
                    VGMessagePack::pack(currentSessionInformation()));
    // The sequence file is rewritten in place: crash capture advances it without the codec.
    QFile sequence(sequenceNumberPathForSessionID(sessionID_));
    if (sequence.open(QIODevice::WriteOnly | QIODevice::Truncate,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        sequence.write(VGMessagePack::pack(VGValue::int32(nextSeqNumber_)));
    if (persistSessionTimer_)
        persistSessionTimer_->restart();
}

std::optional<VGValue>
VGSessionManager::savedEndSessionInformationForSessionID(const QString &id) const
{
    const QString path = sessionFilePathForFileName(id, QLatin1String(kEndRecordExtension));
    const std::optional<VGValue> stored = VGFileCaps::readSmallRecord(path);
    return stored ? VGMessagePack::unpackDictionary(stored->bytes()) : std::nullopt;
}

void VGSessionManager::deleteSavedEndSessionInformationForSessionID(const QString &id)
{
    QFile::remove(sessionFilePathForFileName(id, QLatin1String(kEndRecordExtension)));
    QFile::remove(sequenceNumberPathForSessionID(id));
}

QStringList VGSessionManager::sessionIDsWithOldSavedSessionInformation() const
{
    QStringList ids;
    const QString suffix = QLatin1Char('.') + QLatin1String(kEndRecordExtension);
    for (const QString &name : QDir(sessionInfoFolder()).entryList(QDir::Files, QDir::Name)) {
        if (name.endsWith(suffix) && name.size() > suffix.size())
            ids.append(name.left(name.size() - suffix.size()));
    }
    return ids;
}

void VGSessionManager::recordEvent(const QString &type)
{
    recordEvent(type, VGValue::map(), false);
}

void VGSessionManager::recordEvent(const QString &type, const VGValue &pairs)
{
    recordEvent(type, pairs, false);
}

void VGSessionManager::recordEvent(const QString &type, const VGValue &pairs, bool highPriority)
{
    if (!permissions_.applicationTokenValid && !highPriority)
        return;
    VGValue event = currentSessionInformation();
    event.insert(VGValue("type"), VGValue(type));
    event.insert(VGValue("sequence_number"), VGValue::int32(useSeqNumber()));
    if (pairs.isMap()) {
        for (size_t i = 0; i + 1 < pairs.items().size(); i += 2)
            event.insert(pairs.items()[i], pairs.items()[i + 1]);
    }
    saveEndSessionInformation();
    if (inSession_)
        eventManager_->enqueueObject(event, highPriority);
    else
        eventsRecordedOutOfSession_.push_back(std::move(event));
}

void VGSessionManager::startSession(bool manual)
{
    inSession_ = true;
    const double now = unixTime();
    bool resumed = false;
    if (!sessionID_.isEmpty()) {
        fragmentStartTime_ = now;
        const double keepAlive =
            sessionKeepAliveTimeout_ != -1 ? sessionKeepAliveTimeout_ : vgSessionKeepAliveTimeout_;
        if (now <= lastSessionEndTime_ + keepAlive) {
            saveEndSessionInformation();
            for (const VGValue &event : eventsRecordedOutOfSession_)
                eventManager_->enqueueObject(event);
            eventsRecordedOutOfSession_.clear();
            resumed = true;
        }
    }
    if (!resumed) {
        startTime_ = fragmentStartTime_ = now;
        sessionID_ = getUUID();
        nextSeqNumber_ = 0;
        VGValue pairs = VGValue::map();
        if (manual)
            pairs.insert(VGValue("manual"), VGValue::boolean(true));
        Defaults defaults(defaultsPath_);
        if (defaults.boolForKey(QLatin1String(kHadFirstSessionKey))) {
            recordEvent(QStringLiteral("session_start"), pairs, false);
        } else {
            pairs.insert(VGValue("first_session"), VGValue::boolean(true));
            recordEvent(QStringLiteral("session_start"), pairs, true);
            defaults.setBool(QLatin1String(kHadFirstSessionKey), true);
            defaults.synchronize();
        }
        // Held events belong to the session that ended; a new session does not send them.
        eventsRecordedOutOfSession_.clear();
    }
    saveLastSessionInformation();
    doApiHandshake();
    persistSessionTimer_ = VGTimer::initWithInterval(
        30, [](std::function<void()> work) { vgSdkAsync(std::move(work)); },
        [this] { saveEndSessionInformation(); });
}

void VGSessionManager::endSession(bool manual)
{
    persistSessionTimer_.reset();
    saveEndSessionInformation();
    lastSessionEndTime_ = unixTime();
    const bool sendLogs = shouldSendLogs();
    const bool tokenValid = permissions_.applicationTokenValid;
    VGValue event = currentSessionInformation();
    event.insert(VGValue("type"), VGValue("session_end"));
    event.insert(VGValue("sequence_number"), VGValue::int32(useSeqNumber()));
    if (manual)
        event.insert(VGValue("manual"), VGValue::boolean(true));
    inSession_ = false;
    deliverSessionEnd(event, sessionID_, sendLogs, tokenValid);
}

void VGSessionManager::discardSession()
{
    persistSessionTimer_.reset();
    if (!sessionID_.isEmpty())
        deleteSavedEndSessionInformationForSessionID(sessionID_);
    eventsRecordedOutOfSession_.clear();
    sessionID_.clear();
    inSession_ = false;
}

// Queues a session's end with its log; the saved end record goes once the log went with it.
void VGSessionManager::deliverSessionEnd(const VGValue &event, const QString &id, bool sendLogs,
                                         bool tokenValid)
{
    VGValue withoutLog = event;
    withoutLog.insert(VGValue("log"), VGValue::array());
    if (sendLogs && tokenValid) {
        const bool queued = eventManager_->enqueueDictionary(event, VGValue("log"), [id](int fd) {
            qint64 written = 0;
            return VGLogManager::sharedManager().writeLogFor(id, fd, false, &written);
        });
        if (queued)
            deleteSavedEndSessionInformationForSessionID(id);
        else
            eventManager_->enqueueObject(withoutLog);
        return;
    }
    if (tokenValid)
        eventManager_->enqueueObject(withoutLog);
    deleteSavedEndSessionInformationForSessionID(id);
}

void VGSessionManager::endOldSessions()
{
    QString current;
    vgSdkSync([&] { current = sessionID_; });
    QStringList candidates;
    for (const QString &id : sessionIDsWithOldSavedSessionInformation()) {
        if (id == current)
            continue;
        if (carriesSentMark(sessionFilePathForFileName(id, QLatin1String(kEndRecordExtension))))
            deleteSavedEndSessionInformationForSessionID(id); // the crash upload sent it
        else
            candidates.append(id);
    }
    QStringList oldLogs = VGLogManager::sharedManager().sessionIDsWithOldLogs();
    if (candidates.size() > kOldSessionsPerLaunch) {
        // The rest wait for later launches; their logs must stay for them.
        candidates = candidates.mid(0, kOldSessionsPerLaunch);
        oldLogs.clear();
    }
    vgSdkSync([this, candidates] {
        const bool sendLogs = shouldSendLogs();
        const bool tokenValid = permissions_.applicationTokenValid;
        for (const QString &id : candidates) {
            VGValue event = VGValue::map(
                {{VGValue("type"), VGValue("session_end")}, {VGValue("session_id"), VGValue(id)}});
            if (const std::optional<VGValue> saved = savedEndSessionInformationForSessionID(id)) {
                for (size_t i = 0; i + 1 < saved->items().size(); i += 2)
                    event.insert(saved->items()[i], saved->items()[i + 1]);
                event.insert(VGValue("sesinfo source"), VGValue("disk"));
            } else {
                event.insert(VGValue("timestamp"), VGValue::float64(unixTime()));
                event.insert(VGValue("duration"), VGValue::int32(0));
                event.insert(VGValue("sesinfo source"), VGValue("none"));
            }
            event.insert(VGValue("type"), VGValue("session_end"));
            const std::optional<VGValue> sequence =
                VGFileCaps::readSmallRecord(sequenceNumberPathForSessionID(id));
            const std::optional<VGValue> number =
                sequence ? VGMessagePack::unpack(sequence->bytes()) : std::nullopt;
            event.insert(
                VGValue("sequence_number"),
                VGValue::int32(number && number->isNumber() ? int32_t(number->toInt64()) : -1));
            VGValue withoutLog = event;
            withoutLog.insert(VGValue("log"), VGValue::array());
            bool queued = false;
            if (sendLogs && tokenValid)
                queued = eventManager_->enqueueDictionary(event, VGValue("log"), [id](int fd) {
                    qint64 written = 0;
                    return VGLogManager::sharedManager().writeLogFor(id, fd, false, &written);
                });
            if (!queued && tokenValid)
                eventManager_->enqueueObject(withoutLog);
            VGLogManager::sharedManager().deleteLogFor(id);
            deleteSavedEndSessionInformationForSessionID(id);
        }
    });
    for (const QString &id : oldLogs)
        VGLogManager::sharedManager().deleteLogFor(id);
}

void VGSessionManager::checkpointHit(const QString &name, const VGValue &parameters)
{
    if (!permissions_.sendsCheckpoints) {
        vg_log(QStringLiteral("Vigil: checkpoint permission denied"));
        return;
    }
    if (name.isNull()) {
        vg_log(QStringLiteral("Vigil: checkpoint is nil unable to send to Vigil"));
        return;
    }
    if (name.isEmpty()) {
        vg_log(QStringLiteral("Vigil: checkpoint is empty unable to send to Vigil"));
        return;
    }
    VGValue pairs = VGValue::map({{VGValue("checkpoint_id"), VGValue(name)}});
    if (!parameters.isNull())
        pairs.insert(VGValue("parameters"), parameters);
    recordEvent(QStringLiteral("checkpoint"), pairs);
}

void VGSessionManager::respondToFeedbackCustom(const QString &text)
{
    recordEvent(QStringLiteral("feedback_custom"),
                VGValue::map({{VGValue("feedback_text"), VGValue(text)}}));
}

void VGSessionManager::doApiHandshake()
{
    if (url_.isEmpty() || appToken_.isEmpty())
        return;
    VGURLRequest request;
    request.url = VGServiceAddress::tokensUrl(appToken_);
    request.method = "POST";
    request.body = VGMessagePack::pack(VGValue::map({
        {VGValue("device_info"), VGDeviceInfo::deviceInformation()},
        {VGValue("bundle_info"), VGApplicationInformation::bundleInformation()},
        {VGValue("application_token"), VGValue(appToken_)},
    }));
    request.headers.append({"Content-Length", QByteArray::number(request.body.size())});
    auto operation = VGURLConnectionOperation::initWithRequest(
        request, [this](VGURLConnectionOperation &, const QByteArray &data, const VGURLResponse &,
                        const std::optional<VGURLError> &error) {
            if (!error)
                finishedHandshakeWithData(data);
        });
    if (!operation)
        return;
    operation->setQueuePriority(VGURLConnectionOperation::VeryHigh);
    VGNetworkManager::sharedManager().addNetworkOperation(operation);
}

void VGSessionManager::finishedHandshakeWithData(const QByteArray &data)
{
    if (data.isEmpty()) {
        vg_log(QStringLiteral("Vigil: Communication error has occurred"));
        return;
    }
    const std::optional<VGValue> reply = VGMessagePack::unpack(data);
    if (!reply || !reply->isMap()) {
        vg_log(QStringLiteral("Vigil: Bad data received from Handshake: %1")
                   .arg(reply ? reply->toJson() : QStringLiteral("(nothing)")));
        return;
    }
    if (numberIsTrue(*reply, "valid")) {
        vg_log(QStringLiteral("Vigil: App Token is recognized"));
        permissions_.applicationTokenValid = true;
        permissions_.sendsLogs = numberIsTrue(*reply, "send_logs");
        permissions_.sendsCrashes = numberIsTrue(*reply, "send_crashes");
        permissions_.sendsCheckpoints = numberIsTrue(*reply, "send_checkpoints");
        const VGValue *keepAlive = reply->find(VGValue("session_keep_alive_timeout"));
        if (keepAlive && keepAlive->isNumber())
            vgSessionKeepAliveTimeout_ = keepAlive->toDouble();
    } else {
        vg_log(QStringLiteral("Vigil: App Token Error - Your App Token is not recognized by %1. "
                              "Check the token you passed to activate:.")
                   .arg(url_.toString()));
        permissions_ = VGServerPermissions{false, false, false, false};
    }
    savePermissions();
    VGAppUpdater::promptIfUpdateExists(*reply);
}

void VGSessionManager::sendOldCrashReport(const QString &path)
{
    // Measured and decoded first: a report that is too long or damaged is set aside, not posted.
    if (!VGFileCaps::checkUpload(path))
        return;
    const QUrl url = VGServiceAddress::sessionsUrl(appToken_);
    if (crashReportSender_)
        crashReportSender_(path, url);
    else
        VGNetworkManager::sharedManager().sendClaimedFile(path, url,
                                                          VGURLConnectionOperation::Normal);
}

void VGSessionManager::setClockForTesting(Clock clock)
{
    clock_ = std::move(clock);
}

void VGSessionManager::setCrashReportSenderForTesting(CrashReportSender sender)
{
    crashReportSender_ = std::move(sender);
}

void VGSessionManager::resetForTesting()
{
    persistSessionTimer_.reset();
    eventsRecordedOutOfSession_.clear();
    sessionID_.clear();
    startTime_ = fragmentStartTime_ = lastSessionEndTime_ = 0;
    nextSeqNumber_ = 0;
    inSession_ = false;
    sessionKeepAliveTimeout_ = -1;
    vgSessionKeepAliveTimeout_ = 30;
    sendLogOnlyOnCrash_ = false;
    loadPermissions();
}

} // namespace murmelo
