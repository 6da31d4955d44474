#pragma once

#include <cstddef>
#include <cstdint>

namespace murmelo {

// One session's log on disk, as plain data so that crash capture can read it without locks:
//   <base>.ulog  a 5-byte array header (0xdd, big-endian count of every record of the log)
//                followed by the newest record bytes, always fewer than 64 KiB;
//   <base>.zlog  complete zlib streams, one per 64 KiB block of older record bytes.
// Inflating the .zlog and appending the .ulog tail gives all records in order.
//
// While a log is open its .ulog is a shared mapping of a file with room reserved on disk ahead
// of the records: an append is a copy into the page cache, with no system call, and the kernel
// keeps those pages when the process dies, by a signal or SIGKILL alike. Past the records the
// open file holds stale bytes; the header's count says where the records end, and closing the
// log cuts the file back to them (a log left open by a dead process is cut back when it is next
// read, see VGLogReader::repair).
struct vg_remote_log {
    char path[1024];        // base path, without extension
    int path_set;           // 0 when path holds the base path, -1 when it would not fit
    int uncompressed_file;  // descriptor of the .ulog file, -1 when closed
    uint32_t count;         // records in the log
    uint32_t data_offset;   // where records start in the .ulog (after its header)
    uint32_t end_offset;    // end of the records in the .ulog
    unsigned char *mapping; // the .ulog's first `capacity` bytes, shared with the file
    uint32_t capacity;      // bytes mapped, all allocated on disk
};

inline constexpr uint32_t kVGRemoteLogBlock = 65536;
inline constexpr uint32_t kVGRemoteLogHeader = 5;

void vg_remote_log_init(vg_remote_log *log);
// Creates (truncating) the .ulog of the base path with an empty header, reserving its room on
// disk. 0 or an errno (ENOSPC or EFBIG when the disk or the file size limit refuses the room).
int vg_remote_log_open(vg_remote_log *log, const char *basePath);
// Cuts the .ulog back to its records and closes it.
void vg_remote_log_close(vg_remote_log *log);
// Appends one record's bytes, moving whole 64 KiB blocks into the .zlog. 0 on success, EBADF
// when closed, EOVERFLOW past 4 GiB, another errno (nothing appended), or -1 when compression
// failed (the record is then kept uncompressed, so the log stays whole).
int vg_remote_log_append(vg_remote_log *log, const char *bytes, uint32_t size);
// The record for a message: {"Time": int32 seconds, "Message": raw bytes} in fixed formats.
// Writes into out (at most capacity bytes) and returns the length, or 0 when it does not fit.
size_t vg_remote_log_record(int32_t time, const char *message, uint32_t length, char *out,
                            size_t capacity);
inline constexpr size_t kVGRemoteLogRecordOverhead = 1 + 5 + 5 + 8 + 5;

// Reading records back without decoding them; no allocation, so crash capture can use these.
// The whole size of the record whose first bytes are `head` (`available` of them, enough when
// at least kVGRemoteLogRecordHead), or 0 when they do not start a record of the form above.
inline constexpr size_t kVGRemoteLogRecordHead = 1 + 5 + 5 + 8 + 5;
uint64_t vg_remote_log_record_size(const unsigned char *head, size_t available);
// Walks up to `count` whole records of a .ulog that starts with a record (it has no compressed
// part) from its header on, within `fileSize` bytes. Returns where the last whole one ends and
// sets *found to how many there were.
uint64_t vg_remote_log_records_end(int fd, uint64_t fileSize, uint32_t count, uint32_t *found);

} // namespace murmelo
