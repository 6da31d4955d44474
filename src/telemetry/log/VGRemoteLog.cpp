#include "telemetry/log/VGRemoteLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace murmelo {

namespace {

int writeAll(int fd, const char *bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += n;
        size -= size_t(n);
    }
    return 0;
}

int writeAllAt(int fd, const char *bytes, size_t size, uint32_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, bytes, size, off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += n;
        size -= size_t(n);
        offset += uint32_t(n);
    }
    return 0;
}

int writeHeader(int fd, uint32_t count)
{
    const unsigned char header[5] = {0xdd, uint8_t(count >> 24), uint8_t(count >> 16),
                                     uint8_t(count >> 8), uint8_t(count)};
    for (;;) {
        const ssize_t n = ::pwrite(fd, header, 5, 0);
        if (n == 5)
            return 0;
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 ? errno : EIO;
    }
}

bool withExtension(const vg_remote_log *log, const char *extension, char *out, size_t size)
{
    const int n = snprintf(out, size, "%s.%s", log->path, extension);
    return n > 0 && size_t(n) < size;
}

// One deflate stream reused for every block of the process: resetting it is far cheaper than
// setting one up each time.
struct Deflater {
    z_stream stream{};
    bool ready = false;
    Deflater() { ready = deflateInit(&stream, Z_DEFAULT_COMPRESSION) == Z_OK; }
    ~Deflater()
    {
        if (ready)
            deflateEnd(&stream);
    }
};

// Deflates `length` bytes of the .ulog starting at `from` into one new zlib stream at the end of
// the .zlog. On failure the .zlog is cut back to what it was.
int compressInto(const vg_remote_log *log, uint32_t from, uint32_t length)
{
    thread_local Deflater deflater;
    if (!deflater.ready || deflateReset(&deflater.stream) != Z_OK)
        return -1;
    char zlogPath[1100];
    if (!withExtension(log, "zlog", zlogPath, sizeof zlogPath))
        return -1;
    const int out = ::open(zlogPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0)
        return -1;
    struct stat before {};
    if (::fstat(out, &before) != 0) {
        ::close(out);
        return -1;
    }
    constexpr size_t kChunk = 65536;
    auto input = std::make_unique<unsigned char[]>(kChunk);
    auto output = std::make_unique<unsigned char[]>(kChunk);
    z_stream &z = deflater.stream;
    bool ok = true;
    uint32_t done = 0;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        const uint32_t want = uint32_t(std::min<size_t>(kChunk, length - done));
        ssize_t got =
            want ? ::pread(log->uncompressed_file, input.get(), want, off_t(from + done)) : 0;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || uint32_t(got) != want) {
            ok = false;
            break;
        }
        done += want;
        flush = done == length ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = input.get();
        z.avail_in = want;
        do {
            z.next_out = output.get();
            z.avail_out = kChunk;
            const int result = deflate(&z, flush);
            if (result == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            const size_t produced = kChunk - z.avail_out;
            if (produced && writeAll(out, reinterpret_cast<char *>(output.get()), produced) != 0) {
                ok = false;
                break;
            }
        } while (z.avail_out == 0);
    }
    if (!ok) {
        if (::ftruncate(out, before.st_size) != 0) {
            // Nothing more to do: a later stream would follow a broken one either way.
        }
        ::close(out);
        return -1;
    }
    ::close(out);
    return 0;
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
    const int fd = ::open(ulogPath, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    const int error = writeHeader(fd, 0);
    if (error) {
        ::close(fd);
        return error;
    }
    log->uncompressed_file = fd;
    log->count = 0;
    log->data_offset = 5;
    log->end_offset = 5;
    return 0;
}

void vg_remote_log_close(vg_remote_log *log)
{
    if (log->uncompressed_file >= 0)
        ::close(log->uncompressed_file);
    log->uncompressed_file = -1;
}

int vg_remote_log_append(vg_remote_log *log, const char *bytes, uint32_t size)
{
    const int fd = log->uncompressed_file;
    if (fd < 0)
        return EBADF;
    if (uint64_t(log->end_offset) + size > UINT32_MAX)
        return EOVERFLOW;
    const uint32_t u = log->end_offset - log->data_offset;
    uint32_t end = log->end_offset;
    int result = 0;
    // Compression runs when the record crosses a block boundary. After a failed compression
    // the uncompressed part is longer than a block and the next boundary is the next try.
    if ((uint64_t(u) + size) / kVGRemoteLogBlock == u / kVGRemoteLogBlock) {
        if (int error = writeAllAt(fd, bytes, size, end))
            return error;
        end += size;
    } else {
        // Fill the uncompressed part up to whole blocks, deflate them, and start the .ulog anew
        // with what is left of the record.
        const uint64_t whole = (uint64_t(u) + size) / kVGRemoteLogBlock * kVGRemoteLogBlock;
        const uint32_t k = uint32_t(whole - u);
        if (int error = writeAllAt(fd, bytes, k, end))
            return error;
        end += k;
        if (compressInto(log, log->data_offset, u + k) == 0) {
            if (::ftruncate(fd, log->data_offset) != 0)
                return errno;
            end = log->data_offset;
        } else {
            result = -1; // the blocks stay uncompressed; the rest of the record follows them
        }
        if (int error = writeAllAt(fd, bytes + k, size - k, end))
            return error;
        end += size - k;
    }
    ++log->count;
    log->end_offset = end;
    if (int error = writeHeader(fd, log->count))
        return error;
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

} // namespace murmelo
