// The forward words on the playback screen: each marker's forward twin (never the reversal) is
// recognised once, in the background, kept with the marker and shown under its heard text;
// without a recogniser the screen says so once and works on.
#include "PlaybackFixture.h"

#include "audio/WavFile.h"
#include "library/Library.h"
#include "library/MarkerWordsStore.h"
#include "library/PhraseMarkerStore.h"
#include "playback/ForwardWords.h"
#include "playback/PhraseSegmenter.h"
#include "screens/playback/ForwardWordsDelegate.h"
#include "screens/playback/MarkerListView.h"

#include <QLabel>
#include <QTreeWidgetItem>
#include <chrono>
#include <thread>

using namespace murmelo;
using namespace murmelo::test;

namespace {

// Hears the same two words in anything, and keeps what it was given.
class StandInRecogniser : public SpeechRecogniser {
public:
    explicit StandInRecogniser(std::shared_ptr<std::vector<std::vector<qint16>>> heard)
        : heard_(std::move(heard))
    {
    }
    std::optional<QList<SpokenWord>> recognise(const std::vector<qint16> &samples,
                                               const std::atomic<bool> &, QString &) override
    {
        heard_->push_back(samples);
        return QList<SpokenWord>{{QStringLiteral("hello"), 0.25, 0.5},
                                 {QStringLiteral("world"), 0.5, 1.0}};
    }

private:
    std::shared_ptr<std::vector<std::vector<qint16>>> heard_;
};

// Hears nothing until let go, then "hello", or fails when told to.
class HeldRecogniser : public SpeechRecogniser {
public:
    struct Hold {
        std::atomic<bool> released{false};
        std::atomic<int> asked{0};
        bool fails = false;
    };
    explicit HeldRecogniser(std::shared_ptr<Hold> hold) : hold_(std::move(hold)) {}
    std::optional<QList<SpokenWord>>
    recognise(const std::vector<qint16> &, const std::atomic<bool> &cancel, QString &error) override
    {
        ++hold_->asked;
        while (!hold_->released && !cancel)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (hold_->fails) {
            error = QStringLiteral("the stand-in failed");
            return std::nullopt;
        }
        return QList<SpokenWord>{{QStringLiteral("hello"), 0.25, 0.5}};
    }

private:
    std::shared_ptr<Hold> hold_;
};

class ForwardWordsScreen : public PlaybackFixture {
protected:
    void SetUp() override
    {
        PlaybackFixture::SetUp();
        ForwardWords::setEnabled(true);
    }
    void openWithMarkers()
    {
        song = makeRecording(QStringLiteral("Song"));
        // Reversal frames: the first marker lies over forward seconds 8 to 9.
        PhraseMarkerStore(*store).replaceMarkers(song->rowID(),
                                                 {{0, {8000, 16000}, QStringLiteral("one")},
                                                  {0, {40000, 48000}, QStringLiteral("two")}});
        openSong();
    }
    void openSong()
    {
        screen->setSpeechRecogniserFactory(
            [heard = heard](QString &) { return std::make_unique<StandInRecogniser>(heard); });
        openRecording(song);
        screen->resize(1024, 768);
        drainEvents();
    }
    QString shownWords(int row)
    {
        const QTreeWidgetItem *item = screen->view().markerList->topLevelItem(row);
        return item ? item->data(MarkerListView::TextColumn, ForwardWordsDelegate::kWordsRole)
                          .toString()
                    : QString();
    }

    std::shared_ptr<std::vector<std::vector<qint16>>> heard =
        std::make_shared<std::vector<std::vector<qint16>>>();
    std::shared_ptr<Recording> song;
};

} // namespace

