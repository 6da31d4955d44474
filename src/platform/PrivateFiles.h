#pragma once

#include <QString>

namespace murmelo::PrivateFiles {

// Files that hold the user's words (the store, its journals, the settings) are for the user's
// eyes only: files 0600, their folders 0700. These make them so, and tighten what an older
// version left looser. Symbolic links and other users' files are left as they are: whoever put
// them there chose them.

// Creates `path` with its missing parents, and makes the folder itself 0700.
void makeFolder(const QString &path);
// Makes `path`'s folder private, creates `path` empty with mode 0600 when missing (never through
// a symbolic link), or tightens it to 0600 when it is there.
void makeFile(const QString &path);
// Tightens `path` to 0600 when it is there.
void tightenFile(const QString &path);

} // namespace murmelo::PrivateFiles
