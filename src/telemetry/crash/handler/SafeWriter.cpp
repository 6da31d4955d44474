#include "telemetry/crash/handler/SafeWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace murmelo::crash {

namespace {
void putBigEndian(unsigned char *out, uint64_t value, int size)
{
    for (int i = size - 1; i >= 0; --i) {
        out[i] = static_cast<unsigned char>(value & 0xff);
        value >>= 8;
    }
}
} // namespace

bool writeAll(int fd, const void *data, size_t size)
{
    const auto *p = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

long readSmallFile(const char *path, void *buffer, size_t capacity)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t total = 0;
    auto *out = static_cast<unsigned char *>(buffer);
    while (total < capacity) {
        const ssize_t n = ::read(fd, out + total, capacity - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return -1;
        }
        if (n == 0)
            break;
        total += static_cast<size_t>(n);
    }
    ::close(fd);
    return static_cast<long>(total);
}

double wallClockSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void sleepMillis(long millis)
{
    timespec pause{millis / 1000, (millis % 1000) * 1000000};
    while (::nanosleep(&pause, &pause) < 0 && errno == EINTR) {
    }
}

double readBigEndianDouble(const unsigned char *bytes)
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | bytes[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

size_t safeLength(const char *text)
{
    size_t n = 0;
    while (text[n] != '\0')
        ++n;
    return n;
}

bool safeEquals(const char *a, size_t aSize, const char *b)
{
    const size_t bSize = safeLength(b);
    return aSize == bSize && std::memcmp(a, b, aSize) == 0;
}

void SafeWriter::bytes(const void *data, size_t size)
{
    if (failed_)
        return;
    const auto *p = static_cast<const unsigned char *>(data);
    while (size > 0) {
        if (used_ == sizeof buffer_ && !flush())
            return;
        const size_t room = sizeof buffer_ - used_;
        const size_t take = size < room ? size : room;
        std::memcpy(buffer_ + used_, p, take);
        used_ += take;
        p += take;
        size -= take;
    }
}

bool SafeWriter::flush()
{
    if (failed_)
        return false;
    if (used_ > 0 && !writeAll(fd_, buffer_, used_)) {
        failed_ = true;
        return false;
    }
    written_ += used_;
    used_ = 0;
    return true;
}

void SafeWriter::mapHeader(uint32_t count)
{
    unsigned char head[5];
    if (count < 16) {
        byte(static_cast<uint8_t>(0x80 | count));
    } else if (count <= 0xffff) {
        head[0] = 0xde;
        putBigEndian(head + 1, count, 2);
        bytes(head, 3);
    } else {
        head[0] = 0xdf;
        putBigEndian(head + 1, count, 4);
        bytes(head, 5);
    }
}

void SafeWriter::arrayHeader(uint32_t count)
{
    unsigned char head[5];
    if (count < 16) {
        byte(static_cast<uint8_t>(0x90 | count));
    } else if (count <= 0xffff) {
        head[0] = 0xdc;
        putBigEndian(head + 1, count, 2);
        bytes(head, 3);
    } else {
        head[0] = 0xdd;
        putBigEndian(head + 1, count, 4);
        bytes(head, 5);
    }
}

void SafeWriter::raw(const char *text, size_t size)
{
    unsigned char head[5];
    if (size < 32) {
        byte(static_cast<uint8_t>(0xa0 | size));
    } else if (size <= 0xffff) {
        head[0] = 0xda;
        putBigEndian(head + 1, size, 2);
        bytes(head, 3);
    } else {
        head[0] = 0xdb;
        putBigEndian(head + 1, size, 4);
        bytes(head, 5);
    }
    bytes(text, size);
}

void SafeWriter::text(const char *value)
{
    raw(value, safeLength(value));
}

void SafeWriter::int32(int32_t value)
{
    unsigned char out[5] = {0xd2};
    putBigEndian(out + 1, static_cast<uint32_t>(value), 4);
    bytes(out, 5);
}

void SafeWriter::unsignedNumber(uint64_t value)
{
    unsigned char out[9];
    if (value <= 0xffffffffu) {
        out[0] = 0xce;
        putBigEndian(out + 1, value, 4);
        bytes(out, 5);
    } else {
        out[0] = 0xcf;
        putBigEndian(out + 1, value, 8);
        bytes(out, 9);
    }
}

void SafeWriter::float64(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    unsigned char out[9] = {0xcb};
    putBigEndian(out + 1, bits, 8);
    bytes(out, 9);
}

bool SafeWriter::copyFrom(int fd)
{
    unsigned char piece[512];
    for (;;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes(piece, static_cast<size_t>(n));
    }
}

LineBuffer &LineBuffer::append(const char *text, size_t size)
{
    for (size_t i = 0; i < size && size_ < kCapacity; ++i)
        text_[size_++] = text[i];
    return *this;
}

LineBuffer &LineBuffer::append(const char *text)
{
    return append(text, safeLength(text));
}

LineBuffer &LineBuffer::appendChar(char c)
{
    return append(&c, 1);
}

LineBuffer &LineBuffer::appendDecimal(int64_t value)
{
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (negative)
        appendChar('-');
    while (n > 0)
        appendChar(digits[--n]);
    return *this;
}

LineBuffer &LineBuffer::appendHex(uint64_t value, int minDigits)
{
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value & 0xf];
        value >>= 4;
    } while (value > 0);
    for (int i = n; i < minDigits; ++i)
        appendChar('0');
    while (n > 0)
        appendChar(digits[--n]);
    return *this;
}

LineBuffer &LineBuffer::padTo(size_t width)
{
    while (size_ < width && size_ < kCapacity)
        text_[size_++] = ' ';
    return *this;
}

} // namespace murmelo::crash
