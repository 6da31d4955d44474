// Arbitrary bytes through the MessagePack reader, as a hostile reply or a damaged queue file
// would arrive. Whatever it accepts must pack and read back to the same bytes.
#include "telemetry/codec/VGMessagePack.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using murmelo::VGMessagePack;
    for (bool keepBytes : {false, true}) {
        size_t used = 0;
        const auto value =
            VGMessagePack::unpack(reinterpret_cast<const char *>(data), size, &used, keepBytes);
        if (!value)
            continue;
        if (used == 0 || used > size)
            std::abort();
        const QByteArray packed = VGMessagePack::pack(*value);
        const auto again =
            VGMessagePack::unpack(packed.constData(), size_t(packed.size()), nullptr, keepBytes);
        if (!again || VGMessagePack::pack(*again) != packed)
            std::abort();
    }
    return 0;
}
