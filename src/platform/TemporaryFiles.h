#pragma once

#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <sys/types.h>

namespace murmelo::TemporaryFiles {

// A file name for the temporary folder that carries the id of the process writing it:
// "<owner>|<pid>|<unique><suffix>". Whatever a process leaves behind when it ends without
// cleaning up can then be told apart from the files of a process that still runs.
QString fileName(const QString &owner, const QString &unique, const QString &suffix);

// A fresh path in the application's temporary folder for a file this process is about to write:
// fileName() with the process's name as owner and a new UUID. The process name is
// QCoreApplication::applicationName() (Qt's default for it is the executable's name), or the
// executable's file name when no application object exists yet. Safe on any thread; the file is
// not created.
QString newPath(const QString &suffix);

// The process id a name made by fileName() carries; none for any other name (hidden files,
// names of older versions without an id).
std::optional<qint64> ownerProcess(const QString &fileName);

// True while a process with this id exists (also one of another user, which we may not signal).
bool processIsRunning(qint64 pid);

// Removes the files in `folder` whose writing process no longer runs, except those in `keep`
// (absolute paths still named by saved records). Files of running processes, of this one and
// of unknown names are never touched. Returns how many files were removed.
int removeFilesOfEndedProcesses(const QString &folder, const QSet<QString> &keep = {},
                                const std::function<bool(qint64)> &isRunning = processIsRunning);

// True when only `uid` can reach into `path`: a real folder (not a symbolic link to one), owned
// by `uid`, with mode 0700. Another user cannot add, replace or read a file in such a folder.
bool isPrivateFolder(const QString &path, uid_t uid);

// The work folder of user `uid` under `base` (the shared temporary folder), without its trailing
// separator: "<base>/murmelo-<uid>", made 0700 when missing. When something else holds that name
// (another user's folder, a folder others may write into, a symbolic link, a file), a private
// "<base>/murmelo-<uid>.XXXXXX" is used instead: the one an earlier run made, or a fresh one, so
// that every run shares it and the files of ended runs are found there. Empty when no private
// folder can be had; nothing is ever written into a folder that fails the test.
QString privateWorkFolder(const QString &base, uid_t uid);

} // namespace murmelo::TemporaryFiles
