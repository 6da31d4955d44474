#include "screens/playback/RecordingSteps.h"

#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QCoreApplication>

namespace murmelo {

namespace {
QString stepName(const RecordingTextStep::Texts &before, const RecordingTextStep::Texts &after)
{
    if (before.title != after.title && before.message != after.message)
        return QCoreApplication::translate("EditHistory", "Change Title and Message");
    if (before.title != after.title)
        return QCoreApplication::translate("EditHistory", "Change Title");
    return QCoreApplication::translate("EditHistory", "Change Message");
}

QString goneProblem(const std::shared_ptr<Recording> &recording)
{
    if (!recording || recording->isDeleted() || !recording->managedObjectContext())
        return QCoreApplication::translate("EditHistory",
                                           "The recording is no longer in the library.");
    return {};
}
} // namespace

RecordingTextStep::RecordingTextStep(StoreContext &store, std::shared_ptr<Recording> recording,
                                     const Texts &before, const Texts &after)
    : EditStep(stepName(before, after)), store_(store), recording_(std::move(recording)),
      before_(before), after_(after)
{
}

QString RecordingTextStep::undoProblem() const
{
    return goneProblem(recording_);
}

bool RecordingTextStep::write(const Texts &texts, QString *why)
{
    const Texts now{recording_->name(), recording_->message()};
    recording_->setName(texts.title);
    recording_->setMessage(texts.message);
    StoreError error;
    if (store_.save(&error))
        return true;
    // The record keeps what is stored, so no later save writes this step after all.
    recording_->setName(now.title);
    recording_->setMessage(now.message);
    store_.save();
    *why = error.description;
    return false;
}

CropStep::CropStep(StoreContext &store, std::shared_ptr<Recording> original,
                   std::shared_ptr<Recording> cropped, Show show)
    : EditStep(QCoreApplication::translate("EditHistory", "Crop")), store_(store),
      original_(std::move(original)), cropped_(std::move(cropped)), croppedID_(cropped_->rowID()),
      show_(std::move(show))
{
    QString ignored;
    asCropped_ = StoreRows::ofRecording(store_.database(), croppedID_, &ignored);
}

QString CropStep::undoProblem() const
{
    if (QString gone = goneProblem(original_); !gone.isEmpty())
        return QCoreApplication::translate("EditHistory",
                                           "The recording it was cropped from is no longer in the "
                                           "library.");
    return goneProblem(cropped_);
}

QString CropStep::redoProblem() const
{
    if (!hold_)
        return QCoreApplication::translate("EditHistory", "The cropped copy is no longer kept.");
    if (QString gone = goneProblem(original_); !gone.isEmpty())
        return gone;
    return hold_->problem(store_);
}

QString CropStep::undoQuestion() const
{
    QString ignored;
    const auto now = StoreRows::ofRecording(store_.database(), croppedID_, &ignored);
    return now == asCropped_ ? QString() : cropped_->name();
}

bool CropStep::revert(QString *why)
{
    StoreError error;
    auto hold = RecordingHold::hold(store_, cropped_, &error);
    if (!hold) {
        *why = error.description;
        return false;
    }
    hold_ = std::move(hold);
    cropped_.reset();
    show_(original_);
    return true;
}

bool CropStep::apply(QString *why)
{
    StoreError error;
    if (!hold_ || !hold_->restore(store_, &error)) {
        *why = error.description;
        return false;
    }
    hold_.reset();
    cropped_ = std::static_pointer_cast<Recording>(
        store_.objectWithID(Recording::entityName(), croppedID_));
    // Compared with what it is when undone again: the question is asked for changes after this.
    QString ignored;
    asCropped_ = StoreRows::ofRecording(store_.database(), croppedID_, &ignored);
    show_(cropped_);
    return true;
}

} // namespace murmelo
