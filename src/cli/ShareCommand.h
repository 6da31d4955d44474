#pragma once

class QCommandLineParser;

namespace murmelo::cli {

// `murmelo share ID --to ADDR[,ADDR] [--message TEXT] [--name TEXT] [--speed F]`: mails a saved
// recording (forward, then reversal, as one WAV) through the same mail job as the window, to the
// relay the settings name. Exit codes: 0 sent, 1 not sent, 2 bad usage.
void declareShareOptions(QCommandLineParser &parser);
int shareCommand(const QCommandLineParser &parser);

} // namespace murmelo::cli
