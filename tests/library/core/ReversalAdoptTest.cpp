// The reversal job and the library's adoption of its result, in a process with no screen: a
// QCoreApplication, no Qt Widgets linked.
#include "audio/ReversalJob.h"
#include "audio/WavFile.h"
#include "audio/WaveformEnvelope.h"
#include "audio/WaveformImage.h"
#include "library/Library.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "platform/StandardPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <vector>

using namespace murmelo;

namespace {

QString scratch(const QString &name)
{
    const QString folder = qEnvironmentVariable("MURMELO_SCRATCH_ROOT") + QStringLiteral("/core");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}

// A sound made by sox, the peer every WAV here is measured against.
QString soxSound(const QString &name, const QStringList &format, double seconds)
{
    const QString path = scratch(name);
    QStringList arguments = {QStringLiteral("-R"), QStringLiteral("-n")};
    arguments << format << path << QStringLiteral("synth") << QString::number(seconds)
              << QStringLiteral("sine") << QStringLiteral("200-900") << QStringLiteral("vol")
              << QStringLiteral("0.5");
    EXPECT_EQ(QProcess::execute(QStringLiteral("sox"), arguments), 0);
    return path;
}

QString recordingIn(const QString &folder, const QString &source)
{
    const QString path = folder + QLatin1Char('/') + QFileInfo(source).fileName();
    EXPECT_TRUE(QFile::copy(source, path));
    return path;
}

// The frames of a WAV file's data, `frameBytes` bytes each.
std::vector<QByteArray> frames(const QString &path)
{
    WavLayout layout;
    QString error;
    EXPECT_EQ(WavFile::checkInput(path, layout, error), WavFile::Kind::Valid) << qPrintable(error);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    file.seek(layout.dataOffset);
    std::vector<QByteArray> result;
    for (qint64 f = 0; f < layout.frames; ++f)
        result.push_back(file.read(layout.blockAlign));
    return result;
}

QStringList temporaryFiles()
{
    return QDir(StandardPaths::temporaryDirectory()).entryList(QDir::Files | QDir::Hidden);
}

bool waitUntil(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

class ReversalAdoptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No screen: the application object is the core one.
        ASSERT_FALSE(QCoreApplication::instance()->inherits("QGuiApplication"));
        for (const QString &name : temporaryFiles())
            QFile::remove(StandardPaths::temporaryDirectory() + QLatin1Char('/') + name);
    }
};

// Mono at 22.05 kHz is not the import's layout and goes through the decoder; 44.1 kHz 16-bit
// stereo is copied by the kernel while the reversal reads the song itself.
class SongJob : public ReversalAdoptTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(SongJob, SongIsImportedReversedAndMeasuredOnTheWay)
{
    const QString song =
        soxSound(QStringLiteral("song.wav"), QString::fromLatin1(GetParam()).split(u' '), 7.5);
    std::vector<std::pair<ReversalJob::Stage, double>> reports;
    ReversalJob job(song, ReversalJob::Source::Song, &Library::temporaryAudioPath);
    const ReversalJob::Result result =
        job.run(std::atomic<bool>(false), [&](ReversalJob::Stage stage, double fraction) {
            reports.emplace_back(stage, fraction);
        });
    ASSERT_EQ(result.status, AudioJobStatus::Finished) << qPrintable(result.error);
    const Reversal &reversal = result.reversal;
    EXPECT_TRUE(reversal.imported);
    EXPECT_TRUE(reversal.audioPath.startsWith(StandardPaths::temporaryDirectory()));
    EXPECT_TRUE(reversal.reverseAudioPath.startsWith(StandardPaths::temporaryDirectory()));

    WavLayout layout;
    QString error;
    ASSERT_EQ(WavFile::checkInput(reversal.audioPath, layout, error), WavFile::Kind::Valid);
    EXPECT_EQ(layout.channels, 2);
    EXPECT_EQ(layout.sampleRate, 44100);
    const std::vector<QByteArray> forward = frames(reversal.audioPath);
    std::vector<QByteArray> backward = frames(reversal.reverseAudioPath);
    ASSERT_EQ(forward.size(), backward.size());
    ASSERT_GT(forward.size(), 300000u) << "several of the reversal's blocks";
    std::reverse(backward.begin(), backward.end());
    EXPECT_TRUE(forward == backward) << "the reversal is the forward audio frame by frame, back "
                                        "to front";

    // The envelope measured while reversing is the one a read from the start gives, to the bit.
    ASSERT_TRUE(reversal.envelope);
    const std::optional<WaveformEnvelope> read = EnvelopeReader::read(reversal.audioPath, error);
    ASSERT_TRUE(read) << qPrintable(error);
    EXPECT_EQ(reversal.envelope->values(), read->values());
    EXPECT_EQ(reversal.envelope->normalizeMax(), read->normalizeMax());
    EXPECT_EQ(reversal.waveformImage,
              waveformImage(reversal.audioPath, kWaveformPictureSize, kWaveformPictureBarWidth));

