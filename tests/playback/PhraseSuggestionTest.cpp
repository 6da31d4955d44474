// Suggested phrases: speech with known pauses is split at its pauses and nowhere else, and
// music over a steady floor is not split at all.
#include "audio/PlayerAudio.h"
#include "playback/PhraseSegmenter.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

constexpr int kRate = 22050;
// How far a suggested edge may lie from where the speech really starts or stops.
constexpr double kTolerance = 0.060;

struct Spoken {
    QString path;
    QList<std::pair<double, double>> sentences; // seconds where each one sounds
};

double secondsOf(const QString &path)
{
    QString error;
    const auto audio = PlayerAudio::open(path, error);
    return audio ? double(audio->frames()) / audio->sampleRate() : 0;
}

// espeak-ng speaks each sentence; its own silence at either end is cut off, so the file's
// length is where the speech is, and the sentences are joined with the given pauses.
Spoken speak(const QStringList &sentences, const QList<double> &pauses, const QString &name,
             const QString &noise = {})
{
    Spoken spoken;
    const QString dir = scratchRoot();
    QStringList parts;
    double at = 0.5;
    const QString lead = dir + QStringLiteral("/%1-lead.wav").arg(name);
    EXPECT_EQ(
        runShell(QStringLiteral("sox -n -r %1 -b 16 -c 1 '%2' trim 0 0.5").arg(kRate).arg(lead)),
        0);
    parts << lead;
    for (int i = 0; i < sentences.size(); ++i) {
        const QString raw = dir + QStringLiteral("/%1-%2-raw.wav").arg(name).arg(i);
        const QString cut = dir + QStringLiteral("/%1-%2.wav").arg(name).arg(i);
        EXPECT_EQ(runShell(QStringLiteral("espeak-ng -w '%1' '%2'").arg(raw, sentences[i])), 0);
        EXPECT_EQ(runShell(QStringLiteral("sox '%1' -r %2 '%3' silence 1 0.005 -55d reverse "
                                          "silence 1 0.005 -55d reverse")
                               .arg(raw)
                               .arg(kRate)
                               .arg(cut)),
                  0);
        const double length = secondsOf(cut);
        spoken.sentences << std::pair{at, at + length};
        parts << cut;
        at += length;
        const double pause = i < pauses.size() ? pauses[i] : 0.5;
        const QString gap = dir + QStringLiteral("/%1-%2-gap.wav").arg(name).arg(i);
        EXPECT_EQ(runShell(QStringLiteral("sox -n -r %1 -b 16 -c 1 '%2' trim 0 %3")
                               .arg(kRate)
                               .arg(gap)
                               .arg(pause)),
                  0);
        parts << gap;
        at += pause;
    }
    const QString joined = dir + QStringLiteral("/%1-joined.wav").arg(name);
    EXPECT_EQ(
        runShell(QStringLiteral("sox '%1' '%2'").arg(parts.join(QStringLiteral("' '")), joined)),
        0);
    spoken.path = joined;
    if (!noise.isEmpty()) {
        // The same speech over a steady hiss mixed in underneath.
        spoken.path = dir + QStringLiteral("/%1-noisy.wav").arg(name);
        EXPECT_EQ(runShell(QStringLiteral("sox -n -r %1 -b 16 -c 1 '%2-floor.wav' synth %3 %4")
                               .arg(kRate)
                               .arg(spoken.path)
                               .arg(at)
                               .arg(noise)),
                  0);
        EXPECT_EQ(
            runShell(QStringLiteral("sox -m '%1' '%2-floor.wav' '%2'").arg(joined, spoken.path)),
            0);
    }
    return spoken;
}

QList<std::pair<double, double>> suggested(const QString &path)
{
    QString error;
    const auto phrases = suggestPhrases(path, std::nullopt, {}, error);
    EXPECT_TRUE(phrases) << error.toStdString();
    QString why;
    const auto audio = PlayerAudio::open(path, why);
    QList<std::pair<double, double>> seconds;
    for (const FrameRange &p : phrases.value_or(QList<FrameRange>{}))
        seconds << std::pair{double(p.start) / audio->sampleRate(),
                             double(p.end) / audio->sampleRate()};
    return seconds;
}

std::string describe(const QList<std::pair<double, double>> &stretches)
{
    std::string text;
    for (const auto &[from, to] : stretches)
        text += QStringLiteral(" [%1, %2]").arg(from, 0, 'f', 3).arg(to, 0, 'f', 3).toStdString();
    return text;
}

