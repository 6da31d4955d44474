#pragma once

#include "telemetry/codec/VGValue.h"

#include <QString>

namespace murmelo {

// The "device_info" map of every upload: the system, the hardware, locale and time zone, the
// connection, and the shared device identifier. Built once and cached; the application's device
// identifier and custom environment replace their entries when they change. Thread-safe.
// Nothing in it names the machine: the vendor identifier is a salted digest of a random value of
// the user's, and the shared identifier is random too.
class VGDeviceInfo {
public:
    // The user defaults key of the vendor identifier's random value.
    static constexpr char kVendorSecretKey[] = "VGVendorSecret";

    static VGValue deviceInformation();
    // Forgets the vendor identifier's value and the shared identifier of this application: the
    // next map (and every upload header after it) carries new ones.
    static void forgetIdentifiers();
    static void addCustomEnvironmentInformation(const QString &value, const QString &key);
    // Ignored unless the distribution allows a device identifier.
    static void setDeviceIdentifier(const QString &identifier);

    // Hardware model, e.g. "LENOVO 20XW" from the firmware tables, else the machine type.
    static QString machine();
    // The executable's processor architecture ("x86_64", "arm64", ...).
    static QString architecture();
    // Mobile carrier name; desktops have none.
    static std::optional<QString> carrier();
    static QString orientation(int platformOrientation);
    static QString batteryState(int platformState);
    // The first battery's state in the platform's numbering: 1 unplugged, 2 charging, 3 full,
    // 0 unknown or no battery.
    static int currentBatteryState();
    static QString connectivityState();

    // Forgets the cached map, identifier and environment. For tests.
    static void resetForTesting();
};

// Answers about the system version and the device family.
class VGCompatibility {
public:
    static bool allowedToRun_5_0();
    static bool allowedToRun_6_0();
    static bool isIdiomIPhone() { return false; }
    static bool isIdiomIPad() { return false; }
    // Numeric comparison of dotted versions ("10.2" is later than "9.11").
    static bool versionAtLeast(const QString &version, const QString &minimum);
};

} // namespace murmelo
