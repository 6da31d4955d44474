#pragma once

#include "library/PhraseMarker.h"
#include "playback/WaveformTimeline.h"

#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace murmelo {

class StoreContext;

// The phrase markers of the reversal on screen and their storage, without the screen: markers
// are held on the reversal's frames; those of a reversal not saved yet have no id and are stored
// with it. One marker at a time has its text open; a new one (the draft) is dropped when its
// text is closed with Escape.
class MarkerEditor {
public:
    explicit MarkerEditor(StoreContext &store) : store_(store) {}

    const QList<PhraseMarker> &markers() const { return markers_; }
    bool contains(int index) const { return index >= 0 && index < markers_.size(); }

    // Another reversal: its markers are its own, so none are kept, nor a start held by M.
    void clear();
    // The stored markers of the recording with this row id (none for 0); the store's complaint,
    // or empty.
    QString load(qint64 recordingID);
    // Whether some marker is not in the store yet (made before the first save, or carried over
    // by a crop).
    bool hasUnstored() const;
    // Replaces the recording's stored markers with these; the store's complaint, or empty.
    QString storeAll(qint64 recordingID);

    // M at the playhead: the first press holds `now` as a start; the next press at another frame
    // gives the stretch from there to `now` (forward seconds) and lets the start go.
    std::optional<std::pair<double, double>> markAt(double now, const ReversalFrames &frames);
    std::optional<double> pendingStart() const { return pendingStart_; }
    void dropPendingStart() { pendingStart_.reset(); }

    // The markers a crop carried over to the new recording, not stored yet.
    void replace(QList<PhraseMarker> markers) { markers_ = std::move(markers); }
    // A new marker over the stretch, its text empty and about to open; returns its index.
    int addDraft(FrameRange stretch);
    // The marker whose text is open, -1 for none.
    int editing() const { return editing_; }
    void beginEditing(int index) { editing_ = index; }
    struct EditEnd {
        int index = -1;
        bool draft = false;
    };
    // The open text closed: which marker it was; nothing is open afterwards.
    EditEnd endEditing();
    // What closing the text does: Escape (`keep` false) drops a draft and leaves an old marker
    // as it was; otherwise the typed text (trimmed) is kept and, for a stored recording (row id
    // not 0), stored; a draft the store refuses is dropped, an old marker gets its text back.
    // The store's complaint, or empty.
    QString applyEdit(EditEnd end, bool keep, const QString &typed, qint64 recordingID);
    // Removes the marker, from the store too when it is there; not while a text is open.
    // False with `error` set when the store refused, false with it empty when nothing was done.
    bool remove(int index, QString *error);

    // The markers as the list shows them: left to right as the current direction plays them,
    // numbered from 1, with their times on that direction's time line.
    struct Row {
        int index;
        double from;
        double to;
        int number;
    };
    QList<Row> rows(const ReversalFrames &frames, bool reversed);
    // Each marker's number from the last rows(), 0 before.
    int number(int index) const { return index < numbers_.size() ? numbers_[index] : 0; }

private:
    StoreContext &store_;
    QList<PhraseMarker> markers_;
    int draft_ = -1;
    int editing_ = -1;
    std::optional<double> pendingStart_;
    QList<int> numbers_;
};

} // namespace murmelo
