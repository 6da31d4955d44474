#pragma once

class QCommandLineParser;

namespace murmelo::cli {

// `murmelo labels export ID FILE [--forward]` writes a saved recording's phrase markers as a
// label file; `murmelo labels import ID FILE [--forward]` replaces them with a label file's,
// or changes nothing and names every bad line. --forward counts seconds on the forward audio
// (import: for files that do not say which time line they use).
void declareLabelsOptions(QCommandLineParser &parser);
int labelsCommand(const QCommandLineParser &parser);

} // namespace murmelo::cli
