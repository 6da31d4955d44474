#pragma once

#include "library/PhraseMarker.h"
#include "library/StoreError.h"

#include <optional>

namespace murmelo {

class StoreContext;

// Reads and writes the phrase markers of saved recordings in the store file. Each call is its
// own transaction and is on disk when it returns; a recording's markers go with it when the
// recording's deletion is saved. A recording must be saved before it can have markers.
class PhraseMarkerStore {
public:
    explicit PhraseMarkerStore(StoreContext &context) : context_(context) {}

    // The recording's markers by start, then end; empty (with the error set) on failure.
    QList<PhraseMarker> markers(qint64 recordingID, StoreError *error = nullptr);
    // The stored marker with its new id.
    std::optional<PhraseMarker> addMarker(qint64 recordingID, const PhraseMarker &marker,
                                          StoreError *error = nullptr);
    // Changes the stretch and text of the marker with `marker.id`.
    bool updateMarker(const PhraseMarker &marker, StoreError *error = nullptr);
    bool removeMarker(qint64 markerID, StoreError *error = nullptr);
    // Replaces all of the recording's markers at once: either every new marker is stored, or
    // the old ones stay as they were. One transaction that rebuilds the search index once, so
    // its time grows with the number of markers, not with its square.
    bool replaceMarkers(qint64 recordingID, const QList<PhraseMarker> &markers,
                        StoreError *error = nullptr);

private:
    bool fail(StoreError *error, StoreError::Code code, const QString &description);
    bool ready(StoreError *error);
    bool insert(qint64 recordingID, const PhraseMarker &marker, qint64 *newID);

    StoreContext &context_;
};

} // namespace murmelo
