#include "telemetry/codec/VGMessagePack.h"

#include <QFile>
#include <bit>
#include <cstring>
#include <unordered_map>

namespace murmelo {

namespace {

template <typename T> T toBigEndian(T value)
{
    if constexpr (std::endian::native == std::endian::little) {
        if constexpr (sizeof(T) == 2)
            return T(__builtin_bswap16(uint16_t(value)));
        else if constexpr (sizeof(T) == 4)
            return T(__builtin_bswap32(uint32_t(value)));
        else if constexpr (sizeof(T) == 8)
            return T(__builtin_bswap64(uint64_t(value)));
    }
    return value;
}

// One packing: a contiguous buffer grown by half again of what it must hold, handed to the
// result without a copy.
class VGMessagePackPacker {
public:
    QByteArray pack(const VGValue &value)
    {
        // Room for a typical event in the first allocation; beyond it the buffer grows by half
        // again of what it must hold.
        current_length = kInitialCapacity;
        raw_data.resize(qsizetype(current_length));
        raw_data_idx = 0;
        if (!packObject(value) || raw_data_idx == 0)
            return {};
        raw_data.resize(qsizetype(raw_data_idx)); // shrinking keeps the allocation: no copy
        return std::move(raw_data);
    }

private:
    bool reserve(size_t n)
    {
        if (current_length >= raw_data_idx + n)
            return true;
        const size_t grown = size_t(double(n + current_length) * 1.5);
        if (grown > size_t(std::numeric_limits<qsizetype>::max() / 2))
            return false;
        try {
            raw_data.resize(qsizetype(grown));
        } catch (const std::bad_alloc &) {
            raw_data = QByteArray();
            return false;
        }
        current_length = grown;
        return true;
    }

    bool write(const void *bytes, size_t n)
    {
        if (!reserve(n))
            return false;
        std::memcpy(raw_data.data() + raw_data_idx, bytes, n);
        raw_data_idx += n;
        return true;
    }

    bool writeByte(uint8_t byte) { return write(&byte, 1); }

    template <typename T> bool writeFixed(uint8_t lead, T value)
    {
        char bytes[1 + sizeof(T)];
        bytes[0] = char(lead);
        const T big = toBigEndian(value);
        std::memcpy(bytes + 1, &big, sizeof(T));
        return write(bytes, sizeof bytes);
    }

    bool writeHeader(size_t count, uint8_t fixBase, size_t fixLimit, uint8_t lead16, uint8_t lead32)
    {
        if (count <= fixLimit)
            return writeByte(uint8_t(fixBase | count));
        if (count <= 0xffff)
            return writeFixed(lead16, uint16_t(count));
        if (count > 0xffffffffu)
            return false; // the format cannot say it
        return writeFixed(lead32, uint32_t(count));
    }

    bool packRaw(const char *bytes, size_t n)
    {
        return writeHeader(n, 0xa0, 31, 0xda, 0xdb) && write(bytes, n);
    }

    bool packNSNumber(const VGValue &v)
    {
        switch (v.numberType()) {
        case VGValue::kChar:
            return writeFixed(0xd0, int8_t(v.toInt64()));
        case VGValue::kShort:
            return writeFixed(0xd1, int16_t(v.toInt64()));
        case VGValue::kInt:
        case VGValue::kLong:
            return writeFixed(0xd2, int32_t(v.toInt64()));
        case VGValue::kLongLong:
            return writeFixed(0xd3, int64_t(v.toInt64()));
        case VGValue::kUChar:
            return writeFixed(0xcc, uint8_t(v.toUInt64()));
        case VGValue::kUShort:
            return writeFixed(0xcd, uint16_t(v.toUInt64()));
        case VGValue::kUInt:
        case VGValue::kULong:
            return writeFixed(0xce, uint32_t(v.toUInt64()));
        case VGValue::kULongLong:
            return writeFixed(0xcf, uint64_t(v.toUInt64()));
        case VGValue::kFloat:
            return writeFixed(0xca, std::bit_cast<uint32_t>(float(v.toDouble())));
        case VGValue::kDouble:
            return writeFixed(0xcb, std::bit_cast<uint64_t>(v.toDouble()));
        default: {
            const std::string text = std::to_string(v.toInt64());
            return packRaw(text.data(), text.size());
        }
        }
    }

