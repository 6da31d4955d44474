#pragma once

#include <QString>

namespace murmelo {

// The application's folders, all under the XDG variables so that tests can point them at
// scratch folders. Each is created, with missing parents, the first time it is asked for, and
// is private to the user (mode 0700).
namespace StandardPaths {

// Where the store file lives: $XDG_DATA_HOME/murmelo
QString libraryDirectory();
// Where saved audio lives: $XDG_DATA_HOME/murmelo/recordings
QString applicationSupportDirectory();
// Job output and recordings in progress: $TMPDIR/murmelo-<uid>/, with its trailing separator,
// so that "begins with the temporary folder" is a plain prefix test. When that name is held by
// anything but the user's own private folder, a private one beside it is used instead.
QString temporaryDirectory();
// Caches: $XDG_CACHE_HOME/murmelo
QString cachesDirectory();
// The user's music: $XDG_MUSIC_DIR or ~/Music (not created).
QString musicDirectory();
// Where a file the user makes is first offered: $XDG_DOCUMENTS_DIR or ~/Documents when it
// exists, the home folder when it does not (a dialog shown a missing folder falls back to the
// working folder, which is rarely the user's).
QString documentsDirectory();

} // namespace StandardPaths

} // namespace murmelo
