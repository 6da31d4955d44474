#include "telemetry/device/VGSharedUDID.h"

#include "platform/Defaults.h"
#include "telemetry/VGFileWrites.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/device/VGCrypto.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimeZone>
#include <QUuid>
#include <map>
#include <mutex>

namespace murmelo {

namespace {

constexpr char kLocalKey[] = "SharedUDID";
constexpr char kAppUIDKey[] = "SharedUDID_appUID";
constexpr char kSlotKey[] = "SharedUDID_slot";
constexpr char kCreatedKey[] = "SharedUDID_createdTS";
constexpr char kOptOutKey[] = "SharedUDID_optOutTS";
constexpr char kSlotPrefix[] = "org.SharedUDID.slot.";

std::mutex g_cacheMutex;
std::optional<VG_SharedUDID::Result> g_cache;

double now()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QString upperUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString dateText(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000), Qt::UTC).toString(Qt::ISODate);
}

} // namespace

VG_SharedUDID::VG_SharedUDID(Defaults &defaults, QString sharedFolder)
    : defaults_(defaults), folder_(std::move(sharedFolder))
{
}

QString VG_SharedUDID::defaultSharedFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/SharedUDID");
}

QString VG_SharedUDID::_generateFreshSharedUDID()
{
    const QString digest = VGCrypto::md5(QUuid::createUuid().toString(QUuid::WithoutBraces));
    return digest + QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16,
                                             QLatin1Char('0'));
}

