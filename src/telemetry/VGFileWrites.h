#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

namespace murmelo {

// Writes all bytes at the descriptor's position, resuming after interruptions and short writes.
// Returns 0 or the errno (EIO when the descriptor takes nothing).
int vgWriteAll(int fd, const void *bytes, size_t size);

// What the telemetry keeps is the user's alone: its folders are 0700 and its files 0600,
// whatever the process's umask.
inline constexpr unsigned kVGPrivateFolderMode = 0700;
inline constexpr unsigned kVGPrivateFileMode = 0600;

// Creates the folder (and missing parents) and makes the folder itself 0700.
bool vgMakePrivateFolder(const QString &path);
// Replaces the file's contents in one step (a reader sees the old or the new bytes), mode 0600.
bool vgWriteFileAtomically(const QString &path, const QByteArray &bytes);
// Makes every folder below ROOT, ROOT included, 0700 and every file 0600; symbolic links are
// neither followed nor changed. For files left by earlier versions.
void vgTightenTree(const QString &root);

} // namespace murmelo
