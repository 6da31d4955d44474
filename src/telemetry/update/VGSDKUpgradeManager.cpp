#include "telemetry/update/VGSDKUpgradeManager.h"

#include "telemetry/VGFileCaps.h"
#include "telemetry/VGFileWrites.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/events/VGEventManager.h"
#include "telemetry/session/VGProfileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <mutex>

namespace murmelo {

namespace {
QString versionFile(const QString &sdkFolder)
{
    return sdkFolder + QLatin1Char('/') + QLatin1String(VGSDKUpgradeManager::kVersionFileName);
}

// Empties the folder and makes it again. Refuses a path that cannot be the SDK folder (empty,
// the root, the home folder), so that a misconfiguration never wipes a user's files.
void emptySdkFolder(const QString &sdkFolder)
{
    const QString clean = QDir::cleanPath(sdkFolder);
    if (clean.isEmpty() || clean == QLatin1String("/") || clean == QDir::homePath() ||
        QFileInfo(clean).isRoot())
        return;
    // The profile's lock stays: it is held by this very process.
    QDir folder(clean);
    for (const QFileInfo &entry : folder.entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.fileName() == QLatin1String(VGProfileLock::kFileName))
            continue;
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
    vgMakePrivateFolder(clean);
}
} // namespace

VGSDKUpgradeManager &VGSDKUpgradeManager::sharedSDKUpgradeManager()
{
    static VGSDKUpgradeManager manager;
    return manager;
}

std::vector<VGSDKUpgradeManager::Step> VGSDKUpgradeManager::_upgradePaths() const
{
    return {{13, emptySdkFolder}};
}

int VGSDKUpgradeManager::_getCurrentSDKUpgradeVersion(const QString &sdkFolder) const
{
    const std::optional<VGValue> stored = VGFileCaps::readSmallRecord(versionFile(sdkFolder));
    if (!stored)
        return 0;
    const std::optional<VGValue> map = VGMessagePack::unpackDictionary(stored->bytes());
    if (!map)
        return 0;
    const VGValue *version = map->find(VGValue("version"));
    return version && version->isNumber() ? int(version->toInt64()) : 0;
}

bool VGSDKUpgradeManager::_setCurrentSDKUpgradeVersion(const QString &sdkFolder, int version) const
{
    vgMakePrivateFolder(sdkFolder);
    return vgWriteFileAtomically(
        versionFile(sdkFolder),
        VGMessagePack::pack(VGValue::map({{VGValue("version"), VGValue::int32(version)}})));
}

bool VGSDKUpgradeManager::upgradeSDKIfNecessary(const QString &sdkFolder)
{
    const int stored = _getCurrentSDKUpgradeVersion(sdkFolder);
    const std::vector<Step> steps = _upgradePaths();
    int newest = stored;
    for (const Step &step : steps) {
        if (step.version > stored) {
            step.action(sdkFolder);
            newest = std::max(newest, step.version);
        }
    }
    // The newest step run is recorded, so that no step ever runs twice.
    if (newest == stored)
        return false;
    _setCurrentSDKUpgradeVersion(sdkFolder, newest);
    return true;
}

void VGSDKUpgradeManager::upgradeOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // An event queue that wrote its body header before the folder was emptied writes it
        // again.
        if (sharedSDKUpgradeManager().upgradeSDKIfNecessary(VGSdkFolder::path()))
            VGEventManager::bustCachedNetworkStartData();
    });
}

} // namespace murmelo
