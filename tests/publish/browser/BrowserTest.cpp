#include "../PublishFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

// A visitor's browser: Debian's Chromium, headless, opens the page from disk.
TEST(PublishedPageInChromium, PlaysRevealsAndFetchesNothing)
{
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
        GTEST_FAIL() << "chromium is not installed (scripts/install-deps.sh installs it)";
    const QString folder = test::scratchRoot() + QStringLiteral("/browser");
    const test::AudioPair pair = test::makePair(folder, 6.0);
    const PublishSource source = test::threeMarkers(pair);
    const QString page = folder + QStringLiteral("/page.html");
    const std::atomic<bool> never{false};
    const PublishResult result = PagePublisher::publish(source, {}, page, never);
    ASSERT_TRUE(result.published()) << result.error.toStdString();

    const QString expectPath = folder + QStringLiteral("/expect.json");
    QFile expect(expectPath);
    ASSERT_TRUE(expect.open(QIODevice::WriteOnly));
    expect.write(QJsonDocument(test::expectations(source, pair, true, false)).toJson());
    expect.close();
    QString shots = qEnvironmentVariable("MURMELO_SCREENSHOT_DIR");
    if (shots.isEmpty())
        shots = folder + QStringLiteral("/screenshots");

    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(MURMELO_PUBLISH_TEST_DIR "/browser_check.py"), page, expectPath, shots});
    ASSERT_TRUE(check.waitForFinished(150000)) << "the browser check hung";
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
    EXPECT_TRUE(QFile::exists(shots + QStringLiteral("/published-page-1280.png")));
    EXPECT_TRUE(QFile::exists(shots + QStringLiteral("/published-page-390.png")));
}

} // namespace
} // namespace murmelo
