#pragma once

class QCommandLineParser;

namespace murmelo::cli {

// `murmelo suggest ID [--forward]` prints the phrases found in a saved recording's reversal as a
// label file, on the reversal's time line or with --forward the forward audio's. Nothing is
// stored: the labels can be read into the recording with `labels import`.
void declareSuggestOptions(QCommandLineParser &parser);
int suggestCommand(const QCommandLineParser &parser);

} // namespace murmelo::cli
