#include "toolkit/codec/Crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define MURMELO_CRC32_CLMUL 1
#endif

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

#if MURMELO_CRC32_CLMUL
bool hasClmul()
{
    static const bool supported =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return supported;
}

inline __m128i load(const unsigned char *at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Carry-less multiplication folds 64 bytes per step for the default polynomial; the constants
// are powers of x modulo that polynomial, bit-reflected. `n` is at least 64 and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t foldDefault(const unsigned char *p,
                                                                   std::size_t n, std::uint32_t reg)
{
    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(reg)));
    __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
    p += 64;
    n -= 64;
    const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    while (n >= 64) {
        x1 = fold(x1, k1k2, load(p));
        x2 = fold(x2, k1k2, load(p + 16));
        x3 = fold(x3, k1k2, load(p + 32));
        x4 = fold(x4, k1k2, load(p + 48));
        p += 64;
        n -= 64;
    }
    const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    while (n >= 16) {
        x1 = fold(x1, k3k4, load(p));
        p += 16;
        n -= 16;
    }
    // 128 bits to 64, then to 32 by Barrett reduction.
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(k3k4, x1, 0x01), _mm_srli_si128(x1, 8));
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00),
                       _mm_srli_si128(x1, 4));
    const __m128i poly = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
    return std::uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}
#endif

} // namespace

std::uint32_t crc32WithSeed(const void *data, std::size_t length, std::uint32_t seed,
                            std::uint32_t polynomial)
{
    const auto *p = static_cast<const unsigned char *>(data);
#if MURMELO_CRC32_CLMUL
    if (polynomial == kCrc32DefaultPolynomial && length >= 64 && hasClmul()) {
        const std::size_t folded = length & ~std::size_t(15);
        seed = foldDefault(p, folded, seed);
        p += folded;
        length -= folded;
    }
#endif
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
