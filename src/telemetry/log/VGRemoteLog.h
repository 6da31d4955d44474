#pragma once

#include <cstddef>
#include <cstdint>

namespace murmelo {

// One session's log on disk, as plain data so that crash capture can read it without locks:
//   <base>.ulog  a 5-byte array header (0xdd, big-endian count of every record of the log)
//                followed by the newest record bytes, always fewer than 64 KiB;
//   <base>.zlog  complete zlib streams, one per 64 KiB block of older record bytes.
// Inflating the .zlog and appending the .ulog tail gives all records in order.
struct vg_remote_log {
    char path[1024];       // base path, without extension
    int path_set;          // 0 when path holds the base path, -1 when it would not fit
    int uncompressed_file; // descriptor of the .ulog file, -1 when closed
    uint32_t count;        // records in the log
    uint32_t data_offset;  // where records start in the .ulog (after its header)
    uint32_t end_offset;   // end of the .ulog
};

inline constexpr uint32_t kVGRemoteLogBlock = 65536;

void vg_remote_log_init(vg_remote_log *log);
// Creates (truncating) the .ulog of the base path with an empty header. 0 or an errno.
int vg_remote_log_open(vg_remote_log *log, const char *basePath);
void vg_remote_log_close(vg_remote_log *log);
// Appends one record's bytes, moving whole 64 KiB blocks into the .zlog. 0 on success, EBADF
// when closed, EOVERFLOW past 4 GiB, another errno, or -1 when compression failed (the record
// is then kept uncompressed, so the log stays whole).
int vg_remote_log_append(vg_remote_log *log, const char *bytes, uint32_t size);
// The record for a message: {"Time": int32 seconds, "Message": raw bytes} in fixed formats.
// Writes into out (at most capacity bytes) and returns the length, or 0 when it does not fit.
size_t vg_remote_log_record(int32_t time, const char *message, uint32_t length, char *out,
                            size_t capacity);
inline constexpr size_t kVGRemoteLogRecordOverhead = 1 + 5 + 5 + 8 + 5;

} // namespace murmelo
