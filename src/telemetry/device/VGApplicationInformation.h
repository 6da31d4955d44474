#pragma once

#include "telemetry/codec/VGValue.h"

#include <QString>
#include <optional>

namespace murmelo {

// What the build says about the application, in the terms of an application bundle's
// information properties. Empty texts are missing properties.
struct VGBundleProperties {
    QString identifier;   // "CFBundleIdentifier"
    QString displayName;  // "CFBundleDisplayName"
    QString name;         // "CFBundleName"
    QString executable;   // "CFBundleExecutable"
    QString shortVersion; // "CFBundleShortVersionString"
    QString version;      // "CFBundleVersion", the build number
    QString bundlePath;   // folder that may hold the beta provisioning file

    // The running build's properties (set by CMake; the bundle is the executable's folder).
    static VGBundleProperties fromBuild();
};

// The "bundle_info" map of every upload and the answers derived from how the build was
// distributed. Values are computed once per process and cached; every operation is thread-safe.
class VGApplicationInformation {
public:
    static VGValue bundleInformation();
    // Copies the token into the bundle information; when that was built already, its header
    // copies in the event queues are rebuilt.
    static void setApplicationToken(const QString &token);
    // The main executable's GNU build id as an upper-case UUID text; empty without one.
    static QString bundleUUID();
    static QString getApplicationVersion();
    // "ad_hoc", "enterprise" or "unknown" with a provisioning file; "encrypted" or
    // "not_encrypted" without one.
    static QString getDistributionMethod();
    static bool allowInAppUpdate();
    static bool allowDeviceIdentifier();

    // The application's name, with the fallbacks; logs when none is found.
    static QString applicationName();

    // Replaces the build's properties and forgets every cached answer. For tests.
    static void setPropertiesForTesting(std::optional<VGBundleProperties> properties);

    // The method a provisioning file's bytes declare, or "unknown" when they declare none.
    static QString distributionMethodForProfile(const QByteArray &profile);
    // The version text from the two version properties.
    static QString versionText(const QString &shortVersion, const QString &build);
};

} // namespace murmelo
