#pragma once

#include "telemetry/codec/VGValue.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace murmelo {

// MessagePack as the telemetry stores and uploads it: the first revision of the format with the
// "raw" family for strings and byte buffers (no str8, bin or ext). Numbers are written in the
// fixed width of their storage type, never compacted, so a record's layout does not depend on
// its values. Failure is an absent result; nothing is reported in words.
class VGMessagePack {
public:
    // The packed bytes, or a null QByteArray when memory runs out. Marked buffers inside the value
    // are copied verbatim.
    static QByteArray pack(const VGValue &value);
    // The same, as a marked buffer ready to nest inside another value without re-encoding.
    static VGValue packToValue(const VGValue &value);

    // The first value in the bytes (later bytes are ignored), or nothing when the bytes are
    // empty, truncated, malformed or nested deeper than kMaximumDepth.
    static std::optional<VGValue> unpack(const char *bytes, size_t size);
    // The same, also telling how many bytes the value took. With keepBytes, raw payloads that
    // are not text come back as byte buffers instead of their description (for tools that must
    // look inside them).
    static std::optional<VGValue> unpack(const char *bytes, size_t size, size_t *used,
                                         bool keepBytes = false);
    static std::optional<VGValue> unpack(const QByteArray &bytes);
    // The value when it is a map (array), otherwise nothing.
    static std::optional<VGValue> unpackDictionary(const QByteArray &bytes);
    static std::optional<VGValue> unpackArray(const QByteArray &bytes);

    // A file's bytes as a marked buffer; nothing when it cannot be read.
    static std::optional<VGValue> messagePackWithContentsOfFile(const QString &path);

    // Headers in their 5-byte forms whatever the count, so that a container's header can be
    // written first and its elements later, and a count patched in place.
    static QByteArray packArrayHeaderOnly(uint32_t count);
    static QByteArray packMapHeaderOnly(uint32_t count);
    static QByteArray packRawHeaderOnly(uint32_t length);
    // The same into a caller's 5-byte buffer (for code that must not allocate).
    static void writeHeader(uint8_t lead, uint32_t count, char out[5]);

    static constexpr int kMaximumDepth = 256;
};

} // namespace murmelo
