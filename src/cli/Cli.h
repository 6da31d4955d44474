#pragma once

namespace murmelo::cli {

// True when the arguments ask for the command line rather than the window: a subcommand
// (reverse, waveform, merge, clip, library, help) or --help, -h, --version, -V.
bool isCommandLine(int argc, char **argv);

// Runs one command without a display. Exit codes: 0 done, 1 failed, 2 bad usage.
int run(int argc, char **argv);

} // namespace murmelo::cli
