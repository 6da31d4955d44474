#include "telemetry/log/VGRemoteLog.h"

#include "telemetry/VGFileWrites.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace murmelo {

namespace {

void storeHeader(unsigned char *at, uint32_t count)
{
    // One store of the count: a process that dies around it leaves either count, never a mix.
    const uint32_t bigEndian =
        std::endian::native == std::endian::little ? __builtin_bswap32(count) : count;
    at[0] = 0xdd;
    std::memcpy(at + 1, &bigEndian, 4);
}

uint32_t roundToPages(uint64_t size)
{
    const uint64_t page = uint64_t(::sysconf(_SC_PAGESIZE));
    const uint64_t rounded = (size + page - 1) / page * page;
    return rounded > UINT32_MAX ? UINT32_MAX / page * page : uint32_t(rounded);
}

// Room for the first block and the record that fills it, the usual most the .ulog holds.
uint32_t initialCapacity()
{
    return roundToPages(uint64_t(kVGRemoteLogHeader) + kVGRemoteLogBlock);
}

// Makes the mapping at least `needed` bytes long, with the room allocated on disk first: a full
// disk is then told here, as an error, instead of by a SIGBUS at a store into the mapping.
int reserve(vg_remote_log *log, uint64_t needed)
{
    if (needed <= log->capacity)
        return 0;
    const uint32_t capacity = roundToPages(std::max<uint64_t>(needed, uint64_t(log->capacity) * 2));
    if (capacity < needed)
        return EOVERFLOW;
    if (const int error = ::posix_fallocate(log->uncompressed_file, 0, off_t(capacity)))
        return error;
    void *moved = ::mremap(log->mapping, log->capacity, capacity, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED)
        return errno;
    log->mapping = static_cast<unsigned char *>(moved);
    log->capacity = capacity;
    return 0;
}

bool withExtension(const vg_remote_log *log, const char *extension, char *out, size_t size)
{
    const int n = snprintf(out, size, "%s.%s", log->path, extension);
    return n > 0 && size_t(n) < size;
}

// One compressor per thread, kept for every block: each block is whole before it is
// compressed, so it goes through in one call, and the compressor's tables are set up once.
struct Compressor {
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(6); // zlib's default level
    std::vector<unsigned char> output;
    ~Compressor() { libdeflate_free_compressor(compressor); }
};

// Deflates the uncompressed part, whole blocks, into one new zlib stream at the end of the
// .zlog. On failure the .zlog is cut back to what it was.
int compressInto(const vg_remote_log *log, uint32_t length)
{
    thread_local Compressor deflater;
    if (!deflater.compressor)
        return -1;
    deflater.output.resize(libdeflate_zlib_compress_bound(deflater.compressor, length));
    const size_t produced =
        libdeflate_zlib_compress(deflater.compressor, log->mapping + log->data_offset, length,
                                 deflater.output.data(), deflater.output.size());
    char zlogPath[1100];
    if (produced == 0 || !withExtension(log, "zlog", zlogPath, sizeof zlogPath))
        return -1;
    const int out = ::open(zlogPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (out < 0)
        return -1;
    struct stat before {};
    const bool ok =
        ::fstat(out, &before) == 0 && vgWriteAll(out, deflater.output.data(), produced) == 0;
    if (!ok && ::ftruncate(out, before.st_size) != 0) {
        // Nothing more to do: a later stream would follow a broken one either way.
    }
    ::close(out);
    return ok ? 0 : -1;
}

} // namespace

void vg_remote_log_init(vg_remote_log *log)
{
    std::memset(log, 0, sizeof *log);
    log->path_set = -1;
    log->uncompressed_file = -1;
}

int vg_remote_log_open(vg_remote_log *log, const char *basePath)
{
    vg_remote_log_close(log);
    const size_t length = std::strlen(basePath);
    if (length + 6 > sizeof log->path) { // room for ".ulog" and the terminator
        log->path_set = -1;
        return ENAMETOOLONG;
    }
    std::memcpy(log->path, basePath, length + 1);
    log->path_set = 0;
    char ulogPath[1100];
    withExtension(log, "ulog", ulogPath, sizeof ulogPath);
    const int fd = ::open(ulogPath, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    const uint32_t capacity = initialCapacity();
    int error = ::posix_fallocate(fd, 0, off_t(capacity));
    void *mapping = MAP_FAILED;
    if (!error) {
        mapping = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        error = mapping == MAP_FAILED ? errno : 0;
    }
    if (error) {
        if (::ftruncate(fd, 0) != 0) {
            // The file stays as the failed reservation left it; it has no header either way.
        }
        ::close(fd);
        return error;
    }
    log->uncompressed_file = fd;
    log->mapping = static_cast<unsigned char *>(mapping);
    log->capacity = capacity;
    log->count = 0;
    log->data_offset = kVGRemoteLogHeader;
    log->end_offset = kVGRemoteLogHeader;
    storeHeader(log->mapping, 0);
    return 0;
}

void vg_remote_log_close(vg_remote_log *log)
{
    if (log->uncompressed_file < 0)
        return;
    ::munmap(log->mapping, log->capacity);
    if (::ftruncate(log->uncompressed_file, off_t(log->end_offset)) != 0) {
        // The stale room stays; readers stop at the header's count all the same.
    }
    ::close(log->uncompressed_file);
    log->uncompressed_file = -1;
    log->mapping = nullptr;
    log->capacity = 0;
}

int vg_remote_log_append(vg_remote_log *log, const char *bytes, uint32_t size)
{
    if (log->uncompressed_file < 0)
        return EBADF;
    if (uint64_t(log->end_offset) + size > UINT32_MAX)
        return EOVERFLOW;
    const auto *record = reinterpret_cast<const unsigned char *>(bytes);
    const uint32_t u = log->end_offset - log->data_offset;
    uint32_t end = log->end_offset;
    int result = 0;
    // Compression runs when the record crosses a block boundary. After a failed compression
    // the uncompressed part is longer than a block and the next boundary is the next try.
    if ((uint64_t(u) + size) / kVGRemoteLogBlock != u / kVGRemoteLogBlock) {
        // The record's head fills the uncompressed part up to whole blocks, which become one
        // stream; the .ulog then starts anew with the rest of the record. Until the count below
        // is stored, a reader takes the log as it was before this record.
        const uint64_t whole = (uint64_t(u) + size) / kVGRemoteLogBlock * kVGRemoteLogBlock;
        const uint32_t k = uint32_t(whole - u);
        if (const int error = reserve(log, uint64_t(end) + k))
            return error;
        std::memcpy(log->mapping + end, record, k);
        record += k;
        size -= k;
        if (compressInto(log, u + k) == 0) {
            end = log->data_offset;
        } else {
            result = -1; // the blocks stay uncompressed; the rest of the record follows them
            end += k;
        }
    }
    if (const int error = reserve(log, uint64_t(end) + size))
        return error;
    std::memcpy(log->mapping + end, record, size);
    end += size;
    ++log->count;
    storeHeader(log->mapping, log->count);
    log->end_offset = end;
    return result;
}

size_t vg_remote_log_record(int32_t time, const char *message, uint32_t length, char *out,
                            size_t capacity)
{
    const size_t header = length < 32 ? 1 : length <= 0xffff ? 3 : 5;
    const size_t total = 1 + 5 + 5 + 8 + header + length;
    if (total > capacity)
        return 0;
    char *p = out;
    *p++ = char(0x82);
    std::memcpy(p, "\xa4Time", 5);
    p += 5;
    const uint32_t t = uint32_t(time);
    const unsigned char stamp[5] = {0xd2, uint8_t(t >> 24), uint8_t(t >> 16), uint8_t(t >> 8),
                                    uint8_t(t)};
    std::memcpy(p, stamp, 5);
    p += 5;
    std::memcpy(p, "\xa7Message", 8);
    p += 8;
    if (length < 32) {
        *p++ = char(0xa0 | length);
    } else if (length <= 0xffff) {
        *p++ = char(0xda);
        *p++ = char(length >> 8);
        *p++ = char(length);
    } else {
        *p++ = char(0xdb);
        *p++ = char(length >> 24);
        *p++ = char(length >> 16);
        *p++ = char(length >> 8);
        *p++ = char(length);
    }
    std::memcpy(p, message, length);
    return total;
}

uint64_t vg_remote_log_record_size(const unsigned char *head, size_t available)
{
    constexpr size_t kFixed = 1 + 5 + 5 + 8;
    if (available < kFixed + 1 || head[0] != 0x82 || std::memcmp(head + 1, "\xa4Time\xd2", 6) ||
        std::memcmp(head + 11, "\xa7Message", 8))
        return 0;
    const unsigned char *raw = head + kFixed;
    if ((raw[0] & 0xe0) == 0xa0)
        return kFixed + 1 + (raw[0] & 0x1f);
    if (raw[0] == 0xda && available >= kFixed + 3)
        return kFixed + 3 + (uint64_t(raw[1]) << 8 | raw[2]);
    if (raw[0] == 0xdb && available >= kFixed + 5)
        return kFixed + 5 +
               (uint64_t(raw[1]) << 24 | uint64_t(raw[2]) << 16 | uint64_t(raw[3]) << 8 | raw[4]);
    return 0;
}

uint64_t vg_remote_log_records_end(int fd, uint64_t fileSize, uint32_t count, uint32_t *found)
{
    uint64_t at = kVGRemoteLogHeader;
    uint32_t whole = 0;
    unsigned char head[kVGRemoteLogRecordHead];
    while (whole < count && at < fileSize) {
        const ssize_t n = ::pread(fd, head, sizeof head, off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        const uint64_t size = n > 0 ? vg_remote_log_record_size(head, size_t(n)) : 0;
        if (size == 0 || size > fileSize - at)
            break;
        at += size;
        ++whole;
    }
    *found = whole;
    return at;
}

} // namespace murmelo