    bool packObject(const VGValue &v)
    {
        switch (v.kind()) {
        case VGValue::Kind::Array:
            if (!writeHeader(v.items().size(), 0x90, 15, 0xdc, 0xdd))
                return false;
            for (const VGValue &item : v.items()) {
                if (!packObject(item))
                    return false;
            }
            return true;
        case VGValue::Kind::Map:
            if (!writeHeader(v.items().size() / 2, 0x80, 15, 0xde, 0xdf))
                return false;
            for (size_t i = 0; i + 1 < v.items().size(); i += 2) {
                if (!packObject(v.items()[i]) || !packObject(v.items()[i + 1]))
                    return false;
            }
            return true;
        case VGValue::Kind::Bool:
            return writeByte(v.toBool() ? 0xc3 : 0xc2);
        case VGValue::Kind::Number:
            return packNSNumber(v);
        case VGValue::Kind::Data:
            if (v.vg_isMessagePack())
                return write(v.text().data(), v.text().size());
            return packRaw(v.text().data(), v.text().size());
        case VGValue::Kind::String:
        case VGValue::Kind::Description:
            return packRaw(v.text().data(), v.text().size());
        case VGValue::Kind::Null:
            return writeByte(0xc0);
        }
        return false;
    }

    static constexpr size_t kInitialCapacity = 256;
    QByteArray raw_data;
    size_t raw_data_idx = 0;
    size_t current_length = 0;
};

bool isAscii(const unsigned char *s, size_t n)
{
    uint64_t high = 0;
    if (n >= 8) {
        // Whole words, the last one overlapping its predecessor.
        uint64_t word;
        for (size_t i = 0; i + 8 < n; i += 8) {
            std::memcpy(&word, s + i, 8);
            high |= word;
        }
        std::memcpy(&word, s + n - 8, 8);
        high |= word;
    } else {
        for (size_t i = 0; i < n; ++i)
            high |= s[i];
    }
    return (high & 0x8080808080808080ull) == 0;
}

bool validUtf8(const unsigned char *s, size_t n)
{
    if (isAscii(s, n)) // nearly every key and value the telemetry writes
        return true;
    size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time.
        if (i + 8 <= n) {
            uint64_t chunk;
            std::memcpy(&chunk, s + i, 8);
            if ((chunk & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        uint32_t codePoint;
        if (c >= 0xc2 && c <= 0xdf) {
            length = 2;
            codePoint = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            length = 3;
            codePoint = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            length = 4;
            codePoint = c & 0x07;
        } else {
            return false;
        }
        if (n - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xc0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (s[i + k] & 0x3f);
        }
        // Overlong forms, surrogates and values past the last code point are not text.
        if ((length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000) ||
            (codePoint >= 0xd800 && codePoint <= 0xdfff) || codePoint > 0x10ffff)
            return false;
        i += length;
    }
    return true;
}

// What the platform prints for a byte buffer: lower-case hex in angle brackets, a blank after
// every four bytes.
std::string bytesDescription(const unsigned char *s, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 + n * 2 + n / 4);
    text += '<';
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && i % 4 == 0)
            text += ' ';
        text += digits[s[i] >> 4];
        text += digits[s[i] & 15];
    }
    text += '>';
    return text;
}

} // namespace

// A cursor over bytes with explicit bounds. Counts declared by the input are never trusted for
// allocation: containers grow as their elements arrive. Values are filled in place, since
// building and moving temporaries would cost more than reading the bytes.
class VGUnpacker {
public:
    VGUnpacker(const unsigned char *bytes, size_t size, bool keepBytes)
        : p_(bytes), end_(bytes + size), keepBytes_(keepBytes)
    {
    }

    size_t remaining() const { return size_t(end_ - p_); }

