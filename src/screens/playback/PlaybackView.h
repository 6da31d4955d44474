#pragma once

#include <QRect>
#include <QString>
#include <vector>

class QLabel;
class QSize;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;
class QTextEdit;
class QToolButton;
class QWidget;

namespace murmelo {

class MarkerListView;
class MarkerOverlay;
class SpectrogramPane;

// The playback screen's views: the waveform with its scrubber, the transport, the speed and the
// panels of the editing flows. Designed for the 320 x 568-point phone screen; on a larger window
// the waveform grows to the width and part of the height, the controls stay together in a
// centred column and the panels stretch along the bottom edge. Only layout lives here; what the
// views do is the screen's business.
struct PlaybackView {
    // Builds every view as a child of `root`, laid out for the smallest size.
    explicit PlaybackView(QWidget *root);

    // Places every view for a root of this size (never narrower than the phone's screen).
    void layout(const QSize &size);
    // Whether the window has room for the marker list beside the other views.
    bool markerListFits() const { return markerListFits_; }
    static constexpr int kMarkerListLeast = 50;
    // The playhead is hidden while it lies outside a zoomed view.
    void setScrubberHandleShown(bool shown);
    // The spectrogram pane under the waveform's times; the rows below move down to make room.
    void setSpectrogramShown(bool shown);
    bool spectrogramShown() const { return spectrogramShown_; }
    static constexpr int kSpectrogramLeast = 90;
    static constexpr int kSpectrogramMost = 300;

    static constexpr int kWidth = 320;
    static constexpr int kHeight = 568;
    // The least height in which every row still ends above the bottom panel, with the gaps
    // between the rows closed up. Shorter still (the window's title bar and the mail progress
    // strip may leave less), the panel stays whole on the bottom edge and covers the lowest row.
    static constexpr int kMinimumHeight = 500;
    // The waveform's picture in the smallest layout: the size a record keeps.
    static constexpr int kWaveformWidth = 225;
    static constexpr int kWaveformHeight = 54;
    static constexpr int kMaxWaveformHeight = 200;
    // The position and length labels under the waveform; the reversal's clock sits between.
    static constexpr int kTimeWidth = 56;
    // The speed slider counts hundredths of the playback rate.
    static constexpr int kSpeedScale = 100;

    QWidget *editView;
    QWidget *displayView;
    QLabel *editWaveformImageView;
    QLabel *displayWaveformImageView;
    QLabel *editTitleLabel;
    QLabel *displayTitleLabel;

    QSlider *scrubberSlider;
    // The position and the length count on the forward file's time line in both directions.
    QLabel *currentTimeLabel;
    QLabel *audioDurationLabel;
    // Reversed, the reversal's own clock runs between them, marked as such.
    QLabel *reversalClockLabel;
    // Drawn over the waveform, under the mouse's controls.
    MarkerOverlay *markerOverlay;
    // Pans a zoomed waveform; hidden while the whole audio is shown.
    QScrollBar *zoomScrollBar;
    MarkerListView *markerList;
    QToolButton *removeMarkerButton;
    // Where the list has no room of its own, this opens it over the bottom panel.
    QToolButton *markersButton;
    QLabel *messageLabel;
    QToolButton *editMessageButton;

    QToolButton *restartButton;
    QToolButton *playButton;
    QToolButton *repeatButton;
    QToolButton *ffRewindButton;
    // Shows and hides the spectrogram (S).
    QToolButton *spectrogramButton;
    SpectrogramPane *spectrogramPane;
    QLabel *speedTitleLabel;
    QSlider *speedSlider;
    QLabel *speedLabel;

    // The listening loop: how many times, how much silence between, and both ways in turn.
    QToolButton *loopCountButton;
    QToolButton *loopGapButton;
    QToolButton *pingPongButton;

    QWidget *findReversalView;
    QPushButton *saveButton;
    QWidget *editReversalView;
    QPushButton *editButton;
    QToolButton *cropButton;
    QPushButton *deleteButton;

    QWidget *saveReversalView;
    QLineEdit *titleTextField;
    QTextEdit *messageTextView;
    QPushButton *saveReversalButton;
    QPushButton *closeSaveReversalButton;

    QWidget *shareReversalView;
    QLineEdit *shareEmailTextField;
    QLineEdit *emailNameTextField;
    QTextEdit *shareMessageTextView;

    QWidget *saveCropView;
    QLabel *cropStartLabel;
    QLabel *cropEndLabel;
    QLabel *cropHintLabel;
    QLineEdit *croppedNameTextField;
    QPushButton *saveCropButton;
    QPushButton *closeSaveCropButton;

    QWidget *waitView;
    QLabel *waitLabel;
    QLabel *infoText;

private:
    void styleScrubber();

    int waveformHeight_ = kWaveformHeight;
    bool handleShown_ = true;
    bool markerListFits_ = true;
    bool spectrogramShown_ = false;
    struct Placement {
        QWidget *view;
        QRect smallest; // its frame in the smallest layout
    };
    // Views that keep their size and move with the centred column.
    std::vector<Placement> column_;
    // Children of the full-width panels and of the wait cover, centred in their parent.
    std::vector<Placement> panelContents_;
};

} // namespace murmelo
