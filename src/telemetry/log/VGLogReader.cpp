#include "telemetry/log/VGLogReader.h"

#include "telemetry/codec/VGMessagePack.h"

#include <QFile>
#include <QFileInfo>
#include <zlib.h>

namespace murmelo {

namespace {

bool looksLikeZlib(const QByteArray &bytes, qsizetype at)
{
    if (bytes.size() - at < 2)
        return false;
    const uint8_t cmf = uint8_t(bytes[at]);
    const uint8_t flg = uint8_t(bytes[at + 1]);
    return (cmf & 0x0f) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0;
}

// Inflates one zlib stream at `at` onto `out`; returns the compressed bytes used, or -1.
qsizetype inflateStream(const QByteArray &bytes, qsizetype at, QByteArray &out)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return -1;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData() + at));
    z.avail_in = uInt(bytes.size() - at);
    char buffer[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        const qsizetype produced = qsizetype(sizeof buffer - z.avail_out);
        if (out.size() + produced > VGLogReader::kMaximumInflated) {
            result = Z_MEM_ERROR;
            break;
        }
        out.append(buffer, produced);
        if (result == Z_BUF_ERROR || (result == Z_OK && produced == 0 && z.avail_in == 0))
            break; // truncated stream
    }
    const qsizetype used = qsizetype(z.total_in);
    inflateEnd(&z);
    return result == Z_STREAM_END ? used : -1;
}

} // namespace

std::optional<VGValue> VGLogReader::readUpload(const QByteArray &log)
{
    if (log.size() < 5 || uint8_t(log[0]) != 0xdd)
        return std::nullopt;
    const uint32_t count = uint32_t(uint8_t(log[1])) << 24 | uint32_t(uint8_t(log[2])) << 16 |
                           uint32_t(uint8_t(log[3])) << 8 | uint32_t(uint8_t(log[4]));
    QByteArray records;
    qsizetype at = 5;
    while (looksLikeZlib(log, at)) {
        const qsizetype used = inflateStream(log, at, records);
        if (used <= 0)
            return std::nullopt;
        at += used;
    }
    records.append(log.constData() + at, log.size() - at);
    VGValue list = VGValue::array();
    size_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        size_t used = 0;
        auto record = VGMessagePack::unpack(records.constData() + offset,
                                            size_t(records.size()) - offset, &used);
        if (!record)
            return std::nullopt;
        list.append(std::move(*record));
        offset += used;
    }
    return list;
}

std::optional<VGValue> VGLogReader::readFiles(const QByteArray &ulog, const QByteArray &zlog)
{
    if (ulog.size() < 5)
        return std::nullopt;
    return readUpload(ulog.left(5) + zlog + ulog.mid(5));
}

std::optional<VGValue> VGLogReader::readLogAtPath(const QString &path)
{
    const QFileInfo info(path);
    const QString base = info.path() + QLatin1Char('/') + info.completeBaseName();
    QFile ulog(base + QStringLiteral(".ulog"));
    if (!ulog.open(QIODevice::ReadOnly))
        return std::nullopt;
    QFile zlog(base + QStringLiteral(".zlog"));
    QByteArray compressed;
    if (zlog.open(QIODevice::ReadOnly))
        compressed = zlog.readAll();
    return readFiles(ulog.readAll(), compressed);
}

} // namespace murmelo
