#pragma once

#include "audio/SpeechRecogniser.h"
#include "library/PhraseMarker.h"
#include "library/StoreError.h"

#include <QByteArray>
#include <QHash>

namespace murmelo {

class StoreContext;

// The words said forward under each phrase marker, kept with the marker in the store file so
// they are recognised once. A marker whose stretch is changed loses them (they were said
// elsewhere); a marker never recognised has none, which is not the same as an empty list.
class MarkerWordsStore {
public:
    explicit MarkerWordsStore(StoreContext &context) : context_(context) {}

    // The recording's recognised markers, by marker id.
    QHash<qint64, QList<SpokenWord>> words(qint64 recordingID, StoreError *error = nullptr);
    // Keeps the words of the marker if it still covers `stretch`; a marker moved or removed
    // meanwhile is told as a bad request, and nothing is written.
    bool setWords(qint64 markerID, FrameRange stretch, const QList<SpokenWord> &words,
                  StoreError *error = nullptr);

    // The column's text: [["word", start, end], ...] in JSON, seconds to the millisecond.
    static QByteArray encode(const QList<SpokenWord> &words);
    // None for text that is not such a list.
    static std::optional<QList<SpokenWord>> decode(const QByteArray &text);

private:
    bool fail(StoreError *error, StoreError::Code code, const QString &description);

    StoreContext &context_;
};

} // namespace murmelo
