#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstddef>
#include <stdexcept>

namespace murmelo {

// Raised by the first Base64 family when an output buffer is too small for its input. The
// family's own functions always size their buffers, so ordinary input never raises it.
class Base64AdditionsException : public std::runtime_error {
public:
    explicit Base64AdditionsException(const char *reason) : std::runtime_error(reason) {}
    static constexpr char kName[] = "NSData+Base64AdditionsException";
    const char *name() const { return kName; }
    const char *reason() const { return what(); }
};

inline constexpr char kBase64EncodeFailure[] = "Unable to encode data!";
inline constexpr char kBase64DecodeFailure[] = "Unable to decode data!";

// First family: standard alphabet, "=" padding.
// The output buffer both encoders need (the wrapped size, terminator included).
std::size_t base64EncodedCapacity(std::size_t inputLength);
// Encodes into a caller's buffer; returns the characters written (no terminator counted).
// Throws Base64AdditionsException when `capacity` is below base64EncodedCapacity().
std::size_t encodeBase64Into(const unsigned char *input, std::size_t length, char *output,
                             std::size_t capacity, bool wrapped);
// Decodes into a caller's buffer of at least ceil(length / 4) * 3 bytes; returns bytes stored.
std::size_t decodeBase64Into(const char *input, std::size_t length, unsigned char *output,
                             std::size_t capacity);

// One line of text, no line breaks.
QString encodeBase64ForData(const QByteArray &data);
// CR LF after every 72 characters, also after a full last line.
QString encodeWrappedBase64ForData(const QByteArray &data);
// "+" as "-", "/" as "_", padding kept.
QString encodeWebSafeBase64ForData(const QByteArray &data);
// Skips white space and characters outside the alphabet; an "=" ends the data.
QByteArray decodeBase64ForString(const QString &text);
QByteArray decodeWebSafeBase64ForString(const QString &text);

// Second family. Lines of 64 characters joined by CR LF, no line break after the last line: the
// form attachments travel in. ASCII bytes, so a large attachment is not held twice over as text.
QByteArray base64EncodedString(const QByteArray &data);
// Streams the same form in pieces: feed the input in any chunk sizes, then finish().
class Base64LineEncoder {
public:
    // Appends the encoding of `length` more bytes to `out`.
    void append(const char *data, std::size_t length, QByteArray &out);
    void finish(QByteArray &out);
    // Characters the whole input of this length encodes to.
    static std::size_t encodedLength(std::size_t inputLength);

private:
    void emitBlock(const unsigned char *data, std::size_t length, QByteArray &out);
    unsigned char pending_[48];
    std::size_t pendingLength_ = 0;
    bool wroteLine_ = false;
};
// Lenient: every character outside the alphabet, "=" included, is ignored.
QByteArray dataFromBase64String(const QByteArray &text);
QByteArray dataFromBase64String(const QString &text);
// A null image when the bytes are no image.
QImage imageFromBase64(const QString &text);

} // namespace murmelo
