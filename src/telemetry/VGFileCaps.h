#pragma once

#include "telemetry/codec/VGValue.h"

#include <QString>
#include <optional>

namespace murmelo {

// Every telemetry file is measured before it is read. Small records (session records, sequence
// numbers, stored permissions, the storage version) have a small cap; queue files and crash
// reports, which are posted as they are, have the upload cap. A file over its cap, or one that
// does not decode, is moved once into "set_aside" below the telemetry folder, where nothing
// reads or posts it, and the move is logged.
namespace VGFileCaps {

inline constexpr qint64 kSmallRecord = 64 * 1024;
// The largest legitimate body: a session's end with its 16 MB log, and its event headers.
inline constexpr qint64 kUpload = 32 * 1024 * 1024;
inline constexpr char kSetAsideFolder[] = "set_aside";

// Moves PATH into the set-aside folder under a name of its own and logs why. The new path, or
// empty when the file could not be moved (it is then removed, so that it is never read again).
QString setAside(const QString &path, const QString &why);

// A small MessagePack record: its bytes as a data value, nothing when the file is missing,
// unreadable or over kSmallRecord (then set aside).
std::optional<VGValue> readSmallRecord(const QString &path);

// Whether the file at PATH may be posted: within kUpload and one whole MessagePack map. When
// not, it is set aside and false returned.
bool checkUpload(const QString &path);

} // namespace VGFileCaps

} // namespace murmelo
