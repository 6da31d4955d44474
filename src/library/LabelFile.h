#pragma once

#include "library/PhraseMarker.h"

#include <QByteArray>
#include <QStringList>

namespace murmelo {

// Which file's clock a label file counts seconds on: the reversal's, where markers are made, or
// the forward audio's, for reading beside the forward words in another editor.
enum class LabelTimeLine { Reversed, Forward };

// The reversal a label file belongs to: its rate turns seconds into frames, its length mirrors
// stretches between the two time lines and bounds every label.
struct LabelAudio {
    int sampleRate = 0;
    qint64 totalFrames = 0;
};

// Markers as the tab-separated label lines audio editors read and write, "start<TAB>end<TAB>text"
// in seconds with six decimals, after a comment naming the time line. Tabs and line breaks in a
// marker's text become spaces, so each label stays one line.
QByteArray writeLabelFile(const QList<PhraseMarker> &markers, LabelTimeLine timeLine,
                          const LabelAudio &audio);

struct LabelFileContents {
    QList<PhraseMarker> markers; // on the reversal's time line, in the file's order
    LabelTimeLine timeLine = LabelTimeLine::Reversed;
    QStringList errors; // "line N: why", one for each refused line

    bool ok() const { return errors.isEmpty(); }
};

// Reads a label file: ours, or another editor's (LF, CRLF or CR line ends, a byte-order mark,
// comment and frequency lines). A file without our header comment is taken to count on
// `assumed`. Times are plain decimal seconds; control characters other than the field tabs are
// refused. Every malformed line is reported by number; the caller keeps nothing unless ok().
LabelFileContents readLabelFile(const QByteArray &bytes, LabelTimeLine assumed,
                                const LabelAudio &audio);

} // namespace murmelo
