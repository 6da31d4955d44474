// Arbitrary bytes as an uploaded session log and as the two files of a log on disk.
#include "telemetry/log/VGLogReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using murmelo::VGLogReader;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto records = VGLogReader::readUpload(bytes)) {
        if (!records->isArray())
            std::abort();
    }
    const qsizetype split = bytes.isEmpty() ? 0 : uint8_t(bytes[0]) % (bytes.size() + 1);
    VGLogReader::readFiles(bytes.left(split), bytes.mid(split));
    return 0;
}
