#include "toolkit/codec/Base64.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MURMELO_BASE64_SSSE3 1
#endif

namespace murmelo {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kWrapColumns = 72;
constexpr std::size_t kWrapStride = 74;
constexpr std::size_t kLineBytes = 48; // one 64-character line of the attachment form

// Two output characters for every 12-bit value: one table load per half group.
const std::array<std::uint16_t, 4096> &pairTable()
{
    static const std::array<std::uint16_t, 4096> table = [] {
        std::array<std::uint16_t, 4096> t{};
        for (int i = 0; i < 4096; ++i) {
            const char pair[2] = {kAlphabet[i >> 6], kAlphabet[i & 63]};
            std::memcpy(&t[i], pair, 2);
        }
        return t;
    }();
    return table;
}

inline void encodeGroup(const unsigned char *in, char *out,
                        const std::array<std::uint16_t, 4096> &pairs)
{
    const std::uint32_t v = (std::uint32_t(in[0]) << 16) | (std::uint32_t(in[1]) << 8) | in[2];
    std::memcpy(out, &pairs[v >> 12], 2);
    std::memcpy(out + 2, &pairs[v & 0xFFF], 2);
}

// The one or two bytes left after the full groups, padded.
inline char *encodeTail(const unsigned char *in, std::size_t rest, char *out)
{
    if (rest == 1) {
        *out++ = kAlphabet[in[0] >> 2];
        *out++ = kAlphabet[(in[0] & 0x03) << 4];
        *out++ = '=';
        *out++ = '=';
    } else if (rest == 2) {
        *out++ = kAlphabet[in[0] >> 2];
        *out++ = kAlphabet[((in[0] & 0x03) << 4) | (in[1] >> 4)];
        *out++ = kAlphabet[(in[1] & 0x0F) << 2];
        *out++ = '=';
    }
    return out;
}

bool hasSsse3()
{
#if MURMELO_BASE64_SSSE3
    static const bool supported = __builtin_cpu_supports("ssse3");
    return supported;
#else
    return false;
#endif
}

#if MURMELO_BASE64_SSSE3
// Twelve input bytes (of the sixteen loaded) become sixteen characters.
__attribute__((target("ssse3"))) inline __m128i encodeBlock(__m128i input)
{
    const __m128i in =
        _mm_shuffle_epi8(input, _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1));
    const __m128i t0 = _mm_and_si128(in, _mm_set1_epi32(0x0fc0fc00));
    const __m128i t1 = _mm_mulhi_epu16(t0, _mm_set1_epi32(0x04000040));
    const __m128i t2 = _mm_and_si128(in, _mm_set1_epi32(0x003f03f0));
    const __m128i t3 = _mm_mullo_epi16(t2, _mm_set1_epi32(0x01000010));
    const __m128i indices = _mm_or_si128(t1, t3);

    // Map each six-bit value to its character by adding the offset of its range.
    __m128i range = _mm_subs_epu8(indices, _mm_set1_epi8(51));
    const __m128i upper = _mm_cmpgt_epi8(_mm_set1_epi8(26), indices);
    range = _mm_or_si128(range, _mm_and_si128(upper, _mm_set1_epi8(13)));
    const __m128i offsets =
        _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                      '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    return _mm_add_epi8(_mm_shuffle_epi8(offsets, range), indices);
}

// One full 48-byte line; reads four bytes past it, so the caller guarantees they exist.
__attribute__((target("ssse3"))) inline void encodeLineSsse3(const unsigned char *in, char *out)
{
    for (int block = 0; block < 4; ++block) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 12 * block));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * block), encodeBlock(chunk));
    }
}
#endif

inline void encodeLineScalar(const unsigned char *in, char *out,
                             const std::array<std::uint16_t, 4096> &pairs)
{
    for (int g = 0; g < 16; ++g)
        encodeGroup(in + 3 * g, out + 4 * g, pairs);
}

// Lines of 64 characters joined by CR LF; `firstLineBreak` puts one before the first line too.
char *encodeLines(const unsigned char *in, std::size_t n, char *out, bool firstLineBreak)
{
    const auto &pairs = pairTable();
    const bool simd = hasSsse3();
    const unsigned char *end = in + n;
    bool lineBreak = firstLineBreak;
    while (std::size_t(end - in) >= kLineBytes) {
        if (lineBreak) {
            *out++ = '\r';
            *out++ = '\n';
        }
        lineBreak = true;
#if MURMELO_BASE64_SSSE3
        if (simd && std::size_t(end - in) >= kLineBytes + 4)
            encodeLineSsse3(in, out);
        else
            encodeLineScalar(in, out, pairs);
#else
        (void)simd;
        encodeLineScalar(in, out, pairs);
#endif
        in += kLineBytes;
        out += 64;
    }
    const std::size_t rest = std::size_t(end - in);
    if (rest > 0) {
        if (lineBreak) {
            *out++ = '\r';
            *out++ = '\n';
        }
        const std::size_t groups = rest / 3;
        for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4)
            encodeGroup(in, out, pairs);
        out = encodeTail(in, rest % 3, out);
    }
    return out;
}

