// Pictures of the screen for the documentation: scripts/screenshots.sh keeps them in
// docs/screenshots; otherwise they go to the scratch folder.
#include "PlaybackFixture.h"

#include "audio/WaveformImage.h"
#include "library/Library.h"
#include "library/PhraseMarkerStore.h"
#include "playback/WaveformTimeline.h"
#include "screens/playback/SharePanel.h"
#include "screens/playback/SlidePanel.h"
#include "screens/playback/SpectrogramPane.h"
#include "toolkit/RangeSlider.h"

#include <QLabel>
#include <QPropertyAnimation>
#include <QSlider>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class Screenshots : public PlaybackFixture {
protected:
    // Spoken words and their reversal, as the record screen would hand them over.
    std::shared_ptr<Recording> spokenRecording()
    {
        const QString forward = Library::temporaryAudioPath();
        const QString reverse = Library::temporaryAudioPath();
        EXPECT_EQ(runShell(QStringLiteral("espeak-ng -s 130 -w '%1' 'Listen closely, "
                                          "the message is hidden in the words you say' && "
                                          "sox '%1' '%2' reverse")
                               .arg(forward, reverse)),
                  0);
        auto recording = Recording::insertInManagedObjectContext(*store);
        recording->setName(QStringLiteral("Backwards Hello"));
        recording->setMessage(QStringLiteral("I hear the sea"));
        recording->setWaveformImage(waveformImage(forward, QSizeF(225, 54), 4));
        recording->setAudioPath(forward, reverse);
        EXPECT_TRUE(store->save());
        return recording;
    }

    void shoot(const QString &name) { EXPECT_FALSE(saveScreenshot(screen.get(), name).isEmpty()); }

    // The spoken recording with three phrases heard in the reversal, on its own time line; the
    // reversal's length in `seconds`.
    std::shared_ptr<Recording> markedRecording(double &seconds)
    {
        auto recording = spokenRecording();
        QString error;
        const auto reversal =
            Player::open(recording->reverseAudioPath(), error, std::make_unique<NullAudioOutput>());
        EXPECT_TRUE(reversal) << error.toStdString();
        const ReversalFrames frames{reversal->frameCount(), reversal->sampleRate()};
        seconds = double(frames.frames) / frames.sampleRate;
        PhraseMarkerStore markers(*store);
        const auto mark = [&](double from, double to, const QString &text) {
            const qint64 a = framesFromSeconds(seconds * from, frames.sampleRate);
            const qint64 b = framesFromSeconds(seconds * to, frames.sampleRate);
            EXPECT_TRUE(markers.addMarker(recording->rowID(), {0, {a, b}, text}));
        };
        mark(0.08, 0.22, QStringLiteral("I hear the sea"));
        mark(0.40, 0.55, QStringLiteral("send it home"));
        mark(0.70, 0.86, QStringLiteral("a little sun"));
        return recording;
    }
};

TEST_F(Screenshots, PlaybackScreens)
{
    openRecording(spokenRecording());
    screen->view().scrubberSlider->setValue(int(screen->engine().duration() * 380));
    shoot(QStringLiteral("playback"));

    screen->crop();
    screen->rangeSlider()->setMin(0.2f);
    screen->rangeSlider()->setMax(0.7f);
    screen->cropRangeUpdated();
    shoot(QStringLiteral("playback-crop"));
    screen->crop();

    // The same at a desk window's size, once the waveform is drawn for its width.
    screen->resize(1024, 768);
    const QLabel *waveform = screen->view().editWaveformImageView;
    ASSERT_TRUE(waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
    shoot(QStringLiteral("playback-wide"));
    screen->crop();
    shoot(QStringLiteral("playback-crop-wide"));
    screen->crop();
    screen->resize(PlaybackView::kWidth, PlaybackView::kHeight);
    drainEvents();

    screen->save();
    screen->saveReversalSlide().animation()->setCurrentTime(SlidePanel::kMilliseconds);
    shoot(QStringLiteral("playback-save-panel"));
}

TEST_F(Screenshots, PlaybackWithMarkers)
{
    double seconds = 0;
    auto recording = markedRecording(seconds);
    openRecording(recording);
    screen->resize(1024, 768);
    const QLabel *waveform = screen->view().editWaveformImageView;
    ASSERT_TRUE(waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
    screen->ffRewind();
    screen->engine().seek(seconds * 0.5);
    drainEvents();
    ASSERT_TRUE(waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
    shoot(QStringLiteral("playback-markers-wide"));
    // A phrase being written down, on the phone's screen.
    screen->resize(PlaybackView::kWidth, PlaybackView::kHeight);
    drainEvents();
    screen->beginMarker(seconds * 0.3, seconds * 0.36);
    drainEvents();
    shoot(QStringLiteral("playback-marker-typing"));
}

TEST_F(Screenshots, SharePanel)
{
    openRecording(spokenRecording());
    screen->share();
    if (QPropertyAnimation *slide = screen->sharePanel().slide->animation())
        slide->setCurrentTime(slide->duration());
    shoot(QStringLiteral("share-panel"));
    screen->resize(1024, 768);
    drainEvents();
    shoot(QStringLiteral("share-panel-wide"));
}

// The spectrogram under the speech with its markers, forward; reversed; and in a wide window.
TEST_F(Screenshots, PlaybackWithSpectrogram)
{
    double seconds = 0;
    openRecording(markedRecording(seconds));
    screen->resize(1280, 800);
    screen->toggleSpectrogram();
    SpectrogramPane *pane = screen->view().spectrogramPane;
    const auto settled = [&] { return waitUntil([&] { return pane->tiles().pending() == 0; }); };
    screen->engine().seek(seconds * 0.45);
    ASSERT_TRUE(settled());
    drainEvents();
    shoot(QStringLiteral("playback-spectrogram"));
    screen->ffRewind();
    ASSERT_TRUE(settled());
    drainEvents();
    shoot(QStringLiteral("playback-spectrogram-reversed"));
    screen->resize(1920, 1080);
    ASSERT_TRUE(settled());
    drainEvents();
    shoot(QStringLiteral("playback-spectrogram-wide"));
}

} // namespace
