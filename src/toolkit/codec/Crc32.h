#pragma once

#include <QByteArray>
#include <cstdint>

namespace murmelo {

inline constexpr std::uint32_t kCrc32DefaultSeed = 0xFFFFFFFFu;
inline constexpr std::uint32_t kCrc32DefaultPolynomial = 0xEDB88320u;

// The register starts at the seed as given and the result is inverted, so the defaults give the
// CRC-32 of zlib and PNG ("123456789" -> 0xCBF43926).
std::uint32_t crc32WithSeed(const void *data, std::size_t length, std::uint32_t seed,
                            std::uint32_t polynomial);
std::uint32_t crc32(const QByteArray &data);
std::uint32_t crc32WithSeed(const QByteArray &data, std::uint32_t seed);
std::uint32_t crc32UsingPolynomial(const QByteArray &data, std::uint32_t polynomial);
std::uint32_t crc32WithSeed(const QByteArray &data, std::uint32_t seed, std::uint32_t polynomial);

} // namespace murmelo