    // Reads one value into `out`, which must be null.
    bool read(VGValue &out, int depth)
    {
        if (depth > VGMessagePack::kMaximumDepth || p_ >= end_)
            return false;
        const uint8_t lead = *p_++;
        if (lead <= 0x7f || lead >= 0xe0)
            return signedNumber(out, VGValue::kChar, int8_t(lead));
        if (lead >= 0xa0 && lead <= 0xbf)
            return readRaw(out, lead & 0x1f);
        if (lead >= 0x90 && lead <= 0x9f)
            return readArray(out, lead & 0x0f, depth);
        if (lead >= 0x80 && lead <= 0x8f)
            return readMap(out, lead & 0x0f, depth);
        switch (lead) {
        case 0xc0:
            return true;
        case 0xc2:
        case 0xc3:
            out.kind_ = VGValue::Kind::Bool;
            out.i_ = lead == 0xc3 ? 1 : 0;
            return true;
        case 0xcc:
            return readUnsigned<uint8_t>(out, VGValue::kUChar);
        case 0xcd:
            return readUnsigned<uint16_t>(out, VGValue::kUShort);
        case 0xce:
            return readUnsigned<uint32_t>(out, VGValue::kUInt);
        case 0xcf:
            return readUnsigned<uint64_t>(out, VGValue::kULongLong);
        case 0xd0:
            return readSigned<int8_t>(out, VGValue::kChar);
        case 0xd1:
            return readSigned<int16_t>(out, VGValue::kShort);
        case 0xd2:
            return readSigned<int32_t>(out, VGValue::kInt);
        case 0xd3:
            return readSigned<int64_t>(out, VGValue::kLongLong);
        case 0xca: {
            uint32_t bits;
            if (!take(bits))
                return false;
            out.kind_ = VGValue::Kind::Number;
            out.type_ = VGValue::kFloat;
            out.d_ = std::bit_cast<float>(bits);
            return true;
        }
        case 0xcb: {
            uint64_t bits;
            if (!take(bits))
                return false;
            out.kind_ = VGValue::Kind::Number;
            out.type_ = VGValue::kDouble;
            out.d_ = std::bit_cast<double>(bits);
            return true;
        }
        case 0xda: {
            uint16_t n;
            return take(n) && readRaw(out, n);
        }
        case 0xdb: {
            uint32_t n;
            return take(n) && readRaw(out, n);
        }
        case 0xdc: {
            uint16_t n;
            return take(n) && readArray(out, n, depth);
        }
        case 0xdd: {
            uint32_t n;
            return take(n) && readArray(out, n, depth);
        }
        case 0xde: {
            uint16_t n;
            return take(n) && readMap(out, n, depth);
        }
        case 0xdf: {
            uint32_t n;
            return take(n) && readMap(out, n, depth);
        }
        default:
            return false; // 0xc1, 0xc4-0xc9, 0xd4-0xd9: not in this revision of the format
        }
    }

private:
    template <typename T> bool take(T &value)
    {
        if (remaining() < sizeof(T))
            return false;
        std::memcpy(&value, p_, sizeof(T));
        value = toBigEndian(value);
        p_ += sizeof(T);
        return true;
    }

    static bool signedNumber(VGValue &out, char type, int64_t value)
    {
        out.kind_ = VGValue::Kind::Number;
        out.type_ = type;
        out.i_ = value;
        return true;
    }

    template <typename T> bool readUnsigned(VGValue &out, char type)
    {
        T value;
        if (!take(value))
            return false;
        out.kind_ = VGValue::Kind::Number;
        out.type_ = type;
        out.u_ = value;
        return true;
    }

    template <typename T> bool readSigned(VGValue &out, char type)
    {
        std::make_unsigned_t<T> bits;
        if (!take(bits))
            return false;
        return signedNumber(out, type, T(bits));
    }

    bool readRaw(VGValue &out, size_t n)
    {
        if (remaining() < n)
            return false;
        const char *bytes = reinterpret_cast<const char *>(p_);
        if (validUtf8(p_, n)) {
            out.emplaceText(VGValue::Kind::String, bytes, n);
        } else if (keepBytes_) {
            out.emplaceText(VGValue::Kind::Data, bytes, n);
        } else {
            const std::string description = bytesDescription(p_, n);
            out.emplaceText(VGValue::Kind::String, description.data(), description.size());
        }
        p_ += n;
        return true;
    }

    // Containers are sized up front for at most kReserveLimit elements, so that a declared count
    // costs nothing before its elements have arrived; elements are read in place.
    bool readArray(VGValue &out, size_t count, int depth)
    {
        if (count > remaining())
            return false;
        out.emplaceItems(VGValue::Kind::Array);
        std::vector<VGValue> &items = out.items_;
        items.resize(std::min(count, kReserveLimit));
        for (size_t i = 0; i < count; ++i) {
            if (i == items.size())
                items.emplace_back();
            if (!read(items[i], depth + 1))
                return false;
        }
        return true;
    }