std::optional<VGValue> VG_SharedUDID::_getDictFromPasteboard(const QString &name) const
{
    QFile file(folder_ + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt; // no such pasteboard
    // A slot holds a small map; anything that does not read as one counts as an empty map.
    auto dict = VGMessagePack::unpackDictionary(file.read(64 * 1024));
    return dict ? *dict : VGValue::map();
}

bool VG_SharedUDID::_setDictForPasteboard(const VGValue &dict, const QString &name) const
{
    if (!vgMakePrivateFolder(folder_))
        return false;
    return vgWriteFileAtomically(folder_ + QLatin1Char('/') + name, VGMessagePack::pack(dict));
}

VG_SharedUDID::Result VG_SharedUDID::valueWithError(bool useCache)
{
    if (useCache) {
        std::lock_guard lock(g_cacheMutex);
        if (g_cache)
            return {g_cache->value, 0, QStringLiteral("SharedUDID in cache from first call")};
    }

    QVariantMap local = defaults_.valueForKey(QLatin1String(kLocalKey)).toMap();
    const bool hadLocal = !local.isEmpty();
    QString appUID = defaults_.stringForKey(QLatin1String(kAppUIDKey));
    if (appUID.isEmpty())
        appUID = local.value(QLatin1String(kAppUIDKey)).toString();
    if (appUID.isEmpty()) {
        appUID = upperUuid();
        defaults_.setString(QLatin1String(kAppUIDKey), appUID);
    }
    const QString storedValue = local.value(QLatin1String(kLocalKey)).toString();
    QVariant optOut = local.value(QLatin1String(kOptOutKey));

    std::map<QString, int> counts;
    QString appSlot;
    QString freeSlot;
    for (int i = 0; i < kSlotCount; ++i) {
        const QString name = QLatin1String(kSlotPrefix) + QString::number(i);
        const std::optional<VGValue> dict = _getDictFromPasteboard(name);
        const QString id = dict ? dict->value(kLocalKey).toQString() : QString();
        if (!id.isEmpty())
            ++counts[id];
        if (dict && dict->value(kAppUIDKey).toQString() == appUID) {
            appSlot = name;
            if (optOut.isValid()) {
                const VGValue &there = dict->value(kOptOutKey);
                optOut = there.isNumber() ? QVariant(there.toDouble()) : QVariant();
            }
        }
        if (freeSlot.isEmpty() && id.isEmpty())
            freeSlot = name;
    }
    QString mostFrequent;
    int best = 0;
    for (const auto &[id, count] : counts) {
        if (count > best) {
            best = count;
            mostFrequent = id;
        }
    }

    QString value;
    bool discrepancy = false;
    if (!storedValue.isEmpty()) {
        value = storedValue;
        discrepancy = !mostFrequent.isEmpty() && mostFrequent != storedValue;
    } else {
        value = mostFrequent.isEmpty() ? _generateFreshSharedUDID() : mostFrequent;
        if (!hadLocal) {
            local.insert(QLatin1String(kCreatedKey), now());
            local.insert(QLatin1String(kAppUIDKey), appUID);
        }
        local.insert(QLatin1String(kLocalKey), value);
    }
    if (optOut.isValid())
        local.insert(QLatin1String(kOptOutKey), optOut);
    else
        local.remove(QLatin1String(kOptOutKey));

    if (!freeSlot.isEmpty() && (appSlot.isEmpty() || appSlot == freeSlot)) {
        local.insert(QLatin1String(kSlotKey), freeSlot);
        VGValue dict = VGValue::map();
        for (auto it = local.cbegin(); it != local.cend(); ++it) {
            if (it.value().typeId() == QMetaType::Double)
                dict.insert(it.key(), VGValue::float64(it.value().toDouble()));
            else
                dict.insert(it.key(), it.value().toString());
        }
        _setDictForPasteboard(dict, freeSlot);
    }
    defaults_.setValue(QLatin1String(kLocalKey), local);
    defaults_.synchronize();

    Result result;
    if (optOut.isValid()) {
        result = {QString(40, QLatin1Char('0')), 1,
                  QStringLiteral("Application with unique id %1 is opted-out from SharedUDID as "
                                 "of %2")
                      .arg(appUID, dateText(optOut.toDouble()))};
    } else if (discrepancy) {
        result = {value, 2,
                  QStringLiteral("Found a discrepancy between stored SharedUDID (reliable) and "
                                 "redundant copies; one of the apps on the device is most likely "
                                 "corrupting the SharedUDID protocol")};
    } else {
        result = {value, 0, QStringLiteral("SharedUDID succesfully retrieved")};
    }
    if (useCache) {
        std::lock_guard lock(g_cacheMutex);
        g_cache = result;
    }
    return result;
}

void VG_SharedUDID::setOptOut(bool optOut, bool useCache)
{
    valueWithError(useCache);
    QVariantMap local = defaults_.valueForKey(QLatin1String(kLocalKey)).toMap();
    if (optOut)
        local.insert(QLatin1String(kOptOutKey), now());
    else
        local.remove(QLatin1String(kOptOutKey));
    defaults_.setValue(QLatin1String(kLocalKey), local);
    defaults_.synchronize();
    // The application's slot carries the same opt-out, so that the next look agrees.
    const QString slot = local.value(QLatin1String(kSlotKey)).toString();
    if (!slot.isEmpty()) {
        if (std::optional<VGValue> dict = _getDictFromPasteboard(slot)) {
            if (optOut)
                dict->insert(kOptOutKey, VGValue::float64(local.value(kOptOutKey).toDouble()));
            else
                dict->remove(kOptOutKey);
            _setDictForPasteboard(*dict, slot);
        }
    }
    std::lock_guard lock(g_cacheMutex);
    g_cache.reset();
}

QString VG_SharedUDID::value()
{
    return valueWithError().value;
}

// The telemetry runs on its own threads: it reads and writes the user defaults through its own
// settings object on the same file, never through the main thread's.
VG_SharedUDID::Result VG_SharedUDID::valueWithError()
{
    Defaults defaults(Defaults::standard().path());
    VG_SharedUDID shared(defaults, defaultSharedFolder());
    return shared.valueWithError(true);
}

void VG_SharedUDID::setOptOut(bool optOut)
{
    Defaults defaults(Defaults::standard().path());
    VG_SharedUDID shared(defaults, defaultSharedFolder());
    shared.setOptOut(optOut, true);
}

void VG_SharedUDID::forget(Defaults &defaults, const QString &sharedFolder)
{
    const QVariantMap local = defaults.valueForKey(QLatin1String(kLocalKey)).toMap();
    QString appUID = defaults.stringForKey(QLatin1String(kAppUIDKey));
    if (appUID.isEmpty())
        appUID = local.value(QLatin1String(kAppUIDKey)).toString();
    if (local.isEmpty() && appUID.isEmpty())
        return; // none was ever made: none is made now
    // The application's own slots go; other applications' stay theirs.
    VG_SharedUDID shared(defaults, sharedFolder);
    for (int i = 0; i < kSlotCount && !appUID.isEmpty(); ++i) {
        const QString name = QLatin1String(kSlotPrefix) + QString::number(i);
        const std::optional<VGValue> dict = shared._getDictFromPasteboard(name);
        if (dict && dict->value(kAppUIDKey).toQString() == appUID)
            QFile::remove(sharedFolder + QLatin1Char('/') + name);
    }
    // A fresh identifier of its own, which the next look keeps over any copy still shared.
    const QString fresh = upperUuid();
    defaults.setString(QLatin1String(kAppUIDKey), fresh);
    defaults.setValue(QLatin1String(kLocalKey),
                      QVariantMap{{QLatin1String(kLocalKey), _generateFreshSharedUDID()},
                                  {QLatin1String(kAppUIDKey), fresh},
                                  {QLatin1String(kCreatedKey), now()}});
    defaults.synchronize();
    std::lock_guard lock(g_cacheMutex);
    g_cache.reset();
}

void VG_SharedUDID::forget(Defaults &defaults)
{
    forget(defaults, defaultSharedFolder());
}

void VG_SharedUDID::resetCacheForTesting()
{
    std::lock_guard lock(g_cacheMutex);
    g_cache.reset();
}

} // namespace murmelo
