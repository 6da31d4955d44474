// Arbitrary bytes as an uploaded session log and as the two files of a log on disk, which are
// also repaired as a log left open by a dead process: the repaired files must read back whole.
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
    const QByteArray ulog = bytes.left(split);
    const QByteArray zlog = bytes.mid(split);
    VGLogReader::readFiles(ulog, zlog);
    if (const auto repair = VGLogReader::repair(ulog, zlog)) {
        const uint32_t count = repair->count;
        const char header[5] = {char(0xdd), char(count >> 24), char(count >> 16), char(count >> 8),
                                char(count)};
        const auto read =
            VGLogReader::readFiles(QByteArray(header, 5) + ulog.mid(5, repair->tailSize),
                                   zlog.left(repair->zlogKeep) + repair->zlogAppend);
        if (!read || read->count() != count)
            std::abort();
    }
    return 0;
}
