// The editing flows of the playback screen: save, crop and delete.
#include "screens/playback/PlaybackViewController.h"

#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/AlertPresenter.h"
#include "platform/Defaults.h"
#include "platform/Localized.h"
#include "playback/CropJob.h"
#include "playback/TimeText.h"
#include "screens/library/DeleteQuestion.h"
#include "screens/playback/SlidePanel.h"
#include "toolkit/RangeSlider.h"

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTextEdit>
#include <QToolButton>

namespace murmelo {

namespace {
const QString kDefaultNameKey = QStringLiteral("defaultName");
// A range keeping all but a hundredth at either end is no crop.
constexpr float kNoCropMargin = 0.01f;
} // namespace

void PlaybackViewController::save()
{
    view_.messageTextView->setPlainText(message_.isEmpty() ? messagePrompt() : message_);
    // A title typed and then cancelled is forgotten: the field starts from what is stored.
    recordName_ = recording_ ? recording_->name() : QString();
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
    storeReversal({});
}

void PlaybackViewController::storeReversal(const StoreOptions &options)
{
    // A Save pressed while typing still takes what was typed.
    commitEditing();
    if (!recording_) {
        recording_ = Recording::insertInManagedObjectContext(store_);
        recording_->setIsImportedValue(imported_);
        recording_->setDate(QDateTime::currentDateTime());
    }
    recording_->setAudioPath(audioPath_, reverseAudioPath_);
    audioPath_ = recording_->currentAudioPath();
    reverseAudioPath_ = recording_->reverseAudioPath();
    recording_->setWaveformImage(waveformImage_);
    if (engine_.audioPlayer())
        recording_->setSpeedValue(engine_.rate());
    if (options.applyTypedTitle && !recordName_.isEmpty())
        recording_->setName(recordName_);
    if (options.message) {
        message_ = *options.message;
    } else {
        const QString shown = view_.messageTextView->toPlainText();
        message_ = shown == messagePrompt() ? QString() : shown;
    }
    recording_->setMessage(message_);
    setFoundMessage();

    if (recording_->name().isEmpty()) {
        // The counter only grows: numbers of deleted reversals are never given out again.
        Defaults &defaults = Defaults::standard();
        const qint64 next = defaults.integerForKey(kDefaultNameKey) + 1;
        recording_->setName(QStringLiteral("Reversal %1").arg(next));
        defaults.setInteger(kDefaultNameKey, next);
        defaults.synchronize();
    }
    setTitleLabels(recording_->name());
    saveStore(tr("Couldn't Save the Reversal"));
    storeMarkers();
    closeSaveReversal();
    configurePanels();
}

void PlaybackViewController::saveStore(const QString &failureTitle)
{
    StoreError error;
    if (!store_.save(&error))
        showAlert(this, failureTitle,
                  error.description + (error.recoverySuggestion.isEmpty()
                                           ? QString()
                                           : QStringLiteral("\n") + error.recoverySuggestion));
}

// Crop -----------------------------------------------------------------------------------------

void PlaybackViewController::crop()
{
    if (!recording_) {
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

void PlaybackViewController::cropRangeUpdated()
{
    const float min = rangeSlider_->min();
    const float max = rangeSlider_->max();
    // Each label sits under its handle and counts on the time line the picture runs on:
    // reversed, the left handle is where the kept stretch starts in the reversal.
    const bool reversed = rangeSlider_->invertedAppearance();
    const double length = reversed ? engine_.reverseDuration() : engine_.duration();
    view_.cropStartLabel->setText(timeText(length * (reversed ? 1 - max : min)));
    view_.cropEndLabel->setText(timeText(length * (reversed ? 1 - min : max)));
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
    if (!recording_ || !rangeSlider_)
        return;
    const float min = rangeSlider_->min();
    const float max = rangeSlider_->max();
    if (!isCropRange(min, max))
        return;
    setBusy(true, tr("Cropping\u2026"));
    QPointer<PlaybackViewController> self(this);
    cropReversal(audioPath_, reverseAudioPath_, min, max, [self](const CropResult &result) {
        if (self) {
            self->cropFinished(result);
            return;
        }
        // The screen is gone: nobody will adopt the new files.
        QFile::remove(result.audioPath);
        QFile::remove(result.reverseAudioPath);
    });
}

void PlaybackViewController::cropFinished(const CropResult &result)
{
    setBusy(false);
    const std::shared_ptr<Recording> old = recording_;
    if (!result.succeeded() || !old) {
        QFile::remove(result.audioPath);
        QFile::remove(result.reverseAudioPath);
        showAlert(this, tr("Couldn't Crop the Reversal"), result.error);
        return;
    }
    auto cropped = Recording::insertInManagedObjectContext(store_);
    const QString typedName = view_.croppedNameTextField->text().trimmed();
    cropped->setName(typedName.isEmpty() ? old->name() + QStringLiteral(" Cropped") : typedName);
    cropped->setDate(QDateTime::currentDateTime());
    cropped->setIsImportedValue(old->isImportedValue());
    if (old->speed().isValid())
        cropped->setSpeedValue(old->speedValue());
    // What the crop keeps of each marker comes along, moved to the new start.
    const QList<PhraseMarker> carried =
        markersAfterCrop(markerEditor_.markers(), result.keptReversal);
    recording_ = cropped;
    setAudioPath(result.audioPath);
    setReverseAudioPath(result.reverseAudioPath);
    markerEditor_.replace(carried);
    refreshMarkers();
    setWaveformImage(result.waveformImage);
    rangeSlider_->setMin(0);
    rangeSlider_->setMax(1);
    storeReversal({.applyTypedTitle = false, .message = old->message()});
    // The name was for this crop; the next one is named afresh.
    view_.croppedNameTextField->clear();
    crop();
    showLoadErrors();
}

// Delete --------------------------------------------------------------------------------------

void PlaybackViewController::deleteReversal()
{
    if (!recording_)
        return;
    QPointer<PlaybackViewController> self(this);
    AlertPresenter::current().present(deleteQuestion(recording_->name(),
                                                     [self] {
                                                         if (self)
                                                             self->deleteConfirmed();
                                                     }),
                                      this);
}

void PlaybackViewController::deleteConfirmed()
{
    if (!recording_)
        return;
    if (engine_.isPlaying())
        engine_.pausePlay();
    recording_->deleteObject();
    recording_.reset();
    // The files are gone with the record: there is nothing left to save on leaving.
    audioPath_.clear();
    reverseAudioPath_.clear();
    saveStore(tr("Couldn't Delete the Reversal"));
    performSegue(QStringLiteral("Record"));
}

} // namespace murmelo
