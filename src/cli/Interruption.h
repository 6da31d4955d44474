#pragma once

#include <QString>
#include <atomic>

namespace murmelo::cli {

// Ctrl-C (SIGINT) and SIGTERM for a command. The first signal sets the cancel flag that the
// audio jobs poll; if the command has not ended soon after, a watchdog thread removes every
// unfinished output and ends the process itself, so no command (blocked in a decoder, a long
// copy, a store lock) outlives a signal by more than a second. Either way the exit code is
// 128 + the signal's number: 130 for SIGINT, 143 for SIGTERM.
namespace Interruption {

// Installs the handlers and starts the watchdog; once per process.
void install();
// The cancel flag the jobs poll.
const std::atomic<bool> &flag();
// 0, or the number of the signal that arrived.
int signalNumber();
// 128 + signalNumber().
int exitCode();

// A file the command made on its way (an imported song's WAV, a reserved output name): removed
// by the watchdog if the process has to be ended. forget() once it is finished or removed.
void track(const QString &path);
void forget(const QString &path);

} // namespace Interruption

} // namespace murmelo::cli
