#include "platform/Defaults.h"
#include "support/RecordingAlertPresenter.h"
#include "support/TestSupport.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/device/VGApplicationInformation.h"
#include "telemetry/update/VGAppUpdater.h"
#include "telemetry/update/VGSDKUpgradeManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

VGValue reply(std::initializer_list<std::pair<const char *, VGValue>> changes = {})
{
    VGValue description = VGValue::map({
        {VGValue("version"), VGValue("2.1")},
        {VGValue("title"), VGValue("Murmelo")},
        {VGValue("release_notes"), VGValue("Faster reversal.")},
        {VGValue("plist_url"), VGValue("https://beta.example.org/murmelo-2.1")},
        {VGValue("release_date"), VGValue("2026-12-01")},
        {VGValue("size"), VGValue("12 MB")},
        {VGValue("company_name"), VGValue("Murmelo")},
        {VGValue("valid"), VGValue::boolean(true)},
    });
    for (const auto &[key, value] : changes) {
        if (value.isNull())
            description.remove(VGValue(key));
        else
            description.insert(VGValue(key), value);
    }
    return description;
}

// A beta build: its bundle carries a provisioning file, which allows in-app updates.
class UpdatePrompt : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bundle.isValid());
        VGBundleProperties properties;
        properties.shortVersion = QStringLiteral("2.0");
        properties.version = QStringLiteral("7");
        properties.bundlePath = bundle.path();
        QFile profile(bundle.filePath(QStringLiteral("embedded.mobileprovision")));
        ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
        profile.write("signed data without a property list");
        profile.close();
        VGApplicationInformation::setPropertiesForTesting(properties);
        VGAppUpdater::resetForTesting();
        Defaults::standard().remove(QLatin1String(VGAppUpdater::kSkipVersionKey));
        VGAppUpdater::setUrlOpenerForTesting([this](const QUrl &url) {
            opened.append(url);
            return true;
        });
    }
    void TearDown() override
    {
        VGAppUpdater::setUrlOpenerForTesting(nullptr);
        VGAppUpdater::resetForTesting();
        VGApplicationInformation::setPropertiesForTesting(std::nullopt);
    }
    // Shows the prompt for a reply the way the handshake does, and lets the main queue run.
    void prompt(const VGValue &description)
    {
        VGAppUpdater::promptIfUpdateExists(description);
        test::drainEvents();
    }

    QTemporaryDir bundle;
    test::RecordingAlertPresenter alerts;
    QList<QUrl> opened;
};

TEST_F(UpdatePrompt, OffersInstallNotNowAndSkipAndInstallOpensTheBuildsAddress)
{
    prompt(reply());
    ASSERT_EQ(alerts.alerts().size(), 1);
    const Alert &alert = alerts.alerts().first();
    EXPECT_EQ(alert.title, "Murmelo 2.1\nNow Available");
    EXPECT_EQ(alert.message, "Faster reversal.\n\n---\nMurmelo 2.1\nSize: 12 MB\nRelease Date: "
                             "2026-12-01\nCompany: Murmelo\n\n(Current Version: " +
                                 VGApplicationInformation::getApplicationVersion() + ")");
    EXPECT_EQ(alert.otherButtons, QStringList({"Install", "Not Now"}));
    EXPECT_EQ(alert.cancelButton, "Skip This Build");
    EXPECT_TRUE(VGAppUpdater::alertAlive());

    ASSERT_TRUE(alerts.press("Install"));
    vgSdkSync([] {});
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://beta.example.org/murmelo-2.1")}));
    EXPECT_TRUE(VGAppUpdater::isUpdating());
    EXPECT_FALSE(VGAppUpdater::alertAlive());
}

TEST_F(UpdatePrompt, IncompleteOrHostileRepliesShowNothing)
{
    for (const VGValue &bad :
         {reply({{"size", VGValue("")}}), reply({{"title", VGValue()}}),
          reply({{"version", VGValue::int32(3)}}), reply({{"force_upgrade", VGValue("yes")}}),
          reply({{"plist_url", VGValue("file:///etc/passwd")}}), VGValue::array({})}) {
        prompt(bad);
    }
    EXPECT_TRUE(alerts.alerts().isEmpty());
    EXPECT_FALSE(VGAppUpdater::alertAlive());
}

