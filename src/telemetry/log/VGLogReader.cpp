#include "telemetry/log/VGLogReader.h"

#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/log/VGRemoteLog.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <vector>
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

uint32_t bigEndian32(const char *bytes)
{
    return uint32_t(uint8_t(bytes[0])) << 24 | uint32_t(uint8_t(bytes[1])) << 16 |
           uint32_t(uint8_t(bytes[2])) << 8 | uint32_t(uint8_t(bytes[3]));
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

// Where each whole stream of a .zlog starts, compressed and inflated.
struct Stream {
    qsizetype compressedAt;
    qsizetype inflatedAt;
};

// Inflates the streams of a .zlog one after another up to the first that is not whole; returns
// where that one starts (the .zlog's size when all are whole).
qsizetype inflateStreams(const QByteArray &zlog, QByteArray &out, std::vector<Stream> *streams)
{
    qsizetype at = 0;
    while (at < zlog.size()) {
        const qsizetype inflatedAt = out.size();
        const qsizetype used = inflateStream(zlog, at, out);
        if (used <= 0) {
            out.truncate(inflatedAt);
            break;
        }
        if (streams)
            streams->push_back({at, inflatedAt});
        at += used;
    }
    return at;
}

std::optional<VGValue> parseRecords(const QByteArray &records, uint32_t count)
{
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

QByteArray deflated(const char *bytes, qsizetype size)
{
    uLongf capacity = compressBound(uLong(size));
    QByteArray out(qsizetype(capacity), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &capacity,
                  reinterpret_cast<const Bytef *>(bytes), uLong(size),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return {};
    out.truncate(qsizetype(capacity));
    return out;
}

} // namespace

std::optional<VGValue> VGLogReader::readUpload(const QByteArray &log)
{
    if (log.size() < 5 || uint8_t(log[0]) != 0xdd)
        return std::nullopt;
    const uint32_t count = bigEndian32(log.constData() + 1);
    QByteArray records;
    qsizetype at = 5;
    while (looksLikeZlib(log, at)) {
        const qsizetype used = inflateStream(log, at, records);
        if (used <= 0)
            return std::nullopt;
        at += used;
    }
    records.append(log.constData() + at, log.size() - at);
    return parseRecords(records, count);
}

std::optional<VGValue> VGLogReader::readFiles(const QByteArray &ulog, const QByteArray &zlog)
{
    // On disk the compressed part ends where the .zlog does: a tail that happens to start like
    // a zlib stream is still record bytes.
    if (ulog.size() < 5 || uint8_t(ulog[0]) != 0xdd)
        return std::nullopt;
    QByteArray records;
    if (inflateStreams(zlog, records, nullptr) != zlog.size())
        return std::nullopt;
    records.append(ulog.constData() + 5, ulog.size() - 5);
    return parseRecords(records, bigEndian32(ulog.constData() + 1));
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

bool VGLogReader::Repair::changesNothing(const QByteArray &ulog, const QByteArray &zlog) const
{
    return ulog.size() >= 5 && count == bigEndian32(ulog.constData() + 1) &&
           tailSize == ulog.size() - 5 && zlogKeep == zlog.size() && zlogAppend.isEmpty();
}

std::optional<VGLogReader::Repair> VGLogReader::repair(const QByteArray &ulog,
                                                       const QByteArray &zlog)
{
    if (ulog.size() < 5 || uint8_t(ulog[0]) != 0xdd)
        return std::nullopt;
    const uint32_t count = bigEndian32(ulog.constData() + 1);
    Repair repair;
    QByteArray inflated;
    std::vector<Stream> streams;
    repair.zlogKeep = inflateStreams(zlog, inflated, &streams);

    // The records run through the inflated streams and on into the .ulog. Past the header's
    // count the .ulog holds stale bytes, but whatever the streams hold was written as records:
    // a record that ended a stream before its count was stored is kept.
    const qsizetype compressed = inflated.size();
    const qsizetype total = compressed + ulog.size() - 5;
    auto byteAt = [&](qsizetype at) {
        return uint8_t(at < compressed ? inflated[at] : ulog[5 + at - compressed]);
    };
    qsizetype at = 0;
    uint32_t whole = 0;
    unsigned char head[kVGRemoteLogRecordHead];
    for (;;) {
        const size_t available = size_t(std::min<qsizetype>(sizeof head, total - at));
        for (size_t i = 0; i < available; ++i)
            head[i] = byteAt(at + qsizetype(i));
        const uint64_t size = vg_remote_log_record_size(head, available);
        if (size == 0 || size > uint64_t(total - at) || whole == UINT32_MAX)
            break;
        const qsizetype end = at + qsizetype(size);
        if (whole >= count && end > compressed)
            break;
        at = end;
        ++whole;
    }
    repair.count = whole;
    if (at >= compressed) {
        repair.tailSize = at - compressed;
        return repair;
    }
    // The records end inside the streams: the last stream is made again without the bytes of
    // the record whose remainder never reached the .ulog.
    auto stream = streams.end();
    while (stream != streams.begin() && (stream - 1)->inflatedAt >= at)
        --stream;
    const qsizetype from = stream == streams.begin() ? 0 : (stream - 1)->inflatedAt;
    repair.zlogKeep = stream == streams.begin() ? 0 : (stream - 1)->compressedAt;
    if (at > from)
        repair.zlogAppend = deflated(inflated.constData() + from, at - from);
    return repair;
}

} // namespace murmelo
