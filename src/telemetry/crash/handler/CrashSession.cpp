#include "telemetry/crash/handler/CrashSession.h"

#include "telemetry/log/VGRemoteLog.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo::crash {

LineBuffer &sdkPath(LineBuffer &path, const char *relative)
{
    const CrashState &state = crashState();
    path.clear();
    path.append(state.sdkFolder, state.sdkFolderLength).append("/").append(relative);
    return path;
}

namespace {

// Buffers of the capturing thread, kept off the (alternate) stack.
LineBuffer g_path;
unsigned char g_sessionId[50];
long g_sessionIdSize = -1; // the packed id as stored, -1 when unreadable
char g_sessionIdText[50];

LineBuffer &sdkPath(const char *relative)
{
    return sdkPath(g_path, relative);
}

bool sessionIdIsSafe(const char *text, size_t size)
{
    if (size == 0)
        return false;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
              c == '-'))
            return false;
    }
    return true;
}

void readSessionId()
{
    g_sessionIdSize = -1;
    g_sessionIdText[0] = '\0';
    sdkPath("session_info/last_session_id.mpack").appendChar('\0');
    const long n = readSmallFile(g_path.data(), g_sessionId, 49);
    size_t size = 0, offset = 0;
    if (n >= 1 && (g_sessionId[0] & 0xe0) == 0xa0) {
        size = g_sessionId[0] & 0x1f;
        offset = 1;
    } else if (n >= 3 && g_sessionId[0] == 0xda) {
        size = (size_t(g_sessionId[1]) << 8) | g_sessionId[2];
        offset = 3;
    }
    // The id names files: anything but a plain id is ignored rather than followed as a path.
    if (offset == 0 || size + offset != static_cast<size_t>(n) ||
        !sessionIdIsSafe(reinterpret_cast<const char *>(g_sessionId + offset), size))
        return;
    std::memcpy(g_sessionIdText, g_sessionId + offset, size);
    g_sessionIdText[size] = '\0';
    g_sessionIdSize = n;
}

bool readTime(const char *relative, double &value)
{
    unsigned char packed[16];
    sdkPath(relative).appendChar('\0');
    const long n = readSmallFile(g_path.data(), packed, sizeof packed);
    if (n != 9 || packed[0] != 0xcb)
        return false;
    value = readBigEndianDouble(packed + 1);
    return true;
}

LineBuffer &sequencePath()
{
    return sdkPath("session_info/").append(g_sessionIdText).append(".seq.mpack").appendChar('\0');
}

} // namespace

int32_t readSequence()
{
    if (g_sessionIdSize < 0)
        return -1;
    unsigned char packed[16];
    const long n = readSmallFile(sequencePath().data(), packed, sizeof packed);
    if (n < 1)
        return -1;
    const unsigned char kind = packed[0];
    if (kind <= 0x7f && n == 1)
        return kind;
    int64_t value = 0;
    int width = 0;
    bool isSigned = false;
    switch (kind) {
    case 0xcc:
        width = 1;
        break;
    case 0xcd:
        width = 2;
        break;
    case 0xce:
        width = 4;
        break;
    case 0xd0:
        width = 1;
        isSigned = true;
        break;
    case 0xd1:
        width = 2;
        isSigned = true;
        break;
    case 0xd2:
        width = 4;
        isSigned = true;
        break;
    default:
        return -1;
    }
    if (n != 1 + width)
        return -1;
    uint64_t bits = 0;
    for (int i = 0; i < width; ++i)
        bits = (bits << 8) | packed[1 + i];
    if (isSigned && (bits & (uint64_t(1) << (width * 8 - 1))))
        value = static_cast<int64_t>(bits) - (int64_t(1) << (width * 8));
    else
        value = static_cast<int64_t>(bits);
    return value < INT32_MIN || value > INT32_MAX ? -1 : static_cast<int32_t>(value);
}

