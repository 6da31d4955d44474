// `murmelo suggest`: the phrases found in a saved reversal, printed as a label file; and
// `murmelo words`: what was said forward under each marker, recognised once and kept.
#include "audio/PlayerAudio.h"
#include "audio/SpeechRecogniser.h"
#include "library/Library.h"
#include "library/MarkerWordsStore.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "support/TestSupport.h"
#include "support/TestWav.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

using Outcome = test::ProcessOutcome;

class SpeechCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder =
            test::scratchRoot() + QStringLiteral("/speech-") +
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        QDir().mkpath(folder + QStringLiteral("/data"));
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (folder + QStringLiteral("/data")).toLocal8Bit());
        ASSERT_TRUE(context.open());
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", savedDataHome); }

    static QString audioFile(const QByteArray &bytes)
    {
        const QString path = Library::temporaryAudioPath();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }
    // A saved recording whose reversal sounds a tone over each of these stretches of seconds.
    QString saveTones(const QList<std::pair<double, double>> &tones, double seconds)
    {
        constexpr int rate = 8000;
        std::vector<qint16> frames(size_t(seconds * rate));
        for (const auto &[from, to] : tones)
            for (auto i = size_t(from * rate); i < size_t(to * rate); ++i)
                frames[i] = qint16(8000 * std::sin(2 * M_PI * 440 * double(i) / rate));
        std::vector<qint16> forward(frames.rbegin(), frames.rend());
        auto recording = Recording::insertInManagedObjectContext(context);
        recording->setAudioPath(audioFile(test::monoWav(forward, rate)),
                                audioFile(test::monoWav(frames, rate)));
        EXPECT_TRUE(context.save());
        return QString::number(recording->rowID());
    }

    QString folder;
    QByteArray savedDataHome;
    StoreContext context;
};

TEST_F(SpeechCommand, SuggestPrintsThePhrasesOnEitherTimeLine)
{
    const QString id = saveTones({{1.0, 2.0}, {3.0, 4.5}}, 6.0);
    Outcome run = test::runMurmelo({QStringLiteral("suggest"), id});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString(); // the header comment and two labels
    EXPECT_TRUE(lines[0].startsWith(u'#'));
    const auto near = [](const QString &line, double from, double to) {
        const QStringList fields = line.split(u'\t');
        return fields.size() == 3 && std::abs(fields[0].toDouble() - from) < 0.05 &&
               std::abs(fields[1].toDouble() - to) < 0.05 && fields[2].isEmpty();
    };
    EXPECT_TRUE(near(lines[1], 1.0, 2.0)) << lines[1].toStdString();
    EXPECT_TRUE(near(lines[2], 3.0, 4.5)) << lines[2].toStdString();

    // On the forward audio the same stretches lie mirrored.
    run = test::runMurmelo({QStringLiteral("suggest"), id, QStringLiteral("--forward")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(near(lines[1], 1.5, 3.0) || near(lines[2], 1.5, 3.0)) << run.out.toStdString();

    EXPECT_EQ(test::runMurmelo({QStringLiteral("suggest"), QStringLiteral("999")}).exitCode, 1);
    EXPECT_EQ(test::runMurmelo({QStringLiteral("suggest")}).exitCode, 2);
}

TEST_F(SpeechCommand, WordsRecogniseTheForwardTwinOnceAndKeepThem)
{
    QString forward = Library::temporaryAudioPath();
    const QString reverse = Library::temporaryAudioPath();
    ASSERT_EQ(test::runShell(QStringLiteral("espeak-ng -w '%1.raw' 'the quick brown fox jumps "
                                            "over the lazy dog' && sox '%1.raw' '%1' pad 1 1 && "
                                            "sox '%1' '%2' reverse")
                                 .arg(forward, reverse)),
              0);
    auto recording = Recording::insertInManagedObjectContext(context);
    recording->setAudioPath(forward, reverse);
    ASSERT_TRUE(context.save());
    // The record has moved the files into the library.
    forward = recording->currentAudioPath();
    QString error;
    const auto audio = PlayerAudio::open(recording->reverseAudioPath(), error);
    ASSERT_TRUE(audio);
    // One marker over all the speech (the reversal's second to its last but one).
    const qint64 rate = audio->sampleRate();
    const FrameRange stretch{rate / 2, audio->frames() - rate / 2};
    const auto marker =
        PhraseMarkerStore(context).addMarker(recording->rowID(), {0, stretch, QStringLiteral("x")});
    ASSERT_TRUE(marker);

    const QString id = QString::number(recording->rowID());
    Outcome run = test::runMurmelo({QStringLiteral("words"), id});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("# marker %1, forward 0.500-").arg(marker->id)))
        << lines[0].toStdString();
    // The same words the recogniser hears in the forward audio under the marker, at their
    // times in the forward file.
    QString why;
    const auto recogniser = defaultSpeechRecogniserFactory()(why);
    ASSERT_TRUE(recogniser) << why.toStdString();
    const FrameRange twin = mirrored(stretch, audio->frames());
    const auto samples = speechSamples(forward, twin.start, twin.length(), error);
    const std::atomic<bool> cancel{false};
    const auto heard = recogniser->recognise(*samples, cancel, error);
    ASSERT_TRUE(heard);
    ASSERT_EQ(lines.size() - 1, heard->size()) << run.out.toStdString();
    for (qsizetype i = 0; i < heard->size(); ++i) {
        const QStringList fields = lines[i + 1].split(u'\t');
        ASSERT_EQ(fields.size(), 3);
        EXPECT_EQ(fields[2], heard->at(i).text);
        EXPECT_NEAR(fields[0].toDouble(), heard->at(i).start + 0.5, 0.002);
    }
    EXPECT_EQ(MarkerWordsStore(context).words(recording->rowID()).value(marker->id).size(),
              heard->size());

    // Kept: without the model, the stored words are still printed.
    qputenv("MURMELO_SPEECH_MODEL", (folder + QStringLiteral("/none")).toLocal8Bit());
    run = test::runMurmelo({QStringLiteral("words"), id, QString::number(marker->id)});
    qunsetenv("MURMELO_SPEECH_MODEL");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts), lines);
    EXPECT_EQ(test::runMurmelo({QStringLiteral("words"), id, QStringLiteral("99999")}).exitCode, 1);
    EXPECT_EQ(test::runMurmelo({QStringLiteral("words"), id, QStringLiteral("x")}).exitCode, 2);
}

} // namespace
} // namespace murmelo
