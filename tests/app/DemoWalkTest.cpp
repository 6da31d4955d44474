// The scripted walk that `murmelo --walk DIR` runs where there is no display: the real executable
// over a library of its own, checked by what it leaves in the store and on disk.
#include "app/DemoWalk.h"
#include "audio/WavFile.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "mail/jobs/RelaySettings.h"
#include "support/LocalMailRelay.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QSettings>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace murmelo;

namespace {

TEST(DemoWalkArguments, TheFolderFollowsTheOption)
{
    using Args = QStringList;
    EXPECT_EQ(DemoWalk::folderFromArguments(Args{"murmelo"}), std::nullopt);
    EXPECT_EQ(DemoWalk::folderFromArguments(Args{"murmelo", "--walk", "out"}), "out");
    EXPECT_EQ(DemoWalk::folderFromArguments(Args{"murmelo", "--walk=/tmp/w"}), "/tmp/w");
    // Asked for, but without a folder: the caller reports a usage error.
    EXPECT_EQ(DemoWalk::folderFromArguments(Args{"murmelo", "--walk"}), QString());
    EXPECT_EQ(DemoWalk::folderFromArguments(Args{"murmelo", "--walk", "--other"}), QString());
    // The program name is never an option.
    EXPECT_EQ(DemoWalk::folderFromArguments(Args{"--walk", "x"}), std::nullopt);
}

struct Outcome {
    int exitCode = -1;
    QStringList lines; // standard output
    QString err;
};

double seconds(const QString &path)
{
    WavLayout layout;
    QString error;
    if (WavFile::inspect(path, layout, error) != WavFile::Kind::Valid || layout.sampleRate <= 0)
        return -1;
    return double(layout.frames) / layout.sampleRate;
}

// Every file below `folder`, hidden ones too, relative to it.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// Each run gets a home of its own: library, settings, caches and the temporary folder.
class DemoWalkRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = test::scratchRoot() + QStringLiteral("/walk-") +
               QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (const char *sub : {"data", "config", "cache", "tmp", "runtime"})
            ASSERT_TRUE(QDir().mkpath(home + QLatin1Char('/') + QLatin1String(sub)));
        QFile::setPermissions(home + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        out = home + QStringLiteral("/out");
    }

    Outcome walk(const QStringList &arguments, const QString &inputFile,
                 const QProcessEnvironment &extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
        // As on a machine without a display: the application chooses offscreen by itself.
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        // Nothing the application watches or calls may leave this machine.
        env.insert(QStringLiteral("MURMELO_MAIL_RELAY"), QStringLiteral("localhost:2525"));
        env.insert(QStringLiteral("MURMELO_TELEMETRY_URL"), QStringLiteral("http://127.0.0.1:9/"));
        if (inputFile.isEmpty())
            env.remove(QStringLiteral("MURMELO_AUDIO_INPUT_FILE"));
        else
            env.insert(QStringLiteral("MURMELO_AUDIO_INPUT_FILE"), inputFile);
        env.remove(QStringLiteral("MURMELO_WALK_MAIL"));
        env.insert(extra);

        QProcess process;
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("MURMELO_BINARY_DIR") +
                          QStringLiteral("/src/app/murmelo"),
                      arguments);
        EXPECT_TRUE(process.waitForFinished(240000)) << "the walk did not end";
        Outcome outcome;
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.lines = QString::fromLocal8Bit(process.readAllStandardOutput())
                            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        outcome.err = QString::fromLocal8Bit(process.readAllStandardError());
        return outcome;
    }

    QString speech()
    {
        const QString path = home + QStringLiteral("/speech.wav");
        EXPECT_EQ(
            test::runShell(QStringLiteral("espeak-ng -w '%1' '%2'").arg(path, DemoWalk::phrase())),
            0);
        return path;
    }

    std::vector<std::shared_ptr<Recording>> storedRecordings(const QString &storePath)
    {
        reader = std::make_unique<StoreContext>();
        EXPECT_TRUE(reader->open(storePath));
        std::vector<std::shared_ptr<Recording>> records;
        for (const auto &object :
             reader->fetchObjects(Recording::entityName(), {},
                                  StoreSort{StoreSortKey{QStringLiteral("date"), true}}))
            records.push_back(std::static_pointer_cast<Recording>(object));
        return records;
    }

    QString home;
    QString out;
    std::unique_ptr<StoreContext> reader;
};

