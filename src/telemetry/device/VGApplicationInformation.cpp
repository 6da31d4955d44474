#include "telemetry/device/VGApplicationInformation.h"

#include "telemetry/device/VGInformationChanged.h"
#include "telemetry/log/VGLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QtEndian>
#include <cstring>
#include <elf.h>
#include <link.h>
#include <mutex>

#ifndef MURMELO_BUNDLE_IDENTIFIER
#define MURMELO_BUNDLE_IDENTIFIER "org.murmelo.Murmelo"
#endif
#ifndef MURMELO_BUNDLE_NAME
#define MURMELO_BUNDLE_NAME "Murmelo"
#endif
#ifndef MURMELO_BUILD_NUMBER
#define MURMELO_BUILD_NUMBER ""
#endif

namespace murmelo {

namespace {

struct State {
    std::mutex mutex;
    std::optional<VGBundleProperties> properties;
    std::optional<VGValue> bundleInformation;
    std::optional<QString> distributionMethod;
    std::optional<QString> bundleUUID;
    QString token;
};

State &state()
{
    static State s;
    return s;
}

VGBundleProperties properties(State &s)
{
    if (!s.properties)
        s.properties = VGBundleProperties::fromBuild();
    return *s.properties;
}

// The build id note of the main program, read from its loaded program headers.
int findBuildId(dl_phdr_info *info, size_t, void *out)
{
    auto *id = static_cast<QByteArray *>(out);
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &header = info->dlpi_phdr[i];
        if (header.p_type != PT_NOTE)
            continue;
        const char *p = reinterpret_cast<const char *>(info->dlpi_addr + header.p_vaddr);
        const char *end = p + header.p_memsz;
        while (p + sizeof(ElfW(Nhdr)) <= end) {
            ElfW(Nhdr) note;
            std::memcpy(&note, p, sizeof note);
            const char *name = p + sizeof note;
            const char *desc = name + ((note.n_namesz + 3) & ~3u);
            const char *next = desc + ((note.n_descsz + 3) & ~3u);
            if (next > end)
                break;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                std::memcmp(name, "GNU", 4) == 0) {
                *id = QByteArray(desc, int(note.n_descsz));
                return 1;
            }
            p = next;
        }
    }
    return 1; // only the first entry, the main program, is looked at
}

QString uuidText(const QByteArray &id)
{
    if (id.isEmpty())
        return {};
    // A build id is usually 20 bytes (SHA-1); its first 16 make the UUID, shorter ones are
    // padded with zeros.
    QByteArray bytes = id.left(16);
    bytes.append(QByteArray(16 - bytes.size(), '\0'));
    const QByteArray h = bytes.toHex().toUpper();
    return QString::fromLatin1(h.mid(0, 8) + '-' + h.mid(8, 4) + '-' + h.mid(12, 4) + '-' +
                               h.mid(16, 4) + '-' + h.mid(20, 12));
}

// The top-level map of a property list: does its "ProvisionedDevices" array hold anything?
// Returns nothing when the text holds no map.
std::optional<bool> provisionedDevicesIn(const QByteArray &plist)
{
    QXmlStreamReader xml(plist);
    int depth = 0;
    bool sawMap = false;
    bool nextIsDevices = false;
    bool inDevices = false;
    int devicesDepth = 0;
    bool hasDevices = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            ++depth;
            const auto name = xml.name();
            if (depth == 2 && name == QLatin1String("dict"))
                sawMap = true;
            if (!sawMap)
                break;
            if (inDevices && depth == devicesDepth + 1) {
                hasDevices = true;
            } else if (depth == 3 && name == QLatin1String("key")) {
                nextIsDevices = xml.readElementText() == QLatin1String("ProvisionedDevices");
                --depth; // readElementText consumed the end element
            } else if (depth == 3) {
                if (nextIsDevices && name == QLatin1String("array")) {
                    inDevices = true;
                    devicesDepth = depth;
                }
                nextIsDevices = false;
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (inDevices && depth == devicesDepth)
                inDevices = false;
            --depth;
            break;
        default:
            break;
        }
    }
    if (xml.hasError() && !sawMap)
        return std::nullopt;
    if (!sawMap)
        return std::nullopt;
    return hasDevices;
}

} // namespace

VGBundleProperties VGBundleProperties::fromBuild()
{
    VGBundleProperties p;
    p.identifier = QStringLiteral(MURMELO_BUNDLE_IDENTIFIER);
    p.name = QStringLiteral(MURMELO_BUNDLE_NAME);
    p.displayName = p.name;
    p.shortVersion = QStringLiteral(MURMELO_VERSION);
    p.version = QStringLiteral(MURMELO_BUILD_NUMBER);
    const QString program = QCoreApplication::instance()
                                ? QCoreApplication::applicationFilePath()
                                : QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    p.executable = QFileInfo(program).fileName();
    p.bundlePath = QFileInfo(program).absolutePath();
    return p;
}