    bool readMap(VGValue &out, size_t count, int depth)
    {
        if (count > remaining() / 2)
            return false;
        out.emplaceItems(VGValue::Kind::Map);
        std::vector<VGValue> &items = out.items_;
        items.resize(std::min(count, kReserveLimit) * 2);
        // A later duplicate key replaces the earlier entry; large maps find duplicates by hash
        // so that a hostile map of many keys stays linear.
        constexpr size_t kLinearLimit = 16;
        std::optional<std::unordered_multimap<size_t, size_t>> index; // only for large maps
        size_t at = 0;                                                // where the next pair goes
        for (size_t i = 0; i < count; ++i) {
            if (at == items.size()) {
                items.emplace_back();
                items.emplace_back();
            }
            if (!read(items[at], depth + 1) || !read(items[at + 1], depth + 1))
                return false;
            const VGValue &key = items[at];
            size_t existing = SIZE_MAX;
            if (count <= kLinearLimit) {
                for (size_t k = 0; k < at; k += 2) {
                    if (sameKey(items[k], key)) {
                        existing = k;
                        break;
                    }
                }
            } else {
                if (!index)
                    index.emplace();
                const size_t h = key.hash();
                auto [first, last] = index->equal_range(h);
                for (auto it = first; it != last; ++it) {
                    if (items[it->second] == key) {
                        existing = it->second;
                        break;
                    }
                }
                if (existing == SIZE_MAX)
                    index->emplace(h, at);
            }
            if (existing == SIZE_MAX) {
                at += 2;
            } else {
                items[existing + 1] = std::move(items[at + 1]);
                items[at].destroy(); // the slot is read into again
                items[at + 1].destroy();
            }
        }
        items.resize(at);
        return true;
    }

    // Keys are nearly always strings: those compare by text without the general rules.
    static bool sameKey(const VGValue &a, const VGValue &b)
    {
        if (a.kind_ == VGValue::Kind::String && b.kind_ == VGValue::Kind::String)
            return a.text_ == b.text_;
        if (a.kind_ == VGValue::Kind::String || b.kind_ == VGValue::Kind::String)
            return false;
        return a == b;
    }

    static constexpr size_t kReserveLimit = 64;
    const unsigned char *p_;
    const unsigned char *end_;
    bool keepBytes_;
};

QByteArray VGMessagePack::pack(const VGValue &value)
{
    VGMessagePackPacker packer;
    return packer.pack(value);
}

VGValue VGMessagePack::packToValue(const VGValue &value)
{
    QByteArray bytes = pack(value);
    if (bytes.isNull())
        return {};
    return VGValue::data(std::move(bytes), true);
}

std::optional<VGValue> VGMessagePack::unpack(const char *bytes, size_t size)
{
    return unpack(bytes, size, nullptr);
}

std::optional<VGValue> VGMessagePack::unpack(const char *bytes, size_t size, size_t *used,
                                             bool keepBytes)
{
    if (!bytes || size == 0)
        return std::nullopt;
    VGUnpacker reader(reinterpret_cast<const unsigned char *>(bytes), size, keepBytes);
    VGValue value;
    if (!reader.read(value, 0))
        return std::nullopt;
    if (used)
        *used = size - reader.remaining();
    return value;
}

std::optional<VGValue> VGMessagePack::unpack(const QByteArray &bytes)
{
    return unpack(bytes.constData(), size_t(bytes.size()));
}

std::optional<VGValue> VGMessagePack::unpackDictionary(const QByteArray &bytes)
{
    auto value = unpack(bytes);
    if (!value || !value->isMap())
        return std::nullopt;
    return value;
}

std::optional<VGValue> VGMessagePack::unpackArray(const QByteArray &bytes)
{
    auto value = unpack(bytes);
    if (!value || !value->isArray())
        return std::nullopt;
    return value;
}

std::optional<VGValue> VGMessagePack::messagePackWithContentsOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return VGValue::data(std::move(bytes), true);
}

void VGMessagePack::writeHeader(uint8_t lead, uint32_t count, char out[5])
{
    out[0] = char(lead);
    const uint32_t big = toBigEndian(count);
    std::memcpy(out + 1, &big, 4);
}

namespace {
QByteArray header(uint8_t lead, uint32_t count)
{
    QByteArray bytes(5, Qt::Uninitialized);
    VGMessagePack::writeHeader(lead, count, bytes.data());
    return bytes;
}
} // namespace

QByteArray VGMessagePack::packArrayHeaderOnly(uint32_t count)
{
    return header(0xdd, count);
}

QByteArray VGMessagePack::packMapHeaderOnly(uint32_t count)
{
    return header(0xdf, count);
}

QByteArray VGMessagePack::packRawHeaderOnly(uint32_t length)
{
    return header(0xdb, length);
}

} // namespace murmelo
