// The playback screen's keys, the speed's steps by key and wheel, and its text inputs.
#include "screens/playback/PlaybackViewController.h"

#include "library/Recording.h"
#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"
#include "screens/playback/SharePanel.h"
#include "toolkit/RangeSlider.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextEdit>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>

namespace murmelo {

namespace {
constexpr double kNudgeSeconds = 1.0;
constexpr float kSpeedStep = 0.1f;
// One press of + or -.
constexpr double kKeyZoom = 1.5;
} // namespace

void PlaybackViewController::stepSpeed(float step)
{
    // The label shows tenths: a step lands on the next tenth the label can show, so every step
    // changes what is shown by exactly one. Stored by the slider's own change handling.
    view_.speedSlider->setValue(SpeedSteps::stepFrom(view_.speedSlider->value(), step > 0 ? 1 : -1,
                                                     PlaybackView::kSpeedScale));
}

bool PlaybackViewController::speedWheel(QWheelEvent *event)
{
    // One notch is one step, so a fine wheel steps once per notch's worth of turning.
    const int notches = speedSteps_.addWheel(event->angleDelta());
    for (int i = 0; i < std::abs(notches); ++i)
        stepSpeed(notches > 0 ? kSpeedStep : -kSpeedStep);
    event->accept();
    return true;
}

void PlaybackViewController::keyPressEvent(QKeyEvent *event)
{
    if (!view_.waitView->isHidden()) {
        ViewController::keyPressEvent(event);
        return;
    }
    // While a marker's edge is held the list is the drag's: a key that changed it (undo, Delete,
    // a new marker) would be lost when the edge is let go.
    if (edgeDrag_)
        return;
    if (historyKey(event))
        return;
    // + is typed with Shift on many keyboards; = shares its key.
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        if (!(event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier))) {
            zoomWaveform(kKeyZoom, engine_.currentTime());
            return;
        }
        break;
    case Qt::Key_Minus:
        if (!(event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier))) {
            zoomWaveform(1 / kKeyZoom, engine_.currentTime());
            return;
        }
        break;
    default:
        break;
    }
    if (suggestionKey(event))
        return;
    // Nothing is played with while a job covers the screen.
    if (event->modifiers() & ~Qt::KeypadModifier) {
        ViewController::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        confirmPanel();
        break;
    case Qt::Key_Escape:
        // A marker's first end is let go before any panel.
        if (markerEditor_.pendingStart()) {
            markerEditor_.dropPendingStart();
            view_.markerOverlay->setPendingStart(std::nullopt);
        } else {
            cancelPanel();
        }
        break;
    case Qt::Key_M:
        markAtPlayhead();
        break;
    case Qt::Key_S:
        toggleSpectrogram();
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        removeMarker(view_.markerList->selectedMarker());
        break;
    case Qt::Key_F2:
        editMarker(view_.markerList->selectedMarker());
        break;
    case Qt::Key_0:
        zoomWaveform(0, 0);
        break;
    case Qt::Key_Space:
        pausePlay();
        break;
    case Qt::Key_R:
        ffRewind();
        break;
    case Qt::Key_L:
        loopCount();
        break;
    case Qt::Key_G:
        loopGap();
        break;
    case Qt::Key_P:
        pingPong();
        break;
    case Qt::Key_Home:
        restart();
        break;
    case Qt::Key_Left:
        engine_.seek(engine_.currentTime() - kNudgeSeconds);
        break;
    case Qt::Key_Right:
        engine_.seek(engine_.currentTime() + kNudgeSeconds);
        break;
    case Qt::Key_Up:
        stepSpeed(kSpeedStep);
        break;
    case Qt::Key_Down:
        stepSpeed(-kSpeedStep);
        break;
    default:
        ViewController::keyPressEvent(event);
    }
}

// Text inputs --------------------------------------------------------------------------------

void PlaybackViewController::confirmPanel()
{
    if (!view_.saveReversalView->isHidden())
        saveReversal();
    else if (!view_.shareReversalView->isHidden())
        sendReversal();
    else if (isCropMode() && view_.saveCropButton->isEnabled())
        saveCrop();
}

void PlaybackViewController::cancelPanel()
{
    if (!view_.infoText->isHidden())
        setInfoShown(false);
    else if (view_.markersButton->isChecked())
        toggleMarkerList();
    else if (!view_.saveReversalView->isHidden())
        closeSaveReversal();
    else if (!view_.shareReversalView->isHidden())
        closeShare();
    else if (isCropMode())
        closeSaveCrop();
    else
        engine_.clearStretch();
}

bool PlaybackViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view_.scrubberSlider)
        return waveformEvent(event) || ViewController::eventFilter(watched, event);
    if (watched == view_.speedSlider && event->type() == QEvent::Wheel)
        return speedWheel(static_cast<QWheelEvent *>(event));
    // Enter in the message confirms the panel like everywhere else; Shift+Enter breaks the line.
    if (event->type() == QEvent::KeyPress &&
        (watched == view_.messageTextView || watched == view_.shareMessageTextView)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & Qt::ShiftModifier)) {
            confirmPanel();
            return true;
        }
    }
    if (event->type() == QEvent::FocusIn)
        textInputDidBeginEditing(static_cast<QWidget *>(watched));
    else if (event->type() == QEvent::FocusOut)
        textInputDidEndEditing(static_cast<QWidget *>(watched));
    return ViewController::eventFilter(watched, event);
}

void PlaybackViewController::textInputDidBeginEditing(QWidget *input)
{
    const PlaybackView &v = view_;
    if ((input == v.titleTextField && recordName_.isEmpty()) ||
        (input == v.shareEmailTextField && sharing_.recipients().isEmpty()) ||
        (input == v.emailNameTextField && sharing_.senderName().isEmpty()))
        static_cast<QLineEdit *>(input)->clear();
    else if ((input == v.messageTextView || input == v.shareMessageTextView) && message_.isEmpty())
        static_cast<QTextEdit *>(input)->clear();
}

void PlaybackViewController::textInputDidEndEditing(QWidget *input)
{
    const PlaybackView &v = view_;
    if (auto *field = qobject_cast<QLineEdit *>(input)) {
        const QString typed = field->text();
        if (input == v.titleTextField)
            recordName_ = typed;
        else if (input == v.shareEmailTextField)
            sharing_.setRecipients(typed);
        else if (input == v.emailNameTextField)
            sharing_.setSenderName(typed);
        else
            return;
        if (typed.isEmpty())
            field->clear();
    } else if (auto *text = qobject_cast<QTextEdit *>(input)) {
        if (input != v.messageTextView && input != v.shareMessageTextView)
            return;
        // An untouched prompt is not a message.
        const QString typed = text->toPlainText();
        message_ = typed == messagePrompt() ? QString() : typed;
        if (recording())
            recording()->setMessage(message_);
        if (message_.isEmpty())
            text->clear();
    }
}

void PlaybackViewController::commitEditing()
{
    QWidget *focused = focusWidget();
    if (focused && isAncestorOf(focused))
        textInputDidEndEditing(focused);
}

} // namespace murmelo