// Character values of the first family's decoder; 0x80 marks white space, 0xFF other bytes.
constexpr unsigned char kSkipWhiteSpace = 0x80;
constexpr unsigned char kSkipInvalid = 0xFF;
const std::array<unsigned char, 256> &decodeTable()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        t.fill(kSkipInvalid);
        for (int i = 0; i < 64; ++i)
            t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
        for (unsigned char c : {'\t', '\n', '\v', '\f', '\r', ' '})
            t[c] = kSkipWhiteSpace;
        t[0] = 0; // a NUL reads as the value 0
        return t;
    }();
    return table;
}

QByteArray toAsciiBytes(const QString &text)
{
    // Characters outside ASCII are invalid for the decoders and skipped like any other.
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text)
        bytes.append(c.unicode() < 0x80 ? char(c.unicode()) : char(0xFF));
    return bytes;
}

} // namespace

std::size_t base64EncodedCapacity(std::size_t inputLength)
{
    const std::size_t groups = (inputLength + 2) / 3;
    return (groups % 18) * 4 + (groups / 18) * kWrapStride + 1;
}

std::size_t encodeBase64Into(const unsigned char *input, std::size_t length, char *output,
                             std::size_t capacity, bool wrapped)
{
    if (capacity < base64EncodedCapacity(length))
        throw Base64AdditionsException(kBase64EncodeFailure);
    const auto &pairs = pairTable();
    char *out = output;
    int column = 0;
    const auto lineEnd = [&] {
        column += 4;
        if (wrapped && column == kWrapColumns) {
            *out++ = '\r';
            *out++ = '\n';
            column = 0;
        }
    };
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        encodeGroup(input + i, out, pairs);
        out += 4;
        lineEnd();
    }
    if (i < length) {
        out = encodeTail(input + i, length - i, out);
        lineEnd();
    }
    *out = '\0';
    return std::size_t(out - output);
}

std::size_t decodeBase64Into(const char *input, std::size_t length, unsigned char *output,
                             std::size_t capacity)
{
    if (capacity < (length + 3) / 4 * 3)
        throw Base64AdditionsException(kBase64DecodeFailure);
    const auto &table = decodeTable();
    std::size_t stored = 0;
    std::size_t pos = 0;
    unsigned char values[4];
    int slot = 0;
    while (pos < length) {
        // Skip white space and invalid characters up to the next value.
        unsigned char value = table[static_cast<unsigned char>(input[pos])];
        while (value >= kSkipWhiteSpace && input[pos] != '=') {
            if (++pos == length)
                return stored;
            value = table[static_cast<unsigned char>(input[pos])];
        }
        // Padding ends the data wherever it stands, also after a line break: reading it as a
        // value would append a zero byte that was never encoded.
        if (input[pos] == '=')
            break;
        ++pos;
        values[slot] = value;
        switch (slot) {
        case 1:
            output[stored++] = static_cast<unsigned char>((values[0] << 2) | (values[1] >> 4));
            break;
        case 2:
            output[stored++] = static_cast<unsigned char>((values[1] << 4) | (values[2] >> 2));
            break;
        case 3:
            output[stored++] = static_cast<unsigned char>((values[2] << 6) | values[3]);
            break;
        }
        slot = (slot + 1) % 4;
    }
    return stored;
}

namespace {
QString encodeFirstFamily(const QByteArray &data, bool wrapped)
{
    QByteArray buffer(qsizetype(base64EncodedCapacity(std::size_t(data.size()))),
                      Qt::Uninitialized);
    const std::size_t written = encodeBase64Into(
        reinterpret_cast<const unsigned char *>(data.constData()), std::size_t(data.size()),
        buffer.data(), std::size_t(buffer.size()), wrapped);
    return QString::fromLatin1(buffer.constData(), qsizetype(written));
}
} // namespace

QString encodeBase64ForData(const QByteArray &data)
{
    return encodeFirstFamily(data, false);
}

QString encodeWrappedBase64ForData(const QByteArray &data)
{
    return encodeFirstFamily(data, true);
}

QString encodeWebSafeBase64ForData(const QByteArray &data)
{
    QString text = encodeBase64ForData(data);
    text.replace(QLatin1Char('+'), QLatin1Char('-'));
    text.replace(QLatin1Char('/'), QLatin1Char('_'));
    return text;
}

QByteArray decodeBase64ForString(const QString &text)
{
    const QByteArray ascii = toAsciiBytes(text);
    QByteArray out(qsizetype((std::size_t(ascii.size()) + 3) / 4 * 3), Qt::Uninitialized);
    const std::size_t stored =
        decodeBase64Into(ascii.constData(), std::size_t(ascii.size()),
                         reinterpret_cast<unsigned char *>(out.data()), std::size_t(out.size()));
    out.truncate(qsizetype(stored));
    return out;
}

