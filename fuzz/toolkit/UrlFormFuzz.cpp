// Arbitrary text as a query string and as form-encoded text.
#include "toolkit/codec/UrlForm.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto components = murmelo::dictionaryFromQueryComponents(text);
    const QString decoded = murmelo::stringByDecodingURLFormat(text);
    // Encoding then decoding gives back any text.
    if (murmelo::stringByDecodingURLFormat(murmelo::stringByEncodingURLFormat(text)) != text)
        std::abort();
    QVariantMap map;
    for (auto it = components.cbegin(); it != components.cend(); ++it)
        map.insert(it.key(), it.value());
    const QString query = murmelo::stringFromQueryComponents(map);
    if (!map.isEmpty() && murmelo::dictionaryFromQueryComponents(query) != components)
        std::abort();
    (void)decoded;
    return 0;
}
