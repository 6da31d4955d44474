#pragma once

#include <QString>

namespace murmelo {

// Moves a file so that a crash at any moment leaves either no file or the complete file under
// `to`, never a partial one: the data is copied to a hidden name in the destination folder,
// synced, renamed into place and the folder synced; only then is `from` removed. On failure
// `from` is left as it was and the reason is returned in `error`.
bool moveFileDurably(const QString &from, const QString &to, QString *error);

// Removes a file; a missing file is not an error worth reporting.
void removeFileIfPresent(const QString &path);

} // namespace murmelo
