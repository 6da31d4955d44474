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

    // How to cut the files of a log back to its whole records. A log its process left open
    // holds stale bytes after its records, and a process that died while compressing leaves
    // a broken last stream, or a stream ending inside a record it never finished.
    struct Repair {
        uint32_t count = 0;     // records of the repaired log, for its header
        qsizetype tailSize = 0; // record bytes the .ulog keeps after its header
        qsizetype zlogKeep = 0; // leading .zlog bytes kept
        QByteArray zlogAppend;  // a stream to append after them (empty: none)
        bool changesNothing(const QByteArray &ulog, const QByteArray &zlog) const;
    };
    // Nothing when the .ulog has no header (or is marked as sent).
    static std::optional<Repair> repair(const QByteArray &ulog, const QByteArray &zlog);

    static constexpr qsizetype kMaximumInflated = 64 * 1024 * 1024;
};

} // namespace murmelo
