#pragma once

// Restricted dialect (see CrashState.h): MessagePack written by hand into a file descriptor
// through a fixed buffer, and text lines assembled in fixed buffers.

#include <cstddef>
#include <cstdint>

namespace murmelo::crash {

// Writes MessagePack values (the raw family for text, big-endian numbers) to a descriptor.
// A failed write marks the writer failed and later writes do nothing, so the report simply ends
// shorter.
class SafeWriter {
public:
    explicit SafeWriter(int fd) : fd_(fd) {}
    SafeWriter(const SafeWriter &) = delete;
    SafeWriter &operator=(const SafeWriter &) = delete;
    ~SafeWriter() { flush(); }

    void bytes(const void *data, size_t size);
    void byte(uint8_t value) { bytes(&value, 1); }
    void mapHeader(uint32_t count);
    void arrayHeader(uint32_t count);
    void raw(const char *text, size_t size);
    void text(const char *text);         // a NUL-terminated text as raw
    void int32(int32_t value);           // always the 5-byte form (0xd2)
    void unsignedNumber(uint64_t value); // 0xce, or 0xcf when 32 bits do not hold it
    void float64(double value);
    void nil() { byte(0xc0); }
    // Copies the rest of another descriptor's bytes; false when reading failed.
    bool copyFrom(int fd);

    bool flush();
    bool failed() const { return failed_; }
    uint64_t written() const { return written_ + used_; }

private:
    int fd_;
    unsigned char buffer_[4096];
    size_t used_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
};

// A text line in a fixed buffer; what does not fit is cut off.
class LineBuffer {
public:
    static constexpr size_t kCapacity = 1024;

    void clear() { size_ = 0; }
    LineBuffer &append(const char *text);
    LineBuffer &append(const char *text, size_t size);
    LineBuffer &appendChar(char c);
    LineBuffer &appendDecimal(int64_t value);
    // Lower-case hex digits, at least minDigits (zeros in front).
    LineBuffer &appendHex(uint64_t value, int minDigits);
    LineBuffer &padTo(size_t width); // blanks up to width; nothing when already longer

    const char *data() const { return text_; }
    size_t size() const { return size_; }

private:
    char text_[kCapacity];
    size_t size_ = 0;
};

// Plain helpers usable in a handler.
size_t safeLength(const char *text);
bool safeEquals(const char *a, size_t aSize, const char *b);
// Writes the whole buffer, retrying short writes and EINTR.
bool writeAll(int fd, const void *data, size_t size);
// Reads up to capacity bytes of a file; returns the count or -1.
long readSmallFile(const char *path, void *buffer, size_t capacity);
double wallClockSeconds();
// Sleeps, resuming after signals, for at least this long.
void sleepMillis(long millis);
double readBigEndianDouble(const unsigned char *bytes);

} // namespace murmelo::crash
