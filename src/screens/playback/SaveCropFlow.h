#pragma once

#include "audio/Reversal.h"
#include "library/PhraseMarker.h"
#include "library/StoreError.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

class Recording;
class StoreContext;

// Saving, cropping and deleting what the playback screen shows, without the screen: the
// reversal on screen (its two files, picture and imported flag) and, once it is saved, the
// record behind it. A fresh reversal goes into the library through Library::adopt; a crop is a
// new saved recording made the same way.
class SaveCropFlow {
public:
    explicit SaveCropFlow(StoreContext &store);
    // A crop still running lets its files go when the flow is gone: nobody would adopt them.
    ~SaveCropFlow();
    SaveCropFlow(const SaveCropFlow &) = delete;
    SaveCropFlow &operator=(const SaveCropFlow &) = delete;

    // The reversal on screen; a fresh one is handed in field by field before the screen loads.
    Reversal &reversal() { return reversal_; }
    const Reversal &reversal() const { return reversal_; }
    const std::shared_ptr<Recording> &recording() const { return recording_; }
    // A saved recording: its files, picture and flag become the reversal on screen.
    void openRecording(std::shared_ptr<Recording> recording);
    // A reversal with files on screen and no record behind it.
    bool hasUnsavedReversal() const { return !recording_ && !reversal_.audioPath.isEmpty(); }

    struct Details {
        QString title; // empty keeps the stored name, or gives a new reversal the next "Reversal N"
        QString message;
        std::optional<float> speed; // the speed it plays at, when it has played
    };
    // Stores a fresh reversal as a new recording (its files move into the recordings folder), or
    // gives the saved one these details. False with `error` set when the store refused; the
    // record is kept in the store's context then, and the next save tries again.
    bool save(const Details &details, StoreError *error);
    // The saved recording's speed; nothing for a fresh reversal.
    bool storeSpeed(float rate, StoreError *error);
    // Removes the saved recording and its files; the screen has nothing left to play.
    bool deleteRecording(StoreError *error);

    struct CropOutcome {
        bool cropped = false;
        QString error;         // why there is no crop
        FrameRange kept;       // the frames of the old reversal the new one holds
        StoreError storeError; // the crop is made, but the store refused to save it
        bool stored() const { return !storeError; }
    };
    // Cuts the fractions [min, max] of the saved recording into a new saved recording named
    // `name` (empty: the old name with " Cropped"), with the old message, speed and flag; it
    // becomes the one on screen. `done` runs on the main thread, not at all once the flow is gone.
    void crop(float min, float max, const QString &name,
              std::function<void(const CropOutcome &)> done);

private:
    StoreContext &store_;
    Reversal reversal_;
    std::shared_ptr<Recording> recording_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace murmelo
