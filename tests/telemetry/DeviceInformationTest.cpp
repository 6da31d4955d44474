#include "platform/Defaults.h"
#include "support/TestSupport.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/device/VGApplicationInformation.h"
#include "telemetry/device/VGCrypto.h"
#include "telemetry/device/VGDeviceInfo.h"
#include "telemetry/device/VGInformationChanged.h"
#include "telemetry/device/VGSharedUDID.h"
#include "telemetry/network/VGReachability.h"

#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class BundleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bundle.isValid());
        properties.identifier = QStringLiteral("org.example.App");
        properties.name = QStringLiteral("Example");
        properties.shortVersion = QStringLiteral("1.0");
        properties.version = QStringLiteral("42");
        properties.bundlePath = bundle.path();
    }
    void TearDown() override
    {
        VGApplicationInformation::setPropertiesForTesting(std::nullopt);
        VGDeviceInfo::resetForTesting();
        vgSetInformationChangedHandler({});
    }
    void use() { VGApplicationInformation::setPropertiesForTesting(properties); }
    void writeProfile(const QByteArray &plist)
    {
        QFile file(bundle.filePath(QStringLiteral("embedded.mobileprovision")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // Signed data around the property list, as a real profile has.
        file.write(QByteArray("0\x82\x01\x02\x06\x09", 6) + plist + QByteArray("\x00\xa0\x82", 3));
    }

    QTemporaryDir bundle;
    VGBundleProperties properties;
};

QByteArray plist(const char *body)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
                      "<dict><key>Name</key><string>beta</string>") +
           body + "</dict></plist>";
}

TEST_F(BundleTest, VersionTextFromTheTwoVersionProperties)
{
    EXPECT_EQ(VGApplicationInformation::versionText("1.0", "42"), "1.0 (42)");
    EXPECT_EQ(VGApplicationInformation::versionText("", "42"), "42");
    EXPECT_EQ(VGApplicationInformation::versionText("1.0", ""), "1.0");
    EXPECT_EQ(VGApplicationInformation::versionText("", ""), "unknown_version");
    use();
    const VGValue info = VGApplicationInformation::bundleInformation();
    EXPECT_EQ(info.value("app_version").text(), "1.0 (42)");
    EXPECT_EQ(info.value("app_name").text(), "Example");
    EXPECT_EQ(info.value("bundle_identifier").text(), "org.example.App");
    EXPECT_FALSE(info.contains("application_token"));
}

TEST_F(BundleTest, NameFallsBackToExecutableThenUnknown)
{
    properties.name.clear();
    properties.executable = QStringLiteral("example-bin");
    use();
    EXPECT_EQ(VGApplicationInformation::applicationName(), "example-bin");
    properties.executable.clear();
    use();
    EXPECT_EQ(VGApplicationInformation::applicationName(), "Unknown");
}

TEST_F(BundleTest, DistributionMethodFromTheProvisioningFile)
{
    EXPECT_EQ(VGApplicationInformation::distributionMethodForProfile(
                  plist("<key>ProvisionedDevices</key><array><string>a</string></array>")),
              "ad_hoc");
    EXPECT_EQ(VGApplicationInformation::distributionMethodForProfile(
                  plist("<key>ProvisionedDevices</key><array/>")),
              "enterprise");
    EXPECT_EQ(VGApplicationInformation::distributionMethodForProfile(
                  plist("<key>Other</key><array><string>a</string></array>")),
              "enterprise");
    EXPECT_EQ(VGApplicationInformation::distributionMethodForProfile("no property list"),
              "unknown");
    EXPECT_EQ(VGApplicationInformation::distributionMethodForProfile(
                  "<?xml version=\"1.0\"?><plist><array/></plist>"),
              "unknown");

    // A beta build without devices: enterprise, updates and identifiers allowed.
    writeProfile(plist(""));
    use();
    EXPECT_EQ(VGApplicationInformation::getDistributionMethod(), "enterprise");
    EXPECT_TRUE(VGApplicationInformation::allowInAppUpdate());
    VGDeviceInfo::setDeviceIdentifier(QStringLiteral("device-7"));
    EXPECT_EQ(VGDeviceInfo::deviceInformation().value("udid").text(), "device-7");
}

TEST_F(BundleTest, BuildWithoutProfileRefusesTheDeviceIdentifier)
{
    use();
    EXPECT_EQ(VGApplicationInformation::getDistributionMethod(), "not_encrypted");
    EXPECT_FALSE(VGApplicationInformation::allowInAppUpdate());
    EXPECT_FALSE(VGApplicationInformation::allowDeviceIdentifier());
    VGDeviceInfo::setDeviceIdentifier(QStringLiteral("device-7"));
    EXPECT_FALSE(VGDeviceInfo::deviceInformation().contains("udid"));
}

