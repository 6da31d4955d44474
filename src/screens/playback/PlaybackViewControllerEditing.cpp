// The editing flows of the playback screen: save, crop and delete.
#include "screens/playback/PlaybackViewController.h"

#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/AlertPresenter.h"
#include "platform/Localized.h"
#include "playback/CropJob.h"
#include "playback/TimeText.h"
#include "screens/library/DeleteQuestion.h"
#include "screens/playback/SlidePanel.h"
#include "toolkit/RangeSlider.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTextEdit>
#include <QToolButton>

namespace murmelo {

namespace {
// A range keeping all but a hundredth at either end is no crop.
constexpr float kNoCropMargin = 0.01f;
} // namespace

void PlaybackViewController::save()
{
    view_.messageTextView->setPlainText(message_.isEmpty() ? messagePrompt() : message_);
    // A title typed and then cancelled is forgotten: the field starts from what is stored.
    recordName_ = recording() ? recording()->name() : QString();
    view_.titleTextField->setText(recordName_);
    saveSlide_->slideIn();
    view_.titleTextField->setFocus();
}

void PlaybackViewController::closeSaveReversal()
{
    saveSlide_->slideOut();
    // The screen's keys work again once the panel is gone.
    if (view_.saveReversalView->isAncestorOf(focusWidget()))
        setFocus();
}

void PlaybackViewController::saveReversal()
{
    // A Save pressed while typing still takes what was typed.
    commitEditing();
    const QString shown = view_.messageTextView->toPlainText();
    message_ = shown == messagePrompt() ? QString() : shown;
    const bool wasSaved = recording() && recording()->rowID() != 0;
    const RecordingTextStep::Texts before = storedTexts();
    StoreError error;
    const bool stored = saving_.save(
        {.title = recordName_,
         .message = message_,
         .speed = engine_.audioPlayer() ? std::optional<float>(engine_.rate()) : std::nullopt},
        &error);
    if (!stored)
        showStoreError(tr("Couldn't Save the Reversal"), error);
    else
        recordTextEdit(wasSaved, before);
    showSaved();
    // The steps of a reversal not saved yet changed only the screen's markers, which are rows now:
    // undone after the save they would leave the store and the screen apart, so the saved
    // recording starts its own history.
    if (stored && !wasSaved)
        history_.clear();
    closeSaveReversal();
}

void PlaybackViewController::showSaved()
{
    setFoundMessage();
    setTitleLabels(recording()->name());
    storeMarkers();
    configurePanels();
}

void PlaybackViewController::showStoreError(const QString &failureTitle, const StoreError &error)
{
    showAlert(this, failureTitle,
              error.description + (error.recoverySuggestion.isEmpty()
                                       ? QString()
                                       : QStringLiteral("\n") + error.recoverySuggestion));
}

// Crop -----------------------------------------------------------------------------------------

void PlaybackViewController::crop()
{
    if (!recording()) {
        showAlert(this, localized("save_before_crop"), QString());
        return;
    }
    if (!rangeSlider_)
        viewDidLayoutSubviews();
    const bool on = !view_.cropButton->isChecked();
    view_.cropButton->setChecked(on);
    rangeSlider_->setVisible(on);
    view_.saveCropView->setVisible(on);
    view_.scrubberSlider->setHidden(on);
    // The handles are fractions of the whole audio: cropping shows all of it, in the direction
    // it is heard, so that what lies between the handles is what is kept.
    if (on)
        timeline_.showAll();
    applyTimeline();
    refreshMarkers();
    if (on)
        cropRangeUpdated();
}

bool PlaybackViewController::isCropRange(float min, float max)
{
    return min > kNoCropMargin || max < 1 - kNoCropMargin;
}

std::pair<double, double> PlaybackViewController::cropTimes(float min, float max) const
{
    // Reversed, the left handle is where the kept stretch starts in the reversal.
    const bool reversed = rangeSlider_->invertedAppearance();
    const double length = reversed ? engine_.reverseDuration() : engine_.duration();
    return reversed ? std::pair{length * (1 - max), length * (1 - min)}
                    : std::pair{length * min, length * max};
}

QString PlaybackViewController::cropRangeText(float min, float max) const
{
    const auto [from, to] = cropTimes(min, max);
    return tr("from %1 to %2, %3")
        .arg(timeText(from), timeText(to),
             rangeSlider_->invertedAppearance() ? tr("times on the reversal")
                                                : tr("forward times"));
}

void PlaybackViewController::cropRangeUpdated()
{
    const float min = rangeSlider_->min();
    const float max = rangeSlider_->max();
    const bool reversed = rangeSlider_->invertedAppearance();
    // Each label sits under its handle.
    const auto [from, to] = cropTimes(min, max);
    view_.cropStartLabel->setText(timeText(from));
    view_.cropEndLabel->setText(timeText(to));
    // The whole reversal is no crop: say how to choose one instead of ignoring the button.
    const bool cuttable = isCropRange(min, max);
    view_.saveCropButton->setEnabled(cuttable);
    view_.cropHintLabel->setText(
        (cuttable ? tr("Choose the part to keep") : tr("Drag a handle to crop")) +
        QLatin1Char('\n') + (reversed ? tr("times on the reversal") : tr("forward times")));
}

void PlaybackViewController::closeSaveCrop()
{
    // Closing the panel ends crop mode too: a crop mode without its panel has no way out but
    // the Crop button.
    if (isCropMode())
        crop();
    else
        view_.saveCropView->hide();
    if (view_.saveCropView->isAncestorOf(focusWidget()))
        setFocus();
}

void PlaybackViewController::setBusy(bool busy, const QString &text)
{
    view_.waitLabel->setText(text);
    view_.waitView->setVisible(busy);
    if (busy)
        view_.waitView->raise();
    // Leaving the screen mid-job would orphan its result.
    if (sidebarViewController())
        sidebarViewController()->setSidebarButtonEnabled(!busy);
}

void PlaybackViewController::saveCrop()
{
    if (!recording() || !rangeSlider_)
        return;
    const float min = rangeSlider_->min();
    const float max = rangeSlider_->max();
    if (!isCropRange(min, max))
        return;
    setBusy(true, tr("Cropping\u2026"));
    saving_.crop(min, max, view_.croppedNameTextField->text().trimmed(),
                 [this, original = recording()](const SaveCropFlow::CropOutcome &outcome) {
                     cropFinished(outcome);
                     if (outcome.cropped && outcome.stored())
                         recordCrop(original);
                 });
}

void PlaybackViewController::cropFinished(const SaveCropFlow::CropOutcome &outcome)
{
    setBusy(false);
    if (!outcome.cropped) {
        showAlert(this, tr("Couldn't Crop the Reversal"), outcome.error);
        return;
    }
    if (!outcome.stored())
        showStoreError(tr("Couldn't Save the Reversal"), outcome.storeError);
    // What the crop keeps of each marker comes along, moved to the new start.
    const QList<PhraseMarker> carried = markersAfterCrop(markerEditor_.markers(), outcome.kept);
    // The cropped copy opens forward, its files already in the library.
    openFiles();
    setWaveformImage(saving_.reversal().waveformImage);
    message_ = recording()->message();
    markerEditor_.replace(carried);
    refreshMarkers();
    rangeSlider_->setMin(0);
    rangeSlider_->setMax(1);
    showSaved();
    // The name was for this crop; the next one is named afresh.
    view_.croppedNameTextField->clear();
    crop();
    showLoadErrors();
}

// Delete --------------------------------------------------------------------------------------

void PlaybackViewController::deleteReversal()
{
    if (!recording())
        return;
    QPointer<PlaybackViewController> self(this);
    AlertPresenter::current().present(deleteQuestion(recording()->name(),
                                                     [self] {
                                                         if (self)
                                                             self->deleteConfirmed();
                                                     }),
                                      this);
}

void PlaybackViewController::deleteConfirmed()
{
    if (!recording())
        return;
    if (engine_.isPlaying())
        engine_.pausePlay();
    if (StoreError error; !saving_.deleteRecording(&error))
        showStoreError(tr("Couldn't Delete the Reversal"), error);
    performSegue(QStringLiteral("Record"));
}

} // namespace murmelo