const QStringList kSentences{
    QStringLiteral("the quick brown fox jumps over the lazy dog"),
    QStringLiteral("she sells sea shells by the sea shore"),
    QStringLiteral("please call stella and ask her to bring these things"),
    QStringLiteral("we also need a small plastic snake and a big toy frog"),
    QStringLiteral("six spoons of fresh snow peas")};
const QList<double> kPauses{0.4, 0.7, 1.0, 0.5, 0.6};

} // namespace

TEST(PhraseSegmenter, SplitsSpeechAtEveryPauseAndNowhereElse)
{
    for (const QString &noise : {QString(), QStringLiteral("brownnoise vol 0.03")}) {
        const Spoken spoken =
            speak(kSentences, kPauses, noise.isEmpty() ? "clean" : "noisy", noise);
        const auto phrases = suggested(spoken.path);
        SCOPED_TRACE("heard" + describe(spoken.sentences) + "\nsuggested" + describe(phrases));
        // One phrase per sentence: no pause missed, no sentence cut inside a word.
        ASSERT_EQ(phrases.size(), spoken.sentences.size());
        for (int i = 0; i < phrases.size(); ++i) {
            EXPECT_NEAR(phrases[i].first, spoken.sentences[i].first, kTolerance) << i;
            EXPECT_NEAR(phrases[i].second, spoken.sentences[i].second, kTolerance) << i;
        }
    }
}

TEST(PhraseSegmenter, MusicOverASteadyFloorIsOneStretch)
{
    // Two seconds of the floor alone, ten of a melody that never stops, two of the floor.
    QStringList notes;
    for (const int hz : {262, 294, 330, 349, 392, 440, 494, 523, 494, 440,
                         392, 349, 330, 294, 262, 330, 392, 523, 392, 262})
        notes << QStringLiteral("synth 0.5 sawtooth %1 vol 0.3").arg(hz);
    const QString dir = scratchRoot();
    ASSERT_EQ(
        runShell(QStringLiteral("sox -n -r %1 -b 16 -c 1 '%2/melody.wav' %3 && "
                                "sox '%2/melody.wav' '%2/song.wav' tremolo 5 60 pad 2 2 && "
                                "sox -n -r %1 -b 16 -c 1 '%2/floor.wav' synth 14 pinknoise "
                                "vol 0.03 && sox -m '%2/song.wav' '%2/floor.wav' '%2/music.wav'")
                     .arg(kRate)
                     .arg(dir, notes.join(QStringLiteral(" : ")))),
        0);
    const auto phrases = suggested(dir + QStringLiteral("/music.wav"));
    SCOPED_TRACE("suggested" + describe(phrases));
    ASSERT_EQ(phrases.size(), 1);
    EXPECT_NEAR(phrases[0].first, 2.0, kTolerance);
    EXPECT_NEAR(phrases[0].second, 12.0, kTolerance);
}

TEST(PhraseSegmenter, AVisibleRangeIsCountedOnTheFileAndBadFilesAreTold)
{
    const Spoken spoken = speak(kSentences.mid(0, 3), kPauses, QStringLiteral("range"));
    QString error;
    QString why;
    const auto audio = PlayerAudio::open(spoken.path, why);
    const int rate = audio->sampleRate();
    // Only the second sentence lies wholly inside; the first is cut by the range's start.
    const FrameRange range{qint64((spoken.sentences[0].first + 1.0) * rate),
                           qint64((spoken.sentences[1].second + 0.3) * rate)};
    const auto phrases = suggestPhrases(spoken.path, range, {}, error);
    ASSERT_TRUE(phrases);
    ASSERT_EQ(phrases->size(), 2);
    EXPECT_GE(phrases->at(0).start, range.start);
    EXPECT_NEAR(double(phrases->at(1).start) / rate, spoken.sentences[1].first, kTolerance);
    EXPECT_LE(phrases->at(1).end, range.end);

    // Stopping from the progress call gives nothing and no complaint.
    int calls = 0;
    EXPECT_FALSE(suggestPhrases(
        spoken.path, std::nullopt, [&](double) { return ++calls < 1; }, error));
    EXPECT_TRUE(error.isEmpty());
    const QString text = scratchRoot() + QStringLiteral("/not-audio.wav");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a wave");
    file.close();
    EXPECT_FALSE(suggestPhrases(text, std::nullopt, {}, error));
    EXPECT_FALSE(error.isEmpty());
}
