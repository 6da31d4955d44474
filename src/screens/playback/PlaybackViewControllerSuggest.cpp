// Suggested phrases on the playback screen: found in the reversal off the main thread, drawn
// dashed over the waveform, and each either taken as a new marker or dismissed.
#include "screens/playback/PlaybackViewController.h"

#include "platform/AlertPresenter.h"
#include "playback/PhraseSuggestions.h"
#include "screens/playback/MarkerOverlay.h"
#include "screens/playback/SuggestionOverlay.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

namespace murmelo {

namespace {
// Keeps a button just under another one, shown while that one is.
class KeepBelow : public QObject {
public:
    KeepBelow(QWidget *anchor, QWidget *follower) : QObject(follower), follower_(follower)
    {
        anchor->installEventFilter(this);
        place(anchor);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
            place(static_cast<QWidget *>(watched));
            break;
        default:
            break;
        }
        return false;
    }

private:
    void place(QWidget *anchor)
    {
        follower_->setGeometry(anchor->geometry().translated(0, anchor->height() + 6));
        follower_->setHidden(anchor->isHidden());
        follower_->raise();
    }

    QWidget *follower_;
};

// How long "No phrases found" stays in the corner of the waveform.
constexpr int kNoteMilliseconds = 3000;
} // namespace

void PlaybackViewController::setUpSuggestions()
{
    suggestions_ = new PhraseSuggestions(this);
    suggestionOverlay_ = new SuggestionOverlay(view_.markerOverlay);
    suggestButton_ = new QToolButton(view_.removeMarkerButton->parentWidget());
    suggestButton_->setObjectName(QStringLiteral("transport"));
    suggestButton_->setIcon(SuggestionOverlay::icon());
    suggestButton_->setIconSize(QSize(18, 18));
    suggestButton_->setToolTip(tr("Suggest phrases (Shift+M)"));
    suggestButton_->setAccessibleName(tr("Suggest phrases"));
    suggestButton_->setFocusPolicy(Qt::NoFocus);
    new KeepBelow(view_.removeMarkerButton, suggestButton_);
    connect(suggestButton_, &QToolButton::clicked, this, &PlaybackViewController::suggestPhrases);
    connect(suggestions_, &PhraseSuggestions::changed, this,
            &PlaybackViewController::refreshSuggestions);
    connect(suggestions_, &PhraseSuggestions::progress, this,
            [this](double fraction) { suggestionOverlay_->setProgress(fraction); });
    connect(suggestions_, &PhraseSuggestions::finished, this, [this](int found) {
        suggestionOverlay_->setProgress(std::nullopt);
        if (found == 0) {
            suggestionOverlay_->setNote(tr("No phrases found"));
            QTimer::singleShot(kNoteMilliseconds, suggestionOverlay_,
                               [overlay = suggestionOverlay_] { overlay->setNote({}); });
        }
    });
    connect(suggestions_, &PhraseSuggestions::failed, this, [this](const QString &reason) {
        suggestionOverlay_->setProgress(std::nullopt);
        showAlert(this, tr("Couldn't Suggest Phrases"), reason);
    });
}

void PlaybackViewController::suggestPhrases()
{
    // A second press while it looks stops it.
    if (suggestions_->isRunning()) {
        suggestions_->cancel();
        suggestionOverlay_->setProgress(std::nullopt);
        return;
    }
    const ReversalFrames frames = reversalFrames();
    if (!frames.isValid() || !view_.waitView->isHidden() || isCropMode())
        return;
    // A zoomed view is where the user is working: only what it shows is looked through.
    std::optional<FrameRange> range;
    if (timeline_.isZoomed())
        range = frames.fromForwardSeconds(timeline_.visibleStart(), timeline_.visibleEnd());
    suggestionOverlay_->setNote({});
    suggestionOverlay_->setProgress(0.0);
    suggestions_->setBackwards(!engine_.isReversed());
    suggestions_->find(reverseAudioPath(), range, markerEditor_.markers());
}

void PlaybackViewController::refreshSuggestions()
{
    const ReversalFrames frames = reversalFrames();
    suggestions_->setBackwards(!engine_.isReversed());
    QList<SuggestionOverlay::Stretch> stretches;
    const QList<FrameRange> &found = suggestions_->suggestions();
    for (int i = 0; i < found.size(); ++i) {
        const auto [from, to] = frames.forwardSeconds(found[i]);
        stretches << SuggestionOverlay::Stretch{from, to, i == suggestions_->focused()};
    }
    suggestionOverlay_->setStretches(stretches);
}

void PlaybackViewController::acceptSuggestion(int index)
{
    // It becomes a marker the way a marked stretch does: its text open, Escape drops it.
    suggestions_->setBackwards(!engine_.isReversed());
    const std::optional<FrameRange> stretch = suggestions_->take(index);
    if (!stretch)
        return;
    const auto [from, to] = reversalFrames().forwardSeconds(*stretch);
    beginMarker(from, to);
}

void PlaybackViewController::dismissSuggestion(int index)
{
    suggestions_->setBackwards(!engine_.isReversed());
    suggestions_->take(index);
}

bool PlaybackViewController::suggestionKey(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_M && modifiers == Qt::ShiftModifier) {
        suggestPhrases();
        return true;
    }
    // Enter that closes a marker's text comes on to the screen too: it is the text's.
    const int focused = suggestions_->focused();
    if (modifiers != Qt::NoModifier || focused < 0 || markerEditor_.editing() >= 0)
        return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        acceptSuggestion(focused);
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        dismissSuggestion(focused);
        return true;
    default:
        return false;
    }
}

bool PlaybackViewController::suggestionClicked(const QMouseEvent *mouse)
{
    if (mouse->button() != Qt::LeftButton || mouse->modifiers() != Qt::NoModifier)
        return false;
    const QPointF at =
        suggestionOverlay_->mapFromGlobal(view_.scrubberSlider->mapToGlobal(mouse->position()));
    const QList<SuggestionOverlay::Stretch> &stretches = suggestionOverlay_->stretches();
    for (int i = 0; i < stretches.size(); ++i) {
        if (suggestionOverlay_->rectOf(stretches[i]).contains(at)) {
            acceptSuggestion(i);
            return true;
        }
    }
    return false;
}

} // namespace murmelo