TEST_F(BundleTest, TokenAndEnvironmentReplaceEntriesAndAnnounceTheChange)
{
    use();
    int changes = 0;
    vgSetInformationChangedHandler([&] { ++changes; });
    VGApplicationInformation::setApplicationToken(QStringLiteral("early"));
    EXPECT_EQ(changes, 0); // nothing built yet, nothing to rebuild
    EXPECT_EQ(VGApplicationInformation::bundleInformation().value("application_token").text(),
              "early");
    VGApplicationInformation::setApplicationToken(QStringLiteral("later"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(VGApplicationInformation::bundleInformation().value("application_token").text(),
              "later");

    VGDeviceInfo::deviceInformation();
    VGDeviceInfo::addCustomEnvironmentInformation(QStringLiteral("staging"),
                                                  QStringLiteral("server"));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(VGDeviceInfo::deviceInformation().value("custom_environment").value("server").text(),
              "staging");
}

TEST(BundleUUID, IsTheExecutablesGnuBuildId)
{
    const QString uuid = VGApplicationInformation::bundleUUID();
    ASSERT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                    .match(uuid)
                    .hasMatch())
        << uuid.toStdString();
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"),
                  {QStringLiteral("-n"), QStringLiteral("/proc/%1/exe").arg(getpid())});
    ASSERT_TRUE(readelf.waitForFinished());
    const QString notes = QString::fromUtf8(readelf.readAllStandardOutput());
    const auto match = QRegularExpression(QStringLiteral("Build ID: ([0-9a-f]+)")).match(notes);
    ASSERT_TRUE(match.hasMatch()) << notes.toStdString();
    EXPECT_EQ(QString(uuid).remove(QLatin1Char('-')), match.captured(1).left(32).toUpper());
}

TEST(DeviceInformation, DescribesTheSystemWithoutRawMachineIdentifiers)
{
    VGDeviceInfo::resetForTesting();
    const VGValue info = VGDeviceInfo::deviceInformation();
    for (const char *key :
         {"system_name", "os_version", "device_model", "device_architecture", "firmware", "locale",
          "language", "connection_state", "time_zone", "time_zone_offset", "shared_udid",
          "jail_broken", "kernel_version", "cpu_model", "memory_size"})
        EXPECT_TRUE(info.contains(key)) << key;
    EXPECT_TRUE(info.value("carrier").isNull());
    EXPECT_TRUE(info.contains("carrier"));
    EXPECT_EQ(info.value("time_zone_offset").numberType(), 'i');
    EXPECT_TRUE(info.value("jail_broken").value("cydia").isBool());
    EXPECT_EQ(info.value("shared_udid").text().size(), 40u);
    EXPECT_GT(info.value("memory_size").toUInt64(), 0u);

    const QByteArray packed = VGMessagePack::pack(info);
    QFile machineId(QStringLiteral("/etc/machine-id"));
    if (machineId.open(QIODevice::ReadOnly)) {
        const QByteArray id = machineId.readAll().trimmed();
        ASSERT_FALSE(id.isEmpty());
        EXPECT_FALSE(packed.contains(id));
        EXPECT_FALSE(packed.toLower().contains(QByteArray(id).insert(8, '-').left(13)));
        EXPECT_TRUE(info.contains("vendor_id"));
    }
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const QString mac = interface.hardwareAddress();
        if (mac.isEmpty() || mac == QLatin1String("00:00:00:00:00:00"))
            continue;
        EXPECT_FALSE(packed.toLower().contains(mac.toLower().toUtf8()));
        EXPECT_FALSE(packed.toLower().contains(mac.toLower().remove(QLatin1Char(':')).toUtf8()));
    }
}

TEST(DeviceInformation, StatusStringsAndVersions)
{
    EXPECT_EQ(VGDeviceInfo::orientation(1), "Portriat");
    EXPECT_EQ(VGDeviceInfo::orientation(6), "FaceDown");
    EXPECT_EQ(VGDeviceInfo::orientation(9), "Unknown");
    EXPECT_EQ(VGDeviceInfo::batteryState(2), "Charging");
    EXPECT_EQ(VGDeviceInfo::batteryState(0), "Unknown");
    EXPECT_TRUE(VGCompatibility::versionAtLeast("10.2", "9.11"));
    EXPECT_FALSE(VGCompatibility::versionAtLeast("5", "6.0"));
}

