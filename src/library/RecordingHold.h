#pragma once

#include "library/StoreError.h"
#include "library/StoreRows.h"

#include <QList>
#include <QString>
#include <memory>

namespace murmelo {

class Recording;
class StoreContext;

// A deleted recording kept for a while, so that its deletion can be undone: its rows of the store
// file, copied whole, and its audio files, which wait in a folder of their own inside the
// recordings folder's hidden ".holding" folder until the hold is restored or let go.
//
// After a crash the store file decides: the start-up recovery puts a hold's files back where its
// record still names them, and removes every trace of a hold whose record is gone. A crash at any
// moment of holding, restoring or letting go therefore leaves the whole recording or nothing of
// it. A live hold is locked, so another process's recovery leaves it alone.
class RecordingHold {
public:
    // Deletes the recording (its row and every row that hangs off it, in one transaction) and
    // holds it.
    // Null with `error` set when that failed; the files are back where they were then.
    static std::unique_ptr<RecordingHold>
    hold(StoreContext &context, const std::shared_ptr<Recording> &recording, StoreError *error);
    // Lets go: the held files and the hold's folder are removed.
    ~RecordingHold();
    RecordingHold(const RecordingHold &) = delete;
    RecordingHold &operator=(const RecordingHold &) = delete;

    const QString &title() const { return title_; }
    qint64 recordingID() const { return recordingID_; }

    // Why restore() would fail now (a held file gone, its place taken, the record back already),
    // or empty.
    QString problem(StoreContext &context) const;
    // Writes the rows back, ids included, and puts the files where they were, all in one
    // transaction; the record is announced as inserted and the hold is empty afterwards. False
    // with `error` set and nothing changed when it cannot.
    bool restore(StoreContext &context, StoreError *error);

    // The start-up recovery of every hold of this store that no live process holds.
    static void recover(StoreContext &context);
    // The folder the holds' folders are in.
    static QString holdingDirectory();

private:
    struct HeldFile {
        QString original;
        QString held;
    };
    RecordingHold() = default;
    void removeFolder();

    QString folder_;
    QString title_;
    qint64 recordingID_ = 0;
    StoreRows rows_;
    QList<HeldFile> files_;
    int lock_ = -1;
};

} // namespace murmelo
