#pragma once

#include <QSet>
#include <QString>
#include <memory>

namespace murmelo {

// The rules for touching a recording's audio files. A record names its files by absolute path,
// and that path comes from a file anyone can edit; so the library only ever removes files in its
// own folders, and only removes unnamed files when no save anywhere is between moving a file in
// and committing the record that names it.
namespace RecordingFiles {

// True when `path` names an entry directly inside the recordings folder or the application's
// own temporary folder (symbolic links in the folder part resolved).
bool isLibraryFile(const QString &path);

// Removes the file when it is a library file; anything else is left where it is and logged.
void removeLibraryFile(const QString &path);

// Held (a shared lock on a file beside the recordings folder, across processes) from the moment a
// file is moved into the recordings folder until the save that names it has committed. The
// lock goes with the last holder, and with the process when it dies.
class SaveInProgress;
std::shared_ptr<SaveInProgress> beginSave();

// Removes the audio files in the recordings folder that no path in `named` names. Does nothing
// while a save is in progress in any process, so a file moved in for a record not yet committed
// is never taken. Returns how many files went.
int removeOrphans(const QSet<QString> &named);

} // namespace RecordingFiles

} // namespace murmelo
