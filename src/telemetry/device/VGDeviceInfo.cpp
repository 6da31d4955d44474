#include "telemetry/device/VGDeviceInfo.h"

#include "platform/Defaults.h"
#include "telemetry/device/VGApplicationInformation.h"
#include "telemetry/device/VGCrypto.h"
#include "telemetry/device/VGInformationChanged.h"
#include "telemetry/device/VGSharedUDID.h"
#include "telemetry/network/VGReachability.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTimeZone>
#include <QUuid>
#include <QVersionNumber>
#include <mutex>
#include <sys/utsname.h>
#include <unistd.h>

namespace murmelo {

namespace {

struct State {
    std::mutex mutex;
    std::optional<VGValue> info;
    VGValue custom = VGValue::map();
    QString deviceIdentifier;
};

State &state()
{
    static State s;
    return s;
}

QString firstLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine(512)).trimmed();
}

// A value from /etc/os-release (quotes removed).
QString osRelease(const QString &key)
{
    QFile file(QStringLiteral("/etc/os-release"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(1024)).trimmed();
        if (!line.startsWith(key + QLatin1Char('=')))
            continue;
        QString value = line.mid(key.size() + 1);
        if (value.size() >= 2 &&
            (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''))))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(1024));
        if (line.startsWith(QLatin1String("model name")))
            return line.section(QLatin1Char(':'), 1).trimmed();
    }
    return {};
}

// An identifier for this application and this user that stays the same across launches: a
// digest of a random value kept in the user's own defaults, salted with the application, shaped
// as a UUID. It names the profile, not the machine: another user (or profile) on the same
// machine has another, and resetting the identifiers gives a new one.
QString vendorIdentifier()
{
    Defaults defaults(Defaults::standard().path());
    const QString key = QLatin1String(VGDeviceInfo::kVendorSecretKey);
    QByteArray secret = defaults.stringForKey(key).toLatin1();
    if (secret.size() < 32) {
        QByteArray random(32, Qt::Uninitialized);
        QRandomGenerator::system()->generate(random.begin(), random.end());
        secret = random.toHex();
        defaults.setString(key, QString::fromLatin1(secret));
        defaults.synchronize();
    }
    const QString identifier =
        VGApplicationInformation::bundleInformation().value("bundle_identifier").toQString();
    const QByteArray digest =
        VGCrypto::saltedDigest(secret, "murmelo vendor id " + identifier.toUtf8());
    return QUuid::fromRfc4122(digest.left(16)).toString(QUuid::WithoutBraces).toUpper();
}

// Paths that a tampered system tends to have: a preload list that injects code into every
// process, and an instrumentation server. Put together at run time.
bool modifiedSystem()
{
    const QString etc = QStringLiteral("/e") + QStringLiteral("tc/");
    const QString server = QStringLiteral("fri") + QStringLiteral("da-server");
    const QString paths[] = {etc + QStringLiteral("ld.so.") + QStringLiteral("preload"),
                             QStringLiteral("/usr/sbin/") + server,
                             QStringLiteral("/usr/local/bin/") + server};
    for (const QString &path : paths) {
        if (QFileInfo::exists(path))
            return true;
    }
    return false;
}

VGValue build()
{
    utsname names{};
    uname(&names);
    QString systemName = osRelease(QStringLiteral("NAME"));
    if (systemName.isEmpty())
        systemName = QSysInfo::kernelType();
    QString version = osRelease(QStringLiteral("VERSION_ID"));
    if (version.isEmpty())
        version = QSysInfo::productVersion();
    const QLocale locale = QLocale::system();
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime now = QDateTime::currentDateTime();

    VGValue info = VGValue::map();
    const QString vendor = vendorIdentifier();
    if (!vendor.isEmpty())
        info.insert("vendor_id", vendor);
    info.insert("system_name", systemName);
    info.insert("os_version", version);
    info.insert("carrier", VGValue());
    info.insert("device_model", VGDeviceInfo::machine());
    info.insert("device_architecture", VGDeviceInfo::architecture());
    info.insert("firmware", "");
    info.insert("locale", locale.name());
    const QStringList languages = locale.uiLanguages();
    info.insert("language", languages.isEmpty() ? locale.name() : languages.first());
    info.insert("connection_state", VGDeviceInfo::connectivityState());
    info.insert("time_zone",
                zone.displayName(QTimeZone::StandardTime, QTimeZone::ShortName, locale));
    info.insert("time_zone_offset", VGValue::int32(zone.offsetFromUtc(now)));
    info.insert("shared_udid", VG_SharedUDID::value());
    info.insert("jail_broken", VGValue::map({{"cydia", VGValue::boolean(modifiedSystem())}}));
    // What a desktop adds: the kernel, the processor and the memory.
    info.insert("kernel_version", QString::fromUtf8(names.release));
    info.insert("cpu_model", cpuModel());
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0)
        info.insert("memory_size", VGValue::uint64(uint64_t(pages) * uint64_t(pageSize)));
    return info;
}