TEST_F(DemoWalkRun, WalksTheWindowFromAgreementToTheSavedRecordings)
{
    const QString input = speech();
    const Outcome run = walk({QStringLiteral("--walk"), out}, input);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    // The pictures, then the library and the saved audio, one per line.
    const QStringList names = {"agreement", "recording",       "reversal", "playback",
                               "save",      "saved",           "crop",     "cropped",
                               "menu",      "saved-recordings"};
    ASSERT_EQ(run.lines.size(), names.size() + 2) << run.lines.join('\n').toStdString();
    for (int i = 0; i < names.size(); ++i) {
        const QString &path = run.lines[i];
        EXPECT_EQ(QFileInfo(path).fileName(),
                  QStringLiteral("%1-%2.png").arg(i + 1, 2, 10, QLatin1Char('0')).arg(names[i]));
        EXPECT_EQ(QFileInfo(path).absolutePath(), out);
        QImageReader picture(path);
        EXPECT_EQ(picture.format(), "png") << path.toStdString();
        EXPECT_EQ(picture.size(), QSize(320, 568)) << path.toStdString();
    }
    // Steps look different: a walk that stood still would leave the same picture twice.
    EXPECT_NE(QImage(run.lines[2]), QImage(run.lines[3])) << "playing moves the position";
    EXPECT_NE(QImage(run.lines[6]), QImage(run.lines[7]));
    const QString library = home + QStringLiteral("/data/murmelo");
    const QString savedAudio = library + QStringLiteral("/recordings");
    EXPECT_EQ(run.lines[names.size()], library);
    EXPECT_EQ(run.lines[names.size() + 1], savedAudio);
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/phrase.wav")))
        << "the given input file is used, not a phrase of the walk's own";
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/failed.png")));

    // The agreement was accepted, and written down.
    QSettings settings(home + QStringLiteral("/config/murmelo/murmelo.conf"), QSettings::IniFormat);
    EXPECT_TRUE(settings.value(QStringLiteral("EULA")).toBool());

    // Two records: the saved reversal, then its crop.
    const auto records = storedRecordings(library + QLatin1Char('/') +
                                          QFileInfo(StoreContext::defaultStorePath()).fileName());
    ASSERT_EQ(records.size(), 2u);
    const auto &saved = records[0];
    const auto &cropped = records[1];
    EXPECT_EQ(saved->name(), DemoWalk::title());
    EXPECT_EQ(saved->message(), DemoWalk::message());
    EXPECT_EQ(cropped->name(), DemoWalk::title() + QStringLiteral(" Cropped"));
    EXPECT_EQ(cropped->message(), DemoWalk::message());
    EXPECT_FALSE(saved->isImportedValue());

    QStringList named;
    for (const auto &record : records) {
        for (const QString &path : {record->currentAudioPath(), record->reverseAudioPath()}) {
            EXPECT_EQ(QFileInfo(path).absolutePath(), savedAudio) << path.toStdString();
            EXPECT_GT(seconds(path), 0) << path.toStdString() << " is not a WAV file";
            named << QFileInfo(path).fileName();
        }
    }
    named.sort();
    EXPECT_EQ(filesBelow(savedAudio), named) << "nothing but the four files of the two records";

    // The recording lasted the walk's few seconds; reversal and original are the same length.
    const double forward = seconds(saved->currentAudioPath());
    EXPECT_GE(forward, DemoWalk::kRecordSeconds - 0.05);
    EXPECT_LT(forward, DemoWalk::kRecordSeconds + 1.5);
    EXPECT_NEAR(seconds(saved->reverseAudioPath()), forward, 0.01);
    // The crop keeps its share of each.
    const double share = DemoWalk::kCropTo - DemoWalk::kCropFrom;
    EXPECT_NEAR(seconds(cropped->currentAudioPath()), forward * share, 0.02);
    EXPECT_NEAR(seconds(cropped->reverseAudioPath()), forward * share, 0.02);

    // Recordings in progress and job output were all adopted or removed.
    const QString temporary = home + QStringLiteral("/tmp");
    EXPECT_EQ(filesBelow(temporary), QStringList())
        << filesBelow(temporary).join(' ').toStdString();
}

