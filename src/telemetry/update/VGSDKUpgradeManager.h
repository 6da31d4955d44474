#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace murmelo {

// One-time migrations of the telemetry's own storage, run when a newer version of the component
// first starts: every step newer than the version stored in "latest_upgrade_version.msgpack"
// (a map {"version": int 32}; missing or unreadable counts as 0) runs once, in order.
class VGSDKUpgradeManager {
public:
    struct Step {
        int version;
        std::function<void(const QString &sdkFolder)> action;
    };

    static VGSDKUpgradeManager &sharedSDKUpgradeManager();

    // Runs the steps the SDK folder has not seen yet and records the newest version. True when
    // a step ran.
    bool upgradeSDKIfNecessary(const QString &sdkFolder);
    // The component's first use in this process: the SDK folder's migration, once, before any
    // of its files are opened.
    static void upgradeOnce();

    // This build's steps: 13 empties the whole SDK folder (the storage layout changed).
    std::vector<Step> _upgradePaths() const;
    int _getCurrentSDKUpgradeVersion(const QString &sdkFolder) const;
    bool _setCurrentSDKUpgradeVersion(const QString &sdkFolder, int version) const;

    static constexpr char kVersionFileName[] = "latest_upgrade_version.msgpack";
};

} // namespace murmelo
