#pragma once

#include "library/PhraseMarker.h"
#include "library/StoreRows.h"
#include "screens/playback/EditHistory.h"

#include <optional>

namespace murmelo {

class MarkerEditor;
class StoreContext;

// Steps on the stored phrase markers of one saved recording.
class MarkerStep : public EditStep {
public:
    QString undoProblem() const override { return recordingProblem(); }
    QString redoProblem() const override { return recordingProblem(); }

protected:
    MarkerStep(const QString &text, StoreContext &store, qint64 recordingID)
        : EditStep(text), store_(store), recordingID_(recordingID)
    {
    }
    // Why nothing can be done to the recording's markers: it has left the library meanwhile.
    QString recordingProblem() const;

    StoreContext &store_;
    qint64 recordingID_;
};

// A marker coming or going with everything stored with it, whatever it holds: "Add Marker" is
// recorded once the marker is stored, "Delete Marker" removes it when pushed. Brought back, it
// has its own id again.
class MarkerPresenceStep : public MarkerStep {
public:
    enum Kind { Add, Delete };
    MarkerPresenceStep(Kind kind, StoreContext &store, qint64 recordingID, qint64 markerID);

    qint64 markerID() const { return markerID_; }

protected:
    bool apply(QString *why) override { return kind_ == Add ? bringBack(why) : takeAway(why); }
    bool revert(QString *why) override { return kind_ == Add ? takeAway(why) : bringBack(why); }

private:
    bool takeAway(QString *why);
    bool bringBack(QString *why);

    Kind kind_;
    qint64 markerID_;
    StoreRows rows_; // what the marker held when it was last taken away
};

// A marker's stretch or text changed: "Move Marker" (an edge dragged), "Nudge Marker" (nudges
// of one marker in a row are one step) or "Change Marker Text".
class MarkerChangeStep : public MarkerStep {
public:
    enum Kind { Move, Nudge, Text };
    MarkerChangeStep(Kind kind, StoreContext &store, qint64 recordingID, const PhraseMarker &before,
                     const PhraseMarker &after);

    int id() const override { return kind_ == Nudge ? 1 : -1; }
    bool mergeWith(const QUndoCommand *other) override;
    const PhraseMarker &after() const { return after_; }

protected:
    bool apply(QString *why) override { return write(after_, why); }
    bool revert(QString *why) override { return write(before_, why); }

private:
    bool write(const PhraseMarker &marker, QString *why);

    Kind kind_;
    PhraseMarker before_;
    PhraseMarker after_;
};

// A step on the markers of a reversal not saved yet. They live only in the screen's list until the
// save stores them with the record, so the step changes that list, under the same names as the
// stored markers' steps. The list is expected as the step left it: a marker found otherwise, or
// a text still open, stops the step with the reason and the list stays as it is.
class UnstoredMarkerStep : public EditStep {
public:
    enum Kind { Add, Delete, Move, Nudge, Text };
    // The marker at `index` goes from `before` to `after`: an added one has no `before`, a
    // deleted one no `after`.
    UnstoredMarkerStep(Kind kind, MarkerEditor &editor, int index,
                       std::optional<PhraseMarker> before, std::optional<PhraseMarker> after);

    QString undoProblem() const override { return problem(after_); }
    QString redoProblem() const override { return problem(before_); }
    int id() const override { return kind_ == Nudge ? 2 : -1; }
    bool mergeWith(const QUndoCommand *other) override;

protected:
    bool apply(QString *why) override { return put(before_, after_, why); }
    bool revert(QString *why) override { return put(after_, before_, why); }

private:
    // Why the marker at index_ is not `expected` now (nothing there for none), or empty.
    QString problem(const std::optional<PhraseMarker> &expected) const;
    bool put(const std::optional<PhraseMarker> &from, const std::optional<PhraseMarker> &to,
             QString *why);

    Kind kind_;
    MarkerEditor &editor_;
    int index_;
    std::optional<PhraseMarker> before_;
    std::optional<PhraseMarker> after_;
};

} // namespace murmelo
