#pragma once

class QCommandLineParser;

namespace murmelo::cli {

// `murmelo publish ID [-o FILE] [--folder DIR] [--slow FACTOR]` writes a saved recording as one
// web page that works offline, the audio inside it; --folder writes DIR/index.html with the
// clips as files beside it instead, for a web server.
void declarePublishOptions(QCommandLineParser &parser);
int publishCommand(const QCommandLineParser &parser);

} // namespace murmelo::cli