void applyChanges(VGValue &info, const State &s)
{
    if (!s.deviceIdentifier.isEmpty())
        info.insert("udid", s.deviceIdentifier);
    if (s.custom.count() > 0)
        info.insert("custom_environment", s.custom);
}

} // namespace

VGValue VGDeviceInfo::deviceInformation()
{
    {
        State &s = state();
        std::lock_guard lock(s.mutex);
        if (s.info)
            return *s.info;
    }
    VGValue info = build();
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (!s.info) {
        applyChanges(info, s);
        s.info = std::move(info);
    }
    return *s.info;
}

void VGDeviceInfo::addCustomEnvironmentInformation(const QString &value, const QString &key)
{
    bool built = false;
    {
        State &s = state();
        std::lock_guard lock(s.mutex);
        s.custom.insert(key, value);
        if (s.info) {
            built = true;
            applyChanges(*s.info, s);
        }
    }
    if (built)
        vgInformationChanged();
}

void VGDeviceInfo::setDeviceIdentifier(const QString &identifier)
{
    if (!VGApplicationInformation::allowDeviceIdentifier())
        return;
    bool built = false;
    {
        State &s = state();
        std::lock_guard lock(s.mutex);
        s.deviceIdentifier = identifier;
        if (s.info) {
            built = true;
            applyChanges(*s.info, s);
        }
    }
    if (built)
        vgInformationChanged();
}

QString VGDeviceInfo::machine()
{
    const QString vendor = firstLine(QStringLiteral("/sys/class/dmi/id/sys_vendor"));
    const QString product = firstLine(QStringLiteral("/sys/class/dmi/id/product_name"));
    const QString model = (vendor + QLatin1Char(' ') + product).trimmed();
    if (!model.isEmpty())
        return model;
    utsname names{};
    uname(&names);
    return QString::fromUtf8(names.machine);
}

QString VGDeviceInfo::architecture()
{
    return QSysInfo::buildCpuArchitecture();
}

std::optional<QString> VGDeviceInfo::carrier()
{
    return std::nullopt;
}

QString VGDeviceInfo::orientation(int platformOrientation)
{
    switch (platformOrientation) {
    case 1:
        return QStringLiteral("Portriat");
    case 2:
        return QStringLiteral("PortraitUpsideDown");
    case 3:
        return QStringLiteral("LandscapeLeft");
    case 4:
        return QStringLiteral("LandscapeRight");
    case 5:
        return QStringLiteral("FaceUp");
    case 6:
        return QStringLiteral("FaceDown");
    default:
        return QStringLiteral("Unknown");
    }
}

QString VGDeviceInfo::batteryState(int platformState)
{
    switch (platformState) {
    case 1:
        return QStringLiteral("Unplugged");
    case 2:
        return QStringLiteral("Charging");
    case 3:
        return QStringLiteral("Full");
    default:
        return QStringLiteral("Unknown");
    }
}

int VGDeviceInfo::currentBatteryState()
{
    const QDir supplies(QStringLiteral("/sys/class/power_supply"));
    for (const QString &name : supplies.entryList({QStringLiteral("BAT*")}, QDir::AllEntries)) {
        const QString status = firstLine(supplies.filePath(name) + QStringLiteral("/status"));
        if (status == QLatin1String("Discharging") || status == QLatin1String("Not charging"))
            return 1;
        if (status == QLatin1String("Charging"))
            return 2;
        if (status == QLatin1String("Full"))
            return 3;
        return 0;
    }
    return 0;
}

QString VGDeviceInfo::connectivityState()
{
    const auto internet = VGReachability::reachabilityForInternetConnection();
    switch (internet ? internet->status() : 0) {
    case VGReachability::ReachableViaWWAN:
        return QStringLiteral("Cellular Active");
    case VGReachability::ReachableViaWiFi:
        return QStringLiteral("Wifi Active");
    default:
        return QStringLiteral("No Connection");
    }
}

void VGDeviceInfo::forgetIdentifiers()
{
    {
        Defaults defaults(Defaults::standard().path());
        defaults.remove(QLatin1String(kVendorSecretKey));
        defaults.synchronize();
        VG_SharedUDID::forget(defaults);
    }
    {
        State &s = state();
        std::lock_guard lock(s.mutex);
        s.info.reset();
    }
    vgInformationChanged();
}

void VGDeviceInfo::resetForTesting()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.info.reset();
    s.custom = VGValue::map();
    s.deviceIdentifier.clear();
}

bool VGCompatibility::versionAtLeast(const QString &version, const QString &minimum)
{
    return QVersionNumber::fromString(version) >= QVersionNumber::fromString(minimum);
}

bool VGCompatibility::allowedToRun_5_0()
{
    static const bool allowed = versionAtLeast(QSysInfo::productVersion(), QStringLiteral("5.0"));
    return allowed;
}

bool VGCompatibility::allowedToRun_6_0()
{
    static const bool allowed = versionAtLeast(QSysInfo::productVersion(), QStringLiteral("6.0"));
    return allowed;
}

} // namespace murmelo
