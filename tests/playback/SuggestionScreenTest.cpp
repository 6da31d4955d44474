// Suggested phrases on the playback screen, driven through the window: Shift+M and the button
// find them, a click or Enter takes one as a marker, Delete dismisses one, and nothing is
// stored until a marker is kept.
#include "PlaybackFixture.h"

#include "audio/WavFile.h"
#include "library/Library.h"
#include "library/PhraseMarkerStore.h"
#include "playback/PhraseSuggestions.h"
#include "screens/playback/MarkerOverlay.h"
#include "screens/playback/SuggestionOverlay.h"

#include <QFile>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <cmath>

using namespace murmelo;
using namespace murmelo::test;

namespace {

constexpr double kSeconds = 10.0;
constexpr int kToneRate = 8000; // the fixture's rate
// Where the reversal sounds, in its own seconds.
const QList<std::pair<double, double>> kTones{{1.0, 2.5}, {4.0, 5.0}, {7.0, 8.5}};

void writeTones(const QString &path, bool reversed)
{
    std::vector<qint16> frames(size_t(kSeconds * kToneRate));
    for (const auto &[from, to] : kTones)
        for (auto i = size_t(from * kToneRate); i < size_t(to * kToneRate); ++i)
            frames[i] = qint16(9000 * std::sin(2 * M_PI * 440 * double(i) / kToneRate));
    if (reversed)
        std::reverse(frames.begin(), frames.end());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const auto bytes = qint64(frames.size() * 2);
    file.write(WavFile::header(WavFile::pcmFmtChunk(1, kToneRate, 16), bytes));
    file.write(reinterpret_cast<const char *>(frames.data()), bytes);
}

class Suggestions : public PlaybackFixture {
protected:
    void openTones()
    {
        const QString forward = Library::temporaryAudioPath();
        const QString reverse = Library::temporaryAudioPath();
        writeTones(forward, true);
        writeTones(reverse, false);
        song = Recording::insertInManagedObjectContext(*store);
        song->setName(QStringLiteral("Tones"));
        song->setAudioPath(forward, reverse);
        ASSERT_TRUE(store->save());
        openRecording(song);
        showAtDeskSize();
    }
    void click(const QWidget *widget, const QPointF &point)
    {
        QTest::mouseClick(window(), Qt::LeftButton, {},
                          widget->mapTo(screen.get(), point.toPoint()));
        drainEvents();
    }
    int shown() { return int(screen->suggestionOverlay()->stretches().size()); }
    bool found(int count)
    {
        return waitUntil(
            [&] { return !screen->phraseSuggestions().isRunning() && shown() == count; });
    }
    QList<PhraseMarker> stored()
    {
        StoreContext reader;
        EXPECT_TRUE(reader.open(storePath));
        return PhraseMarkerStore(reader).markers(song->rowID());
    }
    // Where a tone lies on the reversal's frames.
    static FrameRange tone(int i)
    {
        return {qint64(kTones[i].first * kRate), qint64(kTones[i].second * kRate)};
    }

    std::shared_ptr<Recording> song;
};

bool near(FrameRange a, FrameRange b)
{
    constexpr qint64 slack = kToneRate / 20; // 50 ms
    return std::abs(a.start - b.start) <= slack && std::abs(a.end - b.end) <= slack;
}

} // namespace

