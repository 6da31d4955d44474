#pragma once

#include "telemetry/codec/VGValue.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace murmelo {

// Reads a session log back into its records, for people debugging uploads and for tests. A log
// as uploaded is an array header for all records, zero or more zlib streams holding the older
// record bytes, then the newer record bytes uncompressed; on disk the header and the newer bytes
// are the ".ulog" file and the streams the ".zlog" file.
class VGLogReader {
public:
    // The records, or nothing when the bytes are not such a log. Inflated data is capped at
    // kMaximumInflated so that a hostile stream cannot exhaust memory.
    static std::optional<VGValue> readUpload(const QByteArray &log);
    static std::optional<VGValue> readFiles(const QByteArray &ulog, const QByteArray &zlog);
    // The two files of a log given the path of either.
    static std::optional<VGValue> readLogAtPath(const QString &path);

    static constexpr qsizetype kMaximumInflated = 64 * 1024 * 1024;
};

} // namespace murmelo
