#pragma once

#include "audio/Reversal.h"
#include "library/StoreError.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace murmelo {

class Recording;
class StoreContext;

// The library's side of a fresh reversal: the names its files have on their way in, and taking
// it in as a saved Recording.
class Library {
public:
    // What the user gave a reversal as it is saved.
    struct Details {
        QString name; // empty: the next default name, "Reversal N"
        QString message;
        std::optional<float> speed; // the speed it was playing at, when it was played
        QDateTime date = QDateTime::currentDateTimeUtc();
    };

    explicit Library(StoreContext &store);

    // Where a job writes audio on its way into the library: a fresh name in the temporary
    // folder, which saving moves out of (TemporaryFiles::newPath()). Safe on any thread.
    static QString temporaryAudioPath();

    // Takes `reversal` in as a new Recording: its two files are moved into the recordings folder,
    // its picture and flags kept, the details applied, and the store saved. Returns the record,
    // also when the save failed (it stays in the store's context, naming the files wherever they
    // are, and the next save tries again); `error` then says why.
    std::shared_ptr<Recording> adopt(const Reversal &reversal, const Details &details,
                                     StoreError *error = nullptr);

    // Gives `recording` the next default name when it has none. The counter only grows: the
    // numbers of deleted reversals are never given out again.
    void nameIfUnnamed(Recording &recording);

private:
    StoreContext &store_;
};

} // namespace murmelo