TEST_F(ForwardWordsScreen, TheForwardTwinIsRecognisedOnceKeptAndShownUnderTheText)
{
    openWithMarkers();
    ASSERT_TRUE(waitUntil(
        [&] { return shownWords(0) == "hello world" && shownWords(1) == "hello world"; }));
    ASSERT_EQ(heard->size(), 2u);
    // What was heard is the forward file under the marker, not the reversal.
    QString error;
    const auto twin = speechSamples(song->currentAudioPath(), kRate * 10 - 16000, 8000, error);
    ASSERT_TRUE(twin) << error.toStdString();
    EXPECT_TRUE(heard->at(0) == *twin || heard->at(1) == *twin);
    const auto reversal = speechSamples(song->reverseAudioPath(), 8000, 8000, error);
    EXPECT_FALSE(heard->at(0) == *reversal || heard->at(1) == *reversal);
    // Hovering shows each word's forward time.
    const QString tip =
        screen->view().markerList->topLevelItem(0)->toolTip(MarkerListView::TextColumn);
    EXPECT_TRUE(tip.contains(QLatin1String("hello"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QLatin1String("0:0"))) << tip.toStdString();

    // Kept with the markers, in forward seconds of the file: opened again, nothing is
    // recognised anew.
    const auto stored = MarkerWordsStore(*store).words(song->rowID());
    ASSERT_EQ(stored.size(), 2);
    const auto markers = PhraseMarkerStore(*store).markers(song->rowID());
    EXPECT_NEAR(stored.value(markers[0].id).at(0).start, 8.25, 1e-3);
    screen = makeScreen();
    heard->clear();
    openSong();
    EXPECT_TRUE(waitUntil([&] { return shownWords(0) == "hello world"; }));
    drainEvents();
    EXPECT_TRUE(heard->empty());
}

TEST_F(ForwardWordsScreen, ARowSaysItsWordsAreOnTheirWayUntilTheyComeOrFail)
{
    const QString onTheirWay = QStringLiteral("recognising the forward words…");
    for (const bool fails : {false, true}) {
        song = makeRecording(QStringLiteral("Song"));
        PhraseMarkerStore(*store).replaceMarkers(song->rowID(), {{0, {8000, 16000}, "one"}});
        auto hold = std::make_shared<HeldRecogniser::Hold>();
        hold->fails = fails;
        screen = makeScreen();
        screen->setSpeechRecogniserFactory(
            [hold](QString &) { return std::make_unique<HeldRecogniser>(hold); });
        openRecording(song);
        drainEvents();
        EXPECT_EQ(shownWords(0), onTheirWay);
        hold->released = true;
        const QString expected = fails ? QString() : QStringLiteral("hello");
        EXPECT_TRUE(waitUntil([&] { return shownWords(0) == expected; }))
            << shownWords(0).toStdString();
        // A failure is not asked again at every redraw of the list.
        screen->view().markerList->setFocus();
        drainEvents();
        SerialQueue::waitForAllQueues();
        EXPECT_EQ(hold->asked, 1);
    }
}

TEST_F(ForwardWordsScreen, WithoutARecogniserItIsSaidOnceAndSwitchedOffNothingRuns)
{
    song = makeRecording(QStringLiteral("Song"));
    PhraseMarkerStore(*store).replaceMarkers(song->rowID(), {{0, {8000, 16000}, "one"}});
    screen->setSpeechRecogniserFactory([](QString &why) -> std::unique_ptr<SpeechRecogniser> {
        why = QStringLiteral("No model here.");
        return nullptr;
    });
    openRecording(song);
    ASSERT_TRUE(waitUntil([&] { return alerts.alerts().size() == 1; }));
    EXPECT_TRUE(alerts.alerts().front().message.contains(QLatin1String("No model here.")));
    EXPECT_EQ(screen->view().markerList->topLevelItem(0)->text(MarkerListView::TextColumn), "one");
    // A second marker does not bring the alert back.
    screen->beginMarker(2.0, 3.0);
    drainEvents();
    screen->forwardWords().cancel();
    EXPECT_EQ(alerts.alerts().size(), 1);

    // Switched off in the settings, markers are left alone.
    ForwardWords::setEnabled(false);
    screen = makeScreen();
    openWithMarkers();
    drainEvents();
    SerialQueue::waitForAllQueues();
    drainEvents();
    EXPECT_TRUE(heard->empty());
    EXPECT_TRUE(shownWords(0).isEmpty());
    ForwardWords::setEnabled(true);
}

TEST_F(ForwardWordsScreen, ScreenshotOfMarkersWithTheirForwardWords)
{
    // Two spoken sentences, a marker over each, heard by the real recogniser.
    const QString forward = Library::temporaryAudioPath();
    const QString reverse = Library::temporaryAudioPath();
    const QString dir = scratchRoot();
    ASSERT_EQ(runShell(QStringLiteral("espeak-ng -s 140 -w '%1/a.wav' 'the quick brown fox' && "
                                      "espeak-ng -s 140 -w '%1/b.wav' 'jumps over the lazy dog' && "
                                      "sox '%1/a.wav' '%1/b.wav' -r 44100 '%2' pad 0.3 0.3 && "
                                      "sox '%2' '%3' reverse")
                           .arg(dir, forward, reverse)),
              0);
    song = Recording::insertInManagedObjectContext(*store);
    song->setName(QStringLiteral("Forward Words"));
    song->setAudioPath(forward, reverse);
    ASSERT_TRUE(store->save());
    QString error;
    // Each sentence's stretch on the reversal, from the pauses the segmenter finds there (the
    // record has moved the files into the library).
    const auto phrases = suggestPhrases(song->reverseAudioPath(), std::nullopt, {}, error);
    ASSERT_TRUE(phrases && phrases->size() == 2) << error.toStdString();
    PhraseMarkerStore(*store).replaceMarkers(
        song->rowID(), {{0, phrases->at(0), QStringLiteral("god yzal")},
                        {0, phrases->at(1), QStringLiteral("a brown quick")}});
    openRecording(song);
    screen->resize(1024, 768);
    drainEvents();
    screen->ffRewind();
    ASSERT_TRUE(waitUntil([&] { return !shownWords(0).isEmpty() && !shownWords(1).isEmpty(); },
                          std::chrono::seconds(20)));
    const QLabel *waveform = screen->view().editWaveformImageView;
    ASSERT_TRUE(waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
    EXPECT_FALSE(saveScreenshot(screen.get(), QStringLiteral("playback-forward-words")).isEmpty());
}