    // Each stage starts at 0 and the reversal ends at 1; the import comes first.
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), std::make_pair(ReversalJob::Stage::Importing, 0.0));
    EXPECT_EQ(reports.back(), std::make_pair(ReversalJob::Stage::Reversing, 1.0));
    const auto firstReversing = std::find_if(reports.begin(), reports.end(), [](const auto &r) {
        return r.first == ReversalJob::Stage::Reversing;
    });
    EXPECT_EQ(firstReversing->second, 0.0);
    EXPECT_TRUE(std::all_of(firstReversing, reports.end(), [](const auto &r) {
        return r.first == ReversalJob::Stage::Reversing;
    }));
}

INSTANTIATE_TEST_SUITE_P(DecodedAndCopied, SongJob,
                         ::testing::Values("-r 22050 -c 1", "-r 44100 -c 2 -b 16"));

TEST_F(ReversalAdoptTest, CancelledAndFailedJobsLeaveNothingBehind)
{
    const QString sound =
        soxSound(QStringLiteral("voice.wav"),
                 {QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
                  QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16")},
                 2);
    // A recording handed over and cancelled goes with the job.
    const QString recording = recordingIn(StandardPaths::temporaryDirectory(), sound);
    ReversalJob owned(recording, ReversalJob::Source::Recording, &Library::temporaryAudioPath);
    owned.setOwnsSource(true);
    ReversalJob::Result result = owned.run(std::atomic<bool>(true));
    EXPECT_EQ(result.status, AudioJobStatus::Cancelled);
    EXPECT_TRUE(temporaryFiles().isEmpty()) << qPrintable(temporaryFiles().join(u' '));

    // One not handed over stays where it is.
    ReversalJob borrowed(sound, ReversalJob::Source::Recording, &Library::temporaryAudioPath);
    EXPECT_EQ(borrowed.run(std::atomic<bool>(true)).status, AudioJobStatus::Cancelled);
    EXPECT_TRUE(QFileInfo::exists(sound));

    // Asked for no reversal, a recording is taken as it is and nothing is written.
    borrowed.setReverses(false);
    result = borrowed.run(std::atomic<bool>(false));
    EXPECT_EQ(result.status, AudioJobStatus::Finished);
    EXPECT_EQ(result.reversal.audioPath, sound);
    EXPECT_TRUE(result.reversal.reverseAudioPath.isEmpty());
    EXPECT_TRUE(temporaryFiles().isEmpty()) << qPrintable(temporaryFiles().join(u' '));

    // A song copied while it is reversed: a cancel takes the copy and the reversal.
    const QString copied =
        soxSound(QStringLiteral("copied.wav"),
                 {QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
                  QStringLiteral("2"), QStringLiteral("-b"), QStringLiteral("16")},
                 30);
    std::atomic<bool> cancel{false};
    ReversalJob whileCopying(copied, ReversalJob::Source::Song, &Library::temporaryAudioPath);
    result = whileCopying.run(cancel, [&](ReversalJob::Stage stage, double fraction) {
        if (stage == ReversalJob::Stage::Reversing && fraction > 0.1)
            cancel = true;
    });
    EXPECT_TRUE(cancel);
    EXPECT_EQ(result.status, AudioJobStatus::Cancelled);
    EXPECT_TRUE(temporaryFiles().isEmpty()) << qPrintable(temporaryFiles().join(u' '));

    // A song that is no audio fails in its import, with the importer's reason.
    const QString text = scratch(QStringLiteral("notes.mp3"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    ReversalJob song(text, ReversalJob::Source::Song, &Library::temporaryAudioPath);
    result = song.run(std::atomic<bool>(false));
    EXPECT_EQ(result.status, AudioJobStatus::Failed);
    EXPECT_EQ(result.stage, ReversalJob::Stage::Importing);
    EXPECT_EQ(result.importError.kind, MediaImportError::Kind::Unreadable);
    EXPECT_FALSE(result.error.isEmpty());

    // A recording that is no WAV fails in the reversal; nothing of the job stays.
    const QString broken = recordingIn(StandardPaths::temporaryDirectory(), text);
    ReversalJob unreadable(broken, ReversalJob::Source::Recording, &Library::temporaryAudioPath);
    result = unreadable.run(std::atomic<bool>(false));
    EXPECT_EQ(result.status, AudioJobStatus::Failed);
    EXPECT_EQ(result.stage, ReversalJob::Stage::Reversing);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(temporaryFiles(), QStringList{QFileInfo(broken).fileName()});
}

TEST_F(ReversalAdoptTest, StartedJobWorksOnItsQueueAndReportsOnTheMainThread)
{
    const QString song = soxSound(
        QStringLiteral("short.flac"),
        {QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-c"), QStringLiteral("2")},
        3);
    bool allOnMain = true;
    std::vector<ReversalJob::Stage> stages;
    std::optional<ReversalJob::Result> finished;
    ReversalJob::start(
        ReversalJob(song, ReversalJob::Source::Song, &Library::temporaryAudioPath),
        std::make_shared<std::atomic<bool>>(false),
        [&](ReversalJob::Stage stage, double) {
            allOnMain = allOnMain && isMainThread();
            if (stages.empty() || stages.back() != stage)
                stages.push_back(stage);
        },
        [&](const ReversalJob::Result &result) {
            allOnMain = allOnMain && isMainThread();
            finished = result;
        });
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }));
    EXPECT_EQ(finished->status, AudioJobStatus::Finished) << qPrintable(finished->error);
    EXPECT_TRUE(allOnMain);
    EXPECT_EQ(stages, (std::vector{ReversalJob::Stage::Importing, ReversalJob::Stage::Reversing}));
    EXPECT_TRUE(QFileInfo::exists(finished->reversal.reverseAudioPath));
    SerialQueue::waitForAllQueues();
}

TEST_F(ReversalAdoptTest, AdoptionMovesTheFilesInNamesTheRecordAndSavesIt)
{
    Defaults settings(scratch(QStringLiteral("adopt.conf")));
    Defaults::setStandardForTesting(&settings);
    settings.setInteger(QStringLiteral("defaultName"), 41);
    const QString sound =
        soxSound(QStringLiteral("phrase.wav"),
                 {QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
                  QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16")},
                 1);
    const auto reverse = [&] {
        ReversalJob job(recordingIn(StandardPaths::temporaryDirectory(), sound),
                        ReversalJob::Source::Recording, &Library::temporaryAudioPath);
        ReversalJob::Result result = job.run(std::atomic<bool>(false));
        EXPECT_EQ(result.status, AudioJobStatus::Finished) << qPrintable(result.error);
        return result.reversal;
    };

    const QString storePath = scratch(QStringLiteral("adopt.sql"));
    QUrl first;
    {
        StoreContext store;
        ASSERT_TRUE(store.open(storePath));
        Library library(store);
        const Reversal reversal = reverse();
        const QByteArray reversed = [&] {
            QFile file(reversal.reverseAudioPath);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        StoreError error;
        auto recording = library.adopt(reversal, {{}, QStringLiteral("heard"), 0.7f}, &error);
        ASSERT_TRUE(recording);
        EXPECT_FALSE(error) << qPrintable(error.description);
        first = recording->objectURI();
        for (const QString &path : {recording->currentAudioPath(), recording->reverseAudioPath()})
            EXPECT_EQ(QFileInfo(path).absolutePath(),
                      QDir(StandardPaths::applicationSupportDirectory()).absolutePath());
        EXPECT_FALSE(QFileInfo::exists(reversal.audioPath));
        EXPECT_FALSE(QFileInfo::exists(reversal.reverseAudioPath));
        QFile moved(recording->reverseAudioPath());
        ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
        EXPECT_EQ(moved.readAll(), reversed);

        // A name given is kept and takes no number; the next unnamed one gets the next.
        EXPECT_EQ(library.adopt(reverse(), {QStringLiteral("Mine"), {}, {}})->name(),
                  QStringLiteral("Mine"));
        EXPECT_EQ(library.adopt(reverse(), {})->name(), QStringLiteral("Reversal 43"));
    }
    // All of it is in the store file.
    StoreContext reopened;
    ASSERT_TRUE(reopened.open(storePath));
    auto saved = std::static_pointer_cast<Recording>(reopened.objectAtURI(first));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->name(), QStringLiteral("Reversal 42"));
    EXPECT_EQ(saved->message(), QStringLiteral("heard"));
    EXPECT_FLOAT_EQ(saved->speedValue(), 0.7f);
    EXPECT_FALSE(saved->isImportedValue());
    EXPECT_FALSE(saved->waveformImage().isNull());
    EXPECT_TRUE(QFileInfo::exists(saved->reverseAudioPath()));
    EXPECT_EQ(reopened.fetchObjects(Recording::entityName()).size(), 3u);
    EXPECT_EQ(settings.integerForKey(QStringLiteral("defaultName")), 43);

    // A store that cannot be written says so, and the files are not lost.
    StoreContext closed;
    Library nowhere(closed);
    StoreError error;
    auto unsaved = nowhere.adopt(reverse(), {}, &error);
    EXPECT_TRUE(error);
    EXPECT_TRUE(QFileInfo::exists(unsaved->currentAudioPath()));
    EXPECT_TRUE(QFileInfo::exists(unsaved->reverseAudioPath()));
    Defaults::setStandardForTesting(nullptr);
}

} // namespace