TEST_F(Suggestions, AcceptedByClickOrEnterDismissedByDeleteAndStoredOnlyWhenKept)
{
    openTones();
    key(Qt::Key_M, Qt::ShiftModifier);
    ASSERT_TRUE(found(3));
    EXPECT_TRUE(stored().isEmpty()) << "suggestions are not markers";
    EXPECT_TRUE(screen->markers().isEmpty());

    // A click on the middle suggestion makes it a marker with its text open.
    const SuggestionOverlay *overlay = screen->suggestionOverlay();
    const QPointF middle = overlay->rectOf(overlay->stretches()[1]).center();
    click(overlay, middle);
    ASSERT_EQ(screen->markers().size(), 1);
    EXPECT_TRUE(near(screen->markers()[0].frames, tone(1)));
    EXPECT_EQ(shown(), 2);
    for (const char c : {'h', 'e', 'a', 'r', 'd'})
        QTest::keyClick(window(), c);
    key(Qt::Key_Return);
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored()[0].text, QStringLiteral("heard"));
    EXPECT_DOUBLE_EQ(screen->engine().currentTime(), 0) << "taking a suggestion is not seeking";

    // The keyboard went on to the next one to the right: Delete dismisses it and leaves the
    // marker alone.
    const auto focused = std::find_if(overlay->stretches().begin(), overlay->stretches().end(),
                                      [](const auto &stretch) { return stretch.focused; });
    ASSERT_NE(focused, overlay->stretches().end());
    EXPECT_GT(overlay->rectOf(*focused).left(), middle.x());
    key(Qt::Key_Delete);
    EXPECT_EQ(shown(), 1);
    EXPECT_EQ(stored().size(), 1);
    // Enter takes the last one; Escape drops the new marker as it does any.
    key(Qt::Key_Return);
    EXPECT_EQ(shown(), 0);
    ASSERT_EQ(screen->markers().size(), 2);
    key(Qt::Key_Escape);
    EXPECT_EQ(screen->markers().size(), 1);
    EXPECT_EQ(stored().size(), 1);

    // The button looks again; what is marked already is not suggested twice.
    click(screen->suggestButton(), screen->suggestButton()->rect().center());
    ASSERT_TRUE(found(2));
    for (const auto &stretch : overlay->stretches())
        EXPECT_FALSE(
            near(screen->reversalFrames().fromForwardSeconds(stretch.from, stretch.to), tone(1)));
}

TEST_F(Suggestions, AZoomedViewIsSearchedAloneAndAnotherReversalDropsThem)
{
    openTones();
    // Forward seconds 5 to 10 are the reversal's 0 to 5: the first two tones.
    screen->zoomWaveform(2, 10.0);
    ASSERT_NEAR(screen->timeline().visibleStart(), 5.0, 1e-6);
    key(Qt::Key_M, Qt::ShiftModifier);
    ASSERT_TRUE(found(2));
    const QList<FrameRange> &held = screen->phraseSuggestions().suggestions();
    EXPECT_TRUE(near(held[0], tone(0)));
    EXPECT_TRUE(near(held[1], tone(1)));

    openTones();
    EXPECT_EQ(shown(), 0);
}

TEST_F(Suggestions, ScreenshotOfSuggestedPhrases)
{
    // Three spoken sentences with pauses between them, reversed as the record screen would.
    const QString forward = Library::temporaryAudioPath();
    const QString reverse = Library::temporaryAudioPath();
    const QString dir = scratchRoot();
    ASSERT_EQ(
        runShell(QStringLiteral("espeak-ng -s 140 -w '%1/a.wav' 'listen closely to what i say' && "
                                "espeak-ng -s 140 -w '%1/b.wav' 'the message is hidden' && "
                                "espeak-ng -s 140 -w '%1/c.wav' 'in the words you hear' && "
                                "sox '%1/a.wav' '%1/b.wav' '%1/c.wav' '%2' pad 0.4 0.4 && "
                                "sox '%2' '%3' reverse")
                     .arg(dir, forward, reverse)),
        0);
    song = Recording::insertInManagedObjectContext(*store);
    song->setName(QStringLiteral("Three Sentences"));
    song->setAudioPath(forward, reverse);
    ASSERT_TRUE(store->save());
    openRecording(song);
    screen->resize(1024, 768);
    drainEvents();
    screen->ffRewind();
    screen->suggestPhrases();
    ASSERT_TRUE(waitUntil([&] { return !screen->phraseSuggestions().isRunning() && shown() > 1; }));
    const QLabel *waveform = screen->view().editWaveformImageView;
    ASSERT_TRUE(waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
    EXPECT_FALSE(saveScreenshot(screen.get(), QStringLiteral("playback-suggestions")).isEmpty());
}