QByteArray decodeWebSafeBase64ForString(const QString &text)
{
    QString standard = text;
    standard.replace(QLatin1Char('-'), QLatin1Char('+'));
    standard.replace(QLatin1Char('_'), QLatin1Char('/'));
    return decodeBase64ForString(standard);
}

std::size_t Base64LineEncoder::encodedLength(std::size_t inputLength)
{
    const std::size_t lines = (inputLength + kLineBytes - 1) / kLineBytes;
    const std::size_t chars = (inputLength + 2) / 3 * 4;
    return lines == 0 ? 0 : chars + (lines - 1) * 2;
}

namespace {
// An attachment's text is written once, front to back, into fresh memory: with huge pages the
// kernel maps it in 2 MiB steps instead of faulting in every 4 KiB page, which otherwise costs
// more than the encoding itself.
void preferHugePages(QByteArray &buffer)
{
    constexpr std::uintptr_t kHuge = 2 * 1024 * 1024;
    if (buffer.size() < qsizetype(4 * kHuge))
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(buffer.data()) + kHuge - 1) & ~(kHuge - 1);
    const auto end =
        (reinterpret_cast<std::uintptr_t>(buffer.data()) + std::uintptr_t(buffer.size())) &
        ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}
} // namespace

QByteArray base64EncodedString(const QByteArray &data)
{
    const std::size_t n = std::size_t(data.size());
    QByteArray out(qsizetype(Base64LineEncoder::encodedLength(n)), Qt::Uninitialized);
    preferHugePages(out);
    encodeLines(reinterpret_cast<const unsigned char *>(data.constData()), n, out.data(), false);
    return out;
}

void Base64LineEncoder::emitBlock(const unsigned char *data, std::size_t length, QByteArray &out)
{
    // Whole lines only, except for the last block; the line break goes before each later line.
    const std::size_t lines = (length + kLineBytes - 1) / kLineBytes;
    const std::size_t size = (length + 2) / 3 * 4 + lines * 2;
    const qsizetype start = out.size();
    out.resize(start + qsizetype(size));
    char *end = encodeLines(data, length, out.data() + start, wroteLine_);
    out.resize(qsizetype(end - out.constData()));
    wroteLine_ = wroteLine_ || length > 0;
}

void Base64LineEncoder::append(const char *data, std::size_t length, QByteArray &out)
{
    auto in = reinterpret_cast<const unsigned char *>(data);
    if (pendingLength_ > 0) {
        const std::size_t take = std::min(length, kLineBytes - pendingLength_);
        std::memcpy(pending_ + pendingLength_, in, take);
        pendingLength_ += take;
        in += take;
        length -= take;
        if (pendingLength_ < kLineBytes)
            return;
        emitBlock(pending_, kLineBytes, out);
        pendingLength_ = 0;
    }
    const std::size_t whole = length / kLineBytes * kLineBytes;
    if (whole > 0)
        emitBlock(in, whole, out);
    pendingLength_ = length - whole;
    std::memcpy(pending_, in + whole, pendingLength_);
}

void Base64LineEncoder::finish(QByteArray &out)
{
    if (pendingLength_ > 0)
        emitBlock(pending_, pendingLength_, out);
    pendingLength_ = 0;
}

QByteArray dataFromBase64String(const QByteArray &text)
{
    const auto &table = decodeTable();
    QByteArray out(text.size() / 4 * 3 + 3, Qt::Uninitialized);
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    std::uint32_t accumulated = 0;
    int count = 0;
    for (char c : text) {
        const unsigned char value = table[static_cast<unsigned char>(c)];
        if (value >= 64 || c == '\0')
            continue;
        accumulated = (accumulated << 6) | value;
        if (++count == 4) {
            *o++ = static_cast<unsigned char>(accumulated >> 16);
            *o++ = static_cast<unsigned char>(accumulated >> 8);
            *o++ = static_cast<unsigned char>(accumulated);
            accumulated = 0;
            count = 0;
        }
    }
    if (count == 3) {
        *o++ = static_cast<unsigned char>(accumulated >> 10);
        *o++ = static_cast<unsigned char>(accumulated >> 2);
    } else if (count == 2) {
        *o++ = static_cast<unsigned char>(accumulated >> 4);
    }
    out.truncate(qsizetype(reinterpret_cast<char *>(o) - out.constData()));
    return out;
}

QByteArray dataFromBase64String(const QString &text)
{
    return dataFromBase64String(toAsciiBytes(text));
}

QImage imageFromBase64(const QString &text)
{
    return QImage::fromData(dataFromBase64String(text));
}

} // namespace murmelo
