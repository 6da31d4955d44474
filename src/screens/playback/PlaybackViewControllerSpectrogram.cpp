// The spectrogram pane under the waveform: shown with S or its button, following the waveform's
// time line, markers and playhead, and moving the playback and the zoom as the waveform does.
#include "screens/playback/PlaybackViewController.h"

#include "screens/playback/SpectrogramPane.h"

#include <QToolButton>

namespace murmelo {

void PlaybackViewController::setUpSpectrogram()
{
    SpectrogramPane *pane = view_.spectrogramPane;
    // Tab reaches the button beside the direction before it, and the axis button under the
    // waveform after the scrubber, where they are laid out.
    QWidget::setTabOrder(view_.repeatButton, view_.spectrogramButton);
    QWidget::setTabOrder(view_.scrubberSlider, pane->scaleButton());
    connect(view_.spectrogramButton, &QToolButton::clicked, this,
            &PlaybackViewController::toggleSpectrogram);
    connect(pane, &SpectrogramPane::seekRequested, this,
            [this](double seconds) { engine_.seek(seconds); });
    connect(pane, &SpectrogramPane::zoomRequested, this, &PlaybackViewController::zoomWaveform);
    connect(pane, &SpectrogramPane::panRequested, this, &PlaybackViewController::panWaveform);
}

void PlaybackViewController::toggleSpectrogram()
{
    view_.setSpectrogramShown(!view_.spectrogramShown());
    relayout();
    if (view_.spectrogramShown()) {
        view_.spectrogramPane->setSource(audioPath());
        view_.spectrogramPane->setTimeline(timeline_);
        view_.spectrogramPane->setPlayhead(engine_.currentTime());
    }
}

} // namespace murmelo
