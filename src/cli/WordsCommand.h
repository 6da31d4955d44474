#pragma once

class QCommandLineParser;

namespace murmelo::cli {

// `murmelo words ID [MARKER]` prints what was said forward under each phrase marker of a saved
// recording (or the one with the id MARKER): per marker a comment line with its id, forward
// stretch and heard text, then "start<TAB>end<TAB>word" lines in seconds of the forward audio.
// Words not recognised yet are recognised now and stored with the marker.
void declareWordsOptions(QCommandLineParser &parser);
int wordsCommand(const QCommandLineParser &parser);

} // namespace murmelo::cli
