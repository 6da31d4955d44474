#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

class QProcess;
class QWidget;

namespace murmelo::test {

// The scratch root that TestMain made for this test process; XDG_DATA_HOME, XDG_CONFIG_HOME,
// XDG_CACHE_HOME, XDG_MUSIC_DIR and TMPDIR all point below it.
QString scratchRoot();

// Runs the Qt event loop until the predicate holds or the timeout passes; returns the predicate.
bool waitUntil(const std::function<bool()> &predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs pending events (posted main-queue work included) a few times.
void drainEvents();

// Path of a file under tests/data.
QString testDataPath(const QString &name);

// Grabs the widget and writes it as NAME.png to $MURMELO_SCREENSHOT_DIR (docs/screenshots when
// made by scripts/screenshots.sh), or to the scratch folder. Returns the path, empty on failure.
QString saveScreenshot(QWidget *widget, const QString &name);

// What a finished process left: its exit code (-1 when it crashed or hung) and its output.
struct ProcessOutcome {
    int exitCode;
    QString out;
    QString err;
};

// Runs the built `murmelo` executable with these arguments and waits for it (one minute at most).
ProcessOutcome runMurmelo(const QStringList &arguments);

// Asks a child process to end, and ends it if it does not within a few seconds.
void stopProcess(QProcess *process);

// Runs a command line through /bin/sh and returns its exit status (stdout and stderr discarded
// unless captured by the caller's redirections).
int runShell(const QString &commandLine);

} // namespace murmelo::test
