#include "screens/playback/MarkerEditor.h"

#include "library/PhraseMarkerStore.h"

#include <algorithm>

namespace murmelo {

void MarkerEditor::clear()
{
    markers_.clear();
    pendingStart_.reset();
}

QString MarkerEditor::load(qint64 recordingID)
{
    markers_.clear();
    if (recordingID == 0)
        return {};
    StoreError error;
    markers_ = PhraseMarkerStore(store_).markers(recordingID, &error);
    return error ? error.description : QString();
}

bool MarkerEditor::hasUnstored() const
{
    return std::any_of(markers_.begin(), markers_.end(),
                       [](const PhraseMarker &marker) { return marker.id == 0; });
}

QString MarkerEditor::storeAll(qint64 recordingID)
{
    StoreError error;
    if (!PhraseMarkerStore(store_).replaceMarkers(recordingID, markers_, &error))
        return error.description;
    return {};
}

std::optional<std::pair<double, double>> MarkerEditor::markAt(double now,
                                                              const ReversalFrames &frames)
{
    if (!pendingStart_) {
        pendingStart_ = now;
        return std::nullopt;
    }
    // The same frame twice is no stretch yet: the start stays, waiting for an end.
    if (frames.fromForwardSeconds(*pendingStart_, now).length() == 0)
        return std::nullopt;
    const double start = *pendingStart_;
    pendingStart_.reset();
    return std::pair{start, now};
}

int MarkerEditor::addDraft(FrameRange stretch)
{
    markers_ << PhraseMarker{0, stretch, QString()};
    draft_ = int(markers_.size()) - 1;
    return draft_;
}

MarkerEditor::EditEnd MarkerEditor::endEditing()
{
    const EditEnd end{editing_, editing_ >= 0 && editing_ == draft_};
    editing_ = -1;
    draft_ = -1;
    return end;
}

QString MarkerEditor::applyEdit(EditEnd end, bool keep, const QString &typed, qint64 recordingID)
{
    if (!contains(end.index))
        return {};
    if (!keep) {
        if (end.draft)
            markers_.removeAt(end.index);
        return {};
    }
    PhraseMarker &marker = markers_[end.index];
    const QString before = marker.text;
    marker.text = typed.trimmed();
    if (recordingID == 0)
        return {};
    PhraseMarkerStore markerStore(store_);
    StoreError error;
    bool stored = true;
    if (marker.id == 0) {
        if (const auto added = markerStore.addMarker(recordingID, marker, &error))
            marker.id = added->id;
        else
            stored = false;
    } else {
        stored = markerStore.updateMarker(marker, &error);
    }
    if (stored)
        return {};
    if (end.draft)
        markers_.removeAt(end.index);
    else
        marker.text = before;
    return error.description;
}

bool MarkerEditor::remove(int index, QString *error)
{
    error->clear();
    if (!contains(index) || editing_ >= 0)
        return false;
    const PhraseMarker marker = markers_[index];
    if (marker.id != 0) {
        StoreError storeError;
        if (!PhraseMarkerStore(store_).removeMarker(marker.id, &storeError)) {
            *error = storeError.description;
            return false;
        }
    }
    markers_.removeAt(index);
    return true;
}

QList<MarkerEditor::Row> MarkerEditor::rows(const ReversalFrames &frames, bool reversed)
{
    QList<Row> rows;
    for (int i = 0; i < markers_.size(); ++i) {
        const FrameRange &stretch = markers_[i].frames;
        const auto [from, to] = frames.forwardSeconds(stretch);
        if (reversed)
            rows << Row{i, secondsFromFrames(stretch.start, frames.sampleRate),
                        secondsFromFrames(stretch.end, frames.sampleRate), 0};
        else
            rows << Row{i, from, to, 0};
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row &a, const Row &b) { return a.from < b.from; });
    numbers_ = QList<int>(markers_.size(), 0);
    for (int i = 0; i < rows.size(); ++i) {
        rows[i].number = i + 1;
        numbers_[rows[i].index] = i + 1;
    }
    return rows;
}

} // namespace murmelo