TEST_F(DemoWalkRun, AStepThatGoesWrongEndsTheWalkWithItsReason)
{
    // A recording source that is not audio: the record screen says so, and the walk stops there.
    const QString noise = home + QStringLiteral("/noise.wav");
    {
        QFile file(noise);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, '\x5a'));
    }
    Outcome run = walk({QStringLiteral("--walk"), out}, noise);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.lines.isEmpty()) << "no paths are printed for a failed walk";
    EXPECT_TRUE(run.err.contains(QStringLiteral("walk failed at step \u201crecord\u201d")))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("alert"))) << run.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("/01-agreement.png")));
    EXPECT_EQ(QImageReader(out + QStringLiteral("/failed.png")).size(), QSize(320, 568));

    // A missing file is named before anything starts.
    run = walk({QStringLiteral("--walk"), out}, home + QStringLiteral("/missing.wav"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("step \u201cspeech\u201d")));
    EXPECT_TRUE(run.err.contains(home + QStringLiteral("/missing.wav")));

    // Without a folder it is a usage error.
    run = walk({QStringLiteral("--walk")}, {});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--walk needs a folder")));
}

TEST_F(DemoWalkRun, MailStepsShareTheReversalAndFileAReportThroughTheRelay)
{
    test::LocalMailRelay relay(QLatin1String(MailDeployment::kRelayLogin),
                               QLatin1String(MailDeployment::kRelayPassword));
    ASSERT_TRUE(relay.isRunning());
    QProcessEnvironment mail;
    mail.insert(QStringLiteral("MURMELO_WALK_MAIL"), QStringLiteral("1"));
    mail.insert(QStringLiteral("MURMELO_MAIL_RELAY"),
                QStringLiteral("127.0.0.1:%1").arg(relay.port()));
    mail.insert(QStringLiteral("MURMELO_MAIL_CA_FILE"), relay.certificatePath());
    const Outcome run = walk({QStringLiteral("--walk"), out}, speech(), mail);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    // The mail steps' pictures follow the saved recordings'.
    QStringList shots;
    for (const QString &line : run.lines)
        shots << QFileInfo(line).completeBaseName().section(QLatin1Char('-'), 1);
    const QStringList mailShots = {"share-panel", "reversal-sent", "report", "report-sent"};
    const qsizetype at = shots.indexOf(QStringLiteral("saved-recordings"));
    ASSERT_GE(at, 0) << run.lines.join('\n').toStdString();
    EXPECT_EQ(shots.mid(at + 1, mailShots.size()), mailShots) << shots.join(' ').toStdString();

    // Both messages arrived: the reversal at the two addresses, then the report.
    const QList<QByteArray> messages = relay.messages();
    ASSERT_EQ(messages.size(), 2);
    const QByteArray &reversal = messages[0];
    EXPECT_TRUE(reversal.contains("X-RcptTo: ann@example.org, bob@example.org"))
        << reversal.left(600).constData();
    EXPECT_TRUE(reversal.contains("filename=\"murmelo.wav\""));
    EXPECT_TRUE(reversal.contains(DemoWalk::message().toUtf8()));
    const QByteArray &report = messages[1];
    EXPECT_TRUE(report.contains("X-RcptTo: " + QByteArray(MailDeployment::kSupportMailbox)));
    EXPECT_TRUE(report.contains("Subject: Murmelo Bug Report"));
    EXPECT_TRUE(report.contains("walk@example.org"));
}

} // namespace
