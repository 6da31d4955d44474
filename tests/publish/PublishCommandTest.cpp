#include "PublishFixture.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

// `murmelo publish` on a recording saved in the library this process's XDG folders point at.
TEST(PublishCommand, WritesThePageOrSaysWhyWithTheUsualExitCodes)
{
    const QString folder = test::scratchRoot() + QStringLiteral("/command");
    const test::AudioPair pair = test::makePair(folder, 3.0);
    StoreContext context;
    ASSERT_TRUE(context.open());
    auto recording = Recording::insertInManagedObjectContext(context);
    recording->setName(QStringLiteral("Über <find>"));
    recording->setMessage(QStringLiteral("heard"));
    recording->setDate(QDateTime::currentDateTime());
    recording->setAudioPath(pair.forward, pair.reversal);
    ASSERT_TRUE(context.save());
    ASSERT_TRUE(PhraseMarkerStore(context).addMarker(
        recording->rowID(), {0, {4410, 44100}, QStringLiteral("a phrase")}));
    const QString id = QString::number(recording->rowID());

    const QString page = folder + QStringLiteral("/out.html");
    test::ProcessOutcome done = test::runMurmelo({"publish", id, "-o", page, "--slow", "0.5"});
    EXPECT_EQ(done.exitCode, 0) << done.err.toStdString();
    EXPECT_EQ(done.out.trimmed(), page);
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray html = file.readAll();
    EXPECT_TRUE(html.contains("Über &lt;find&gt;"));
    EXPECT_TRUE(html.contains("data-rate=\"0.5\""));
    EXPECT_TRUE(html.contains("phrase-01-r"));

    const QString site = folder + QStringLiteral("/site");
    done = test::runMurmelo({"publish", id, "--folder", site});
    EXPECT_EQ(done.exitCode, 0) << done.err.toStdString();
    EXPECT_TRUE(QFile::exists(site + QStringLiteral("/index.html")));
    EXPECT_TRUE(QFile::exists(site + QStringLiteral("/phrase-01-forward.mp3")));

    // Bad usage is 2 and writes nothing; a recording that is not there is 1.
    for (const QStringList &bad :
         {QStringList{"publish"}, QStringList{"publish", id, "-o", page, "--folder", site},
          QStringList{"publish", id, "--slow", "1.5"}, QStringList{"publish", id, "--slow", "x"}}) {
        done = test::runMurmelo(bad);
        EXPECT_EQ(done.exitCode, 2) << bad.join(' ').toStdString();
    }
    done = test::runMurmelo({"publish", "999", "-o", folder + QStringLiteral("/none.html")});
    EXPECT_EQ(done.exitCode, 1);
    EXPECT_TRUE(done.err.contains(QStringLiteral("no saved recording 999")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/none.html")));

    done = test::runMurmelo({"help", "publish"});
    EXPECT_EQ(done.exitCode, 0);
    for (const char *option : {"--output", "--folder", "--slow"})
        EXPECT_TRUE(done.out.contains(QLatin1String(option))) << option;
}

} // namespace
} // namespace murmelo
