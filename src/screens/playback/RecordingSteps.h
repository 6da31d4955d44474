#pragma once

#include "library/RecordingHold.h"
#include "library/StoreRows.h"
#include "screens/playback/EditHistory.h"

#include <functional>
#include <memory>

namespace murmelo {

class Recording;
class StoreContext;

// The title and message of the saved recording, as a save of the save panel changed them.
class RecordingTextStep : public EditStep {
public:
    struct Texts {
        QString title;
        QString message;
        bool operator==(const Texts &) const = default;
    };
    RecordingTextStep(StoreContext &store, std::shared_ptr<Recording> recording,
                      const Texts &before, const Texts &after);

    QString undoProblem() const override;
    QString redoProblem() const override { return undoProblem(); }

protected:
    bool apply(QString *why) override { return write(after_, why); }
    bool revert(QString *why) override { return write(before_, why); }

private:
    bool write(const Texts &texts, QString *why);

    StoreContext &store_;
    std::shared_ptr<Recording> recording_;
    Texts before_;
    Texts after_;
};

// A crop, which made a new saved recording and showed it. Undone, the cropped copy is deleted
// (its files wait in a hold, so a redo brings it back exactly) and the recording it was cut from
// is shown again; when the copy was changed since the crop, the usual deletion question comes
// first.
class CropStep : public EditStep {
public:
    using Show = std::function<void(const std::shared_ptr<Recording> &)>;
    // `cropped` as it is stored now; `show` puts a recording on the screen.
    CropStep(StoreContext &store, std::shared_ptr<Recording> original,
             std::shared_ptr<Recording> cropped, Show show);

    QString undoProblem() const override;
    QString redoProblem() const override;
    QString undoQuestion() const override;

protected:
    bool apply(QString *why) override;
    bool revert(QString *why) override;

private:
    StoreContext &store_;
    std::shared_ptr<Recording> original_;
    std::shared_ptr<Recording> cropped_;
    qint64 croppedID_;
    std::optional<StoreRows> asCropped_;
    std::unique_ptr<RecordingHold> hold_;
    Show show_;
};

} // namespace murmelo