namespace {

void writeSequence(int32_t value)
{
    const int fd = ::open(sequencePath().data(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return;
    const uint32_t bits = static_cast<uint32_t>(value);
    const unsigned char packed[5] = {
        0xd2, static_cast<unsigned char>(bits >> 24), static_cast<unsigned char>(bits >> 16),
        static_cast<unsigned char>(bits >> 8), static_cast<unsigned char>(bits)};
    writeAll(fd, packed, sizeof packed);
    ::close(fd);
}

} // namespace

void readCrashSession(SessionFacts &facts)
{
    readSessionId();
    facts.sequence = readSequence();
    if (facts.sequence >= 0)
        writeSequence(facts.sequence + 1);
    facts.hasStart = readTime("session_info/last_session_start_time.mpack", facts.start);
    facts.hasFragment =
        readTime("session_info/last_session_fragment_start_time.mpack", facts.fragment);
}

void writeSessionPairs(SafeWriter &out, const char *type, const SessionFacts &facts, double now)
{
    out.text("timestamp");
    out.int32(static_cast<int32_t>(now));
    out.text("type");
    out.text(type);
    out.text("session_id");
    if (g_sessionIdSize > 0)
        out.bytes(g_sessionId, static_cast<size_t>(g_sessionIdSize));
    else
        out.raw("", 0);
    out.text("sequence_number");
    out.int32(facts.sequence);
    out.text("start_time");
    facts.hasStart ? out.float64(facts.start) : out.int32(0);
    out.text("duration");
    facts.hasStart ? out.float64(now - facts.start) : out.int32(0);
    out.text("fragment_start_time");
    facts.hasFragment ? out.float64(facts.fragment) : out.int32(0);
    out.text("fragment_duration");
    facts.hasFragment ? out.float64(now - facts.fragment) : out.int32(0);
}

namespace {

void markSent(const char *path)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    static const char kMark[5] = {'s', 'e', 'n', 't', '\0'};
    const bool marked = ::pwrite(fd, kMark, sizeof kMark, 0) == static_cast<ssize_t>(sizeof kMark);
    (void)marked;
    ::close(fd);
}

} // namespace

bool writeLog(SafeWriter &out)
{
    if (g_sessionIdSize < 0)
        return false;
    sdkPath("logs/").append(g_sessionIdText).append(".zlog").appendChar('\0');
    if (::access(g_path.data(), F_OK) == 0)
        return false;
    sdkPath("logs/").append(g_sessionIdText).append(".ulog").appendChar('\0');
    const int fd = ::open(g_path.data(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    unsigned char head[5] = {};
    const bool usable = ::fstat(fd, &info) == 0 && info.st_size >= 5 &&
                        ::pread(fd, head, 5, 0) == 5 && head[0] == 0xdd;
    if (!usable) {
        ::close(fd);
        return false;
    }
    const uint32_t count = static_cast<uint32_t>(head[1]) << 24 |
                           static_cast<uint32_t>(head[2]) << 16 |
                           static_cast<uint32_t>(head[3]) << 8 | head[4];
    uint32_t found = 0;
    const uint64_t end =
        vg_remote_log_records_end(fd, static_cast<uint64_t>(info.st_size), count, &found);
    if (end > 0x7fffffff) {
        ::close(fd);
        return false;
    }
    // The count of the records found: a damaged record ends the log there, still well formed.
    const auto size = static_cast<uint32_t>(end);
    const unsigned char heads[10] = {0xdb,
                                     static_cast<unsigned char>(size >> 24),
                                     static_cast<unsigned char>(size >> 16),
                                     static_cast<unsigned char>(size >> 8),
                                     static_cast<unsigned char>(size),
                                     0xdd,
                                     static_cast<unsigned char>(found >> 24),
                                     static_cast<unsigned char>(found >> 16),
                                     static_cast<unsigned char>(found >> 8),
                                     static_cast<unsigned char>(found)};
    out.bytes(heads, sizeof heads);
    uint64_t copied = 5;
    unsigned char piece[512];
    while (copied < size) {
        const size_t want = size - copied < sizeof piece ? size - copied : sizeof piece;
        const ssize_t n = ::pread(fd, piece, want, static_cast<off_t>(copied));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.bytes(piece, static_cast<size_t>(n));
        copied += static_cast<uint64_t>(n);
    }
    ::close(fd);
    // A log that shrank under us cannot be completed: pad it with zero bytes (no records are
    // lost that were not already gone) so the report stays well formed.
    while (copied < size) {
        const unsigned char zero = 0;
        out.bytes(&zero, 1);
        ++copied;
    }
    return !out.failed();
}

void markSessionSent()
{
    sdkPath("logs/").append(g_sessionIdText).append(".ulog").appendChar('\0');
    markSent(g_path.data());
    sdkPath("session_info/").append(g_sessionIdText).append(".session.mpack").appendChar('\0');
    markSent(g_path.data());
}

} // namespace murmelo::crash
