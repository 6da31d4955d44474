#include "toolkit/codec/Crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace murmelo {

namespace {

// Eight tables, so that eight input bytes are folded into the register per step.
using SliceTables = std::array<std::array<std::uint32_t, 256>, 8>;

void buildTables(std::uint32_t polynomial, SliceTables &t)
{
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int round = 0; round < 8; ++round)
            c = (c & 1) ? (c >> 1) ^ polynomial : c >> 1;
        t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        for (int k = 1; k < 8; ++k)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
}

std::uint32_t run(const SliceTables &t, const unsigned char *p, std::size_t n, std::uint32_t reg)
{
    if constexpr (std::endian::native == std::endian::little) {
        while (n >= 8) {
            std::uint32_t lo, hi;
            std::memcpy(&lo, p, 4);
            std::memcpy(&hi, p + 4, 4);
            lo ^= reg;
            reg = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^
                  t[4][lo >> 24] ^ t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^
                  t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
            p += 8;
            n -= 8;
        }
    }
    while (n-- > 0)
        reg = t[0][(reg ^ *p++) & 0xFF] ^ (reg >> 8);
    return reg;
}

} // namespace

std::uint32_t crc32WithSeed(const void *data, std::size_t length, std::uint32_t seed,
                            std::uint32_t polynomial)
{
    const auto *p = static_cast<const unsigned char *>(data);
    if (polynomial == kCrc32DefaultPolynomial) {
        static const SliceTables tables = [] {
            SliceTables t;
            buildTables(kCrc32DefaultPolynomial, t);
            return t;
        }();
        return ~run(tables, p, length, seed);
    }
    SliceTables tables;
    buildTables(polynomial, tables);
    return ~run(tables, p, length, seed);
}

std::uint32_t crc32(const QByteArray &data)
{
    return crc32WithSeed(data, kCrc32DefaultSeed, kCrc32DefaultPolynomial);
}

std::uint32_t crc32WithSeed(const QByteArray &data, std::uint32_t seed)
{
    return crc32WithSeed(data, seed, kCrc32DefaultPolynomial);
}

std::uint32_t crc32UsingPolynomial(const QByteArray &data, std::uint32_t polynomial)
{
    return crc32WithSeed(data, kCrc32DefaultSeed, polynomial);
}

std::uint32_t crc32WithSeed(const QByteArray &data, std::uint32_t seed, std::uint32_t polynomial)
{
    return crc32WithSeed(data.constData(), std::size_t(data.size()), seed, polynomial);
}

} // namespace murmelo
