#include "screens/playback/SaveCropFlow.h"

#include "library/Library.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "playback/CropJob.h"

#include <QDateTime>
#include <QFile>

namespace murmelo {

namespace {

Reversal reversalOf(const Recording &recording)
{
    Reversal reversal;
    reversal.audioPath = recording.currentAudioPath();
    reversal.reverseAudioPath = recording.reverseAudioPath();
    reversal.waveformImage = recording.waveformImage();
    reversal.imported = recording.isImportedValue();
    return reversal;
}

SaveCropFlow::CropOutcome failure(const QString &error)
{
    SaveCropFlow::CropOutcome outcome;
    outcome.error = error;
    return outcome;
}

std::optional<float> storedSpeed(const Recording &recording)
{
    if (!recording.speed().isValid())
        return std::nullopt;
    return recording.speedValue();
}

} // namespace

SaveCropFlow::SaveCropFlow(StoreContext &store) : store_(store) {}

SaveCropFlow::~SaveCropFlow()
{
    *alive_ = false;
}

void SaveCropFlow::openRecording(std::shared_ptr<Recording> recording)
{
    recording_ = std::move(recording);
    reversal_ = recording_ ? reversalOf(*recording_) : Reversal{};
}

bool SaveCropFlow::save(const Details &details, StoreError *error)
{
    if (!recording_) {
        StoreError refused;
        recording_ = Library(store_).adopt(
            reversal_, {.name = details.title, .message = details.message, .speed = details.speed},
            &refused);
        // The record names the files where they are now: in the recordings folder, or still in
        // the temporary one when the move failed and waits for the next save.
        reversal_.audioPath = recording_->currentAudioPath();
        reversal_.reverseAudioPath = recording_->reverseAudioPath();
        if (error)
            *error = refused;
        return !refused;
    }
    if (details.speed)
        recording_->setSpeedValue(*details.speed);
    if (!details.title.isEmpty())
        recording_->setName(details.title);
    recording_->setMessage(details.message);
    Library(store_).nameIfUnnamed(*recording_);
    return store_.save(error);
}

bool SaveCropFlow::storeSpeed(float rate, StoreError *error)
{
    if (!recording_)
        return true;
    recording_->setSpeedValue(rate);
    return store_.save(error);
}

bool SaveCropFlow::deleteRecording(StoreError *error)
{
    if (!recording_)
        return true;
    recording_->deleteObject();
    recording_.reset();
    // The files are gone with the record: there is nothing left to save on leaving.
    reversal_ = {};
    return store_.save(error);
}

void SaveCropFlow::crop(float min, float max, const QString &name,
                        std::function<void(const CropOutcome &)> done)
{
    const std::shared_ptr<Recording> old = recording_;
    if (!old) {
        done(failure(QStringLiteral("the reversal is not saved yet")));
        return;
    }
    cropReversal(
        reversal_.audioPath, reversal_.reverseAudioPath, min, max,
        [this, alive = alive_, old, name, done = std::move(done)](const CropResult &result) {
            // A failed crop, or one nobody waits for any more, leaves no files behind.
            if (!*alive || !result.succeeded() || recording_ != old) {
                QFile::remove(result.audioPath);
                QFile::remove(result.reverseAudioPath);
                if (*alive)
                    done(failure(result.succeeded()
                                     ? QStringLiteral("another recording was opened meanwhile")
                                     : result.error));
                return;
            }
            Reversal cut;
            cut.audioPath = result.audioPath;
            cut.reverseAudioPath = result.reverseAudioPath;
            cut.waveformImage = result.waveformImage;
            cut.imported = old->isImportedValue();
            const Library::Details details{
                .name = name.isEmpty() ? old->name() + QStringLiteral(" Cropped") : name,
                .message = old->message(),
                .speed = storedSpeed(*old),
                .date = QDateTime::currentDateTime()};
            CropOutcome outcome;
            outcome.cropped = true;
            outcome.kept = result.keptReversal;
            recording_ = Library(store_).adopt(cut, details, &outcome.storeError);
            reversal_ = reversalOf(*recording_);
            // The picture just drawn, not its PNG round trip.
            reversal_.waveformImage = result.waveformImage;
            done(outcome);
        });
}

} // namespace murmelo
