// Arbitrary text through both Base64 decoders; whatever decodes must encode and decode back.
#include "toolkit/codec/Base64.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromLatin1(bytes);

    const QByteArray strict = murmelo::decodeBase64ForString(text);
    if (std::size_t(strict.size()) > (size + 3) / 4 * 3)
        std::abort();
    if (murmelo::decodeBase64ForString(murmelo::encodeWrappedBase64ForData(strict)) != strict)
        std::abort();
    murmelo::decodeWebSafeBase64ForString(text);

    const QByteArray lenient = murmelo::dataFromBase64String(bytes);
    if (std::size_t(lenient.size()) > size / 4 * 3 + 2)
        std::abort();
    if (murmelo::dataFromBase64String(murmelo::base64EncodedString(lenient)) != lenient)
        std::abort();
    // The input itself, as raw bytes, survives both encoders.
    if (murmelo::dataFromBase64String(murmelo::base64EncodedString(bytes)) != bytes ||
        murmelo::decodeBase64ForString(murmelo::encodeBase64ForData(bytes)) != bytes)
        std::abort();
    return 0;
}