TEST(Digests, TextsOfSha1AndMd5)
{
    EXPECT_EQ(VGCrypto::sha1(QString()), VGCrypto::sha1(QStringLiteral("")));
    EXPECT_EQ(VGCrypto::sha1("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(VGCrypto::md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_NE(VGCrypto::saltedDigest("secret", "a"), VGCrypto::saltedDigest("secret", "b"));
}

TEST(Reachability, StatusRulesAndLoopbackService)
{
    EXPECT_EQ(VGReachability::statusForFlags(0, false), 0);
    EXPECT_EQ(VGReachability::statusForFlags(VGReachability::Reachable, false), 1);
    EXPECT_EQ(VGReachability::statusForFlags(VGReachability::Reachable | VGReachability::IsWWAN |
                                                 VGReachability::ConnectionRequired,
                                             false),
              2);
    EXPECT_EQ(VGReachability::statusForFlags(VGReachability::Reachable |
                                                 VGReachability::ConnectionRequired |
                                                 VGReachability::ConnectionOnTraffic,
                                             false),
              1);
    EXPECT_EQ(VGReachability::statusForFlags(
                  VGReachability::Reachable | VGReachability::ConnectionRequired |
                      VGReachability::ConnectionOnDemand | VGReachability::InterventionRequired,
                  false),
              0);
    EXPECT_EQ(VGReachability::statusForFlags(VGReachability::Reachable, true), 0);
    EXPECT_EQ(
        VGReachability::statusForFlags(VGReachability::Reachable | VGReachability::IsDirect, true),
        1);
    EXPECT_EQ(VGReachability::reachabilityWithHostName(QStringLiteral("127.0.0.1"))->status(), 1);
    EXPECT_FALSE(VGReachability::reachabilityWithHostName(QString()));
}

class SharedUDIDTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch.isValid());
        VG_SharedUDID::resetCacheForTesting();
    }
    QString folder() const { return scratch.filePath(QStringLiteral("shared")); }
    QTemporaryDir scratch;
    Defaults first{scratch.filePath(QStringLiteral("first.conf"))};
    Defaults second{scratch.filePath(QStringLiteral("second.conf"))};
};

TEST_F(SharedUDIDTest, TwoApplicationsReportTheSameIdentifier)
{
    VG_SharedUDID a(first, folder());
    VG_SharedUDID b(second, folder());
    const auto fromA = a.valueWithError(false);
    EXPECT_EQ(fromA.code, 0);
    EXPECT_EQ(fromA.message, "SharedUDID succesfully retrieved");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$")).match(fromA.value).hasMatch());
    const auto fromB = b.valueWithError(false);
    EXPECT_EQ(fromB.value, fromA.value);
    // Each took its own slot, and a second look is stable.
    EXPECT_TRUE(QFile::exists(folder() + "/org.SharedUDID.slot.0"));
    EXPECT_TRUE(QFile::exists(folder() + "/org.SharedUDID.slot.1"));
    EXPECT_EQ(a.valueWithError(false).value, fromA.value);
    EXPECT_FALSE(QFile::exists(folder() + "/org.SharedUDID.slot.2"));
}

TEST_F(SharedUDIDTest, DiscrepancyOptOutAndUnreadableSlots)
{
    VG_SharedUDID a(first, folder());
    const QString mine = a.valueWithError(false).value;
    // Two other applications agree on a different identifier.
    VG_SharedUDID other(second, folder());
    for (int slot : {5, 6})
        other._setDictForPasteboard(
            VGValue::map({{"SharedUDID", std::string(40, 'e')}, {"SharedUDID_appUID", "x"}}),
            QStringLiteral("org.SharedUDID.slot.%1").arg(slot));
    QFile junk(folder() + "/org.SharedUDID.slot.7");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("\xc1 not a map");
    junk.close();
    const auto checked = a.valueWithError(false);
    EXPECT_EQ(checked.value, mine); // the application's own copy is the reliable one
    EXPECT_EQ(checked.code, 2);

    a.setOptOut(true, false);
    const auto optedOut = a.valueWithError(false);
    EXPECT_EQ(optedOut.value, QString(40, QLatin1Char('0')));
    EXPECT_EQ(optedOut.code, 1);
    EXPECT_TRUE(optedOut.message.startsWith("Application with unique id "));
    a.setOptOut(false, false);
    EXPECT_EQ(a.valueWithError(false).value, mine);
}

} // namespace