TEST_F(UpdatePrompt, ASkippedBuildIsNotOfferedAgainUnlessForced)
{
    prompt(reply());
    ASSERT_TRUE(alerts.press("Skip This Build"));
    EXPECT_TRUE(VGAppUpdater::shouldSkipVersion("2.1"));
    EXPECT_FALSE(VGAppUpdater::isUpdating());

    prompt(reply());
    EXPECT_EQ(alerts.alerts().size(), 1);
    prompt(reply({{"version", VGValue("2.2")}}));
    EXPECT_EQ(alerts.alerts().size(), 2);
    ASSERT_TRUE(alerts.press("Not Now"));
    EXPECT_FALSE(VGAppUpdater::shouldSkipVersion("2.2"));

    prompt(reply({{"force_upgrade", VGValue::int32(1)}}));
    ASSERT_EQ(alerts.alerts().size(), 3);
    EXPECT_EQ(alerts.alerts().last().buttons(), QStringList({"Install"}));
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(UpdatePrompt, ASecondReplyWhileTheAlertIsOpenShowsNoSecondAlert)
{
    prompt(reply());
    prompt(reply({{"version", VGValue("2.2")}}));
    EXPECT_EQ(alerts.alerts().size(), 1);
    ASSERT_TRUE(alerts.press("Not Now"));
    prompt(reply({{"version", VGValue("2.2")}}));
    EXPECT_EQ(alerts.alerts().size(), 2);
}

TEST_F(UpdatePrompt, StoreBuildsAndSwitchedOffUpdatesNeverPrompt)
{
    VGAppUpdater::setInAppUpdatesDisabled(true);
    prompt(reply());
    EXPECT_TRUE(alerts.alerts().isEmpty());
    VGAppUpdater::setInAppUpdatesDisabled(false);
    test::drainEvents();

    QFile::remove(bundle.filePath(QStringLiteral("embedded.mobileprovision")));
    VGBundleProperties properties;
    properties.bundlePath = bundle.path();
    VGApplicationInformation::setPropertiesForTesting(properties); // no profile: a store build
    prompt(reply({{"force_upgrade", VGValue::boolean(true)}}));
    EXPECT_TRUE(alerts.alerts().isEmpty());
}

TEST(SDKUpgrade, TheFirstStartOfThisVersionEmptiesTheFolderOnceAndRemembers)
{
    QTemporaryDir scratch;
    const QString sdk = scratch.filePath(QStringLiteral("org.murmelo.vigil"));
    QDir().mkpath(sdk + QStringLiteral("/logs"));
    QFile left(sdk + QStringLiteral("/logs/old.ulog"));
    ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    left.close();

    auto &manager = VGSDKUpgradeManager::sharedSDKUpgradeManager();
    EXPECT_EQ(manager._getCurrentSDKUpgradeVersion(sdk), 0);
    manager.upgradeSDKIfNecessary(sdk);
    EXPECT_FALSE(QFile::exists(sdk + QStringLiteral("/logs/old.ulog")));
    EXPECT_TRUE(QDir(sdk).exists());
    EXPECT_EQ(manager._getCurrentSDKUpgradeVersion(sdk), 13);
    QFile versionFile(sdk + QStringLiteral("/latest_upgrade_version.msgpack"));
    ASSERT_TRUE(versionFile.open(QIODevice::ReadOnly));
    const std::optional<VGValue> stored = VGMessagePack::unpackDictionary(versionFile.readAll());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->value(VGValue("version")).numberType(), VGValue::kInt);

    QDir().mkpath(sdk + QStringLiteral("/logs"));
    QFile kept(sdk + QStringLiteral("/logs/new.ulog"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    manager.upgradeSDKIfNecessary(sdk);
    EXPECT_TRUE(QFile::exists(sdk + QStringLiteral("/logs/new.ulog")));

    // A damaged version file counts as a fresh install.
    QFile damaged(sdk + QStringLiteral("/latest_upgrade_version.msgpack"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("\x81\xa7version");
    damaged.close();
    EXPECT_EQ(manager._getCurrentSDKUpgradeVersion(sdk), 0);
}

} // namespace
