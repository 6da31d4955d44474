#pragma once

#include <QString>
#include <memory>

namespace murmelo {
class Recording;
class StoreContext;
} // namespace murmelo

namespace murmelo::cli {

// Exit codes as for every command: 0 done, 1 failed, 2 bad usage.
enum ExitCode { Ok = 0, Failure = 1, Usage = 2 };

// "murmelo: MESSAGE" on standard error.
void printError(const QString &message);
// One line on standard output.
void printOut(const QString &text);
// Prints the message and returns Failure, so a command can `return fail(...)`.
int fail(const QString &message);
// Prints the message and where help for `command` is, and returns Usage.
int usage(const char *command, const QString &message);

// The saved recording `id` (an identity URI or a row id) names, from the library's store opened in
// `context` (work a killed command or application left half done is finished first, as at the
// application's start, so a command sees the library as it really is). Null after printing why when
// there is none: an empty or missing store file is not opened, so no store is made for a machine
// without one.
std::shared_ptr<Recording> openSavedRecording(StoreContext &context, const QString &id);

} // namespace murmelo::cli