QString VGApplicationInformation::versionText(const QString &shortVersion, const QString &build)
{
    if (!shortVersion.isEmpty() && !build.isEmpty())
        return QStringLiteral("%1 (%2)").arg(shortVersion, build);
    if (!shortVersion.isEmpty())
        return shortVersion;
    if (!build.isEmpty())
        return build;
    return QStringLiteral("unknown_version");
}

QString VGApplicationInformation::getApplicationVersion()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    const VGBundleProperties p = properties(s);
    return versionText(p.shortVersion, p.version);
}

QString VGApplicationInformation::applicationName()
{
    VGBundleProperties p;
    {
        State &s = state();
        std::lock_guard lock(s.mutex);
        p = properties(s);
    }
    for (const QString &candidate : {p.displayName, p.name, p.executable}) {
        if (!candidate.isEmpty())
            return candidate;
    }
    vg_log(QStringLiteral("Vigil: Unable to find the application name. To resolve set "
                          "CFBundleIdentifier, CFBundleName or CFBundleExecutable"));
    return QStringLiteral("Unknown");
}

QString VGApplicationInformation::bundleUUID()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (!s.bundleUUID) {
        QByteArray id;
        dl_iterate_phdr(findBuildId, &id);
        s.bundleUUID = uuidText(id);
    }
    return *s.bundleUUID;
}

QString VGApplicationInformation::distributionMethodForProfile(const QByteArray &profile)
{
    // The profile is signed data with a property list inside it.
    const qsizetype start = profile.indexOf("<?xml");
    if (start < 0)
        return QStringLiteral("unknown");
    const qsizetype end = profile.indexOf("</plist>", start);
    if (end < 0)
        return QStringLiteral("unknown");
    const auto devices = provisionedDevicesIn(profile.mid(start, end + 8 - start));
    if (!devices)
        return QStringLiteral("unknown");
    return *devices ? QStringLiteral("ad_hoc") : QStringLiteral("enterprise");
}

QString VGApplicationInformation::getDistributionMethod()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (!s.distributionMethod) {
        QFile profile(properties(s).bundlePath + QStringLiteral("/embedded.mobileprovision"));
        if (profile.open(QIODevice::ReadOnly)) {
            s.distributionMethod = distributionMethodForProfile(profile.read(4 << 20));
        } else {
            // Linux executables carry no store encryption marker.
            s.distributionMethod = QStringLiteral("not_encrypted");
        }
    }
    return *s.distributionMethod;
}

bool VGApplicationInformation::allowInAppUpdate()
{
    const QString method = getDistributionMethod();
    return method == QLatin1String("ad_hoc") || method == QLatin1String("enterprise") ||
           method == QLatin1String("unknown");
}

bool VGApplicationInformation::allowDeviceIdentifier()
{
    return allowInAppUpdate();
}

VGValue VGApplicationInformation::bundleInformation()
{
    {
        State &s = state();
        std::lock_guard lock(s.mutex);
        if (s.bundleInformation)
            return *s.bundleInformation;
    }
    VGBundleProperties p;
    QString token;
    {
        State &s = state();
        std::lock_guard lock(s.mutex);
        p = properties(s);
        token = s.token;
    }
    VGValue info = VGValue::map({
        {"bundle_identifier", p.identifier},
        {"app_name", applicationName()},
        {"app_version", versionText(p.shortVersion, p.version)},
    });
    if (!token.isEmpty())
        info.insert("application_token", token);
    info.insert("uuid", bundleUUID());
    info.insert("distribution_method", getDistributionMethod());
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (!s.bundleInformation)
        s.bundleInformation = info;
    return *s.bundleInformation;
}

void VGApplicationInformation::setApplicationToken(const QString &token)
{
    bool built = false;
    {
        State &s = state();
        std::lock_guard lock(s.mutex);
        s.token = token;
        if (s.bundleInformation) {
            built = true;
            if (token.isEmpty())
                s.bundleInformation->remove("application_token");
            else
                s.bundleInformation->insert("application_token", token);
        }
    }
    if (built)
        vgInformationChanged();
}

void VGApplicationInformation::setPropertiesForTesting(std::optional<VGBundleProperties> p)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.properties = std::move(p);
    s.bundleInformation.reset();
    s.distributionMethod.reset();
    s.token.clear();
}

} // namespace murmelo
