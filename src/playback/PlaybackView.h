#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTextEdit;
class QToolButton;
class QWidget;

namespace murmelo {

// The playback screen's views, laid out on the 320 x 568-point screen: the waveform with its
// scrubber, the transport, the speed and the panels of the editing flows. Only layout lives
// here; what the views do is the screen's business.
struct PlaybackView {
    // Builds every view as a child of `root`.
    explicit PlaybackView(QWidget *root);

    static constexpr int kWidth = 320;
    static constexpr int kHeight = 568;
    // The speed slider counts hundredths of the playback rate.
    static constexpr int kSpeedScale = 100;

    QWidget *editView;
    QWidget *displayView;
    QLabel *editWaveformImageView;
    QLabel *displayWaveformImageView;
    QLabel *editTitleLabel;
    QLabel *displayTitleLabel;

    QSlider *scrubberSlider;
    QLabel *currentTimeLabel;
    QLabel *audioDurationLabel;
    QLabel *messageLabel;
    QToolButton *editMessageButton;

    QToolButton *restartButton;
    QToolButton *playButton;
    QToolButton *repeatButton;
    QToolButton *ffRewindButton;
    QSlider *speedSlider;
    QLabel *speedLabel;

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
    QLineEdit *croppedNameTextField;
    QPushButton *saveCropButton;
    QPushButton *closeSaveCropButton;

    QWidget *waitView;
    QLabel *waitLabel;
    QLabel *infoText;
};

} // namespace murmelo
