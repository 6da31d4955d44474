#include "telemetry/VGUploadDump.h"

#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/crash/handler/CrashDelivery.h"
#include "telemetry/log/VGLogReader.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <algorithm>

namespace murmelo::VGUploadDump {

namespace {
// Session-end events carry their log as raw bytes: show its records instead.
void decodeLogs(VGValue &value)
{
    if (value.isMap()) {
        std::vector<VGValue> &items = value.items();
        for (size_t i = 0; i + 1 < items.size(); i += 2) {
            VGValue &entry = items[i + 1];
            if (items[i] == VGValue("log") && entry.isData()) {
                if (auto records = VGLogReader::readUpload(entry.bytes()))
                    entry = std::move(*records);
            } else {
                decodeLogs(entry);
            }
        }
    } else if (value.isArray()) {
        for (VGValue &item : value.items())
            decodeLogs(item);
    }
}
} // namespace

Decoded decodeFile(const QString &path)
{
    Decoded result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return result;
    }
    if (!QFileInfo(path).isFile()) {
        result.error = QStringLiteral("%1 is not a regular file").arg(path);
        return result;
    }
    if (file.size() > kLargestFile) {
        result.error = QStringLiteral("%1 is larger than any telemetry file").arg(path);
        return result;
    }
    const QString suffix = QFileInfo(path).suffix();
    if (suffix == QLatin1String("ulog") || suffix == QLatin1String("zlog")) {
        result.value = VGLogReader::readLogAtPath(path);
        if (!result.value)
            result.error = QStringLiteral("%1 is not a readable telemetry log").arg(path);
        return result;
    }
    const QByteArray bytes = file.read(kLargestFile);
    if (bytes.startsWith(QByteArray("sent\0", 5))) {
        result.value = VGValue::map({{"sent", VGValue::boolean(true)}});
        return result;
    }
    size_t used = 0;
    result.value = VGMessagePack::unpack(bytes.constData(), size_t(bytes.size()), &used, true);
    if (!result.value) {
        result.error =
            QStringLiteral("%1 is not a MessagePack record, or it is cut short").arg(path);
        return result;
    }
    decodeLogs(*result.value);
    if (used < size_t(bytes.size()))
        result.note = QStringLiteral("note: %1 bytes follow the record (an event whose count was "
                                     "not written yet, or damage)")
                          .arg(size_t(bytes.size()) - used);
    return result;
}

QStringList pendingUploads(const QString &sdkFolder)
{
    QFileInfoList found;
    QDirIterator queues(sdkFolder + QStringLiteral("/VGEventManager"),
                        {QStringLiteral("*.msgpack")}, QDir::Files, QDirIterator::Subdirectories);
    while (queues.hasNext()) {
        queues.next();
        // The queue header every queue file starts with is not an upload of its own.
        if (queues.fileInfo().dir().dirName() != QLatin1String("VGEventManager"))
            found.append(queues.fileInfo());
    }
    const QFileInfo report(sdkFolder + QLatin1Char('/') + QLatin1String(crash::kReportFileName));
    if (report.isFile())
        found.append(report);
    found += QDir(sdkFolder + QStringLiteral("/old_crashes"))
                 .entryInfoList({QStringLiteral("*.crash.mpack")}, QDir::Files);
    std::stable_sort(found.begin(), found.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.lastModified() < b.lastModified();
    });
    QStringList paths;
    for (const QFileInfo &file : found)
        paths.append(file.absoluteFilePath());
    return paths;
}

QString describePendingUploads(const QString &sdkFolder)
{
    QString text;
    for (const QString &path : pendingUploads(sdkFolder)) {
        const Decoded decoded = decodeFile(path);
        text += QStringLiteral("== %1 (%2 bytes)\n")
                    .arg(QFileInfo(path).fileName())
                    .arg(QFileInfo(path).size());
        if (!decoded.value) {
            text += decoded.error + QStringLiteral("\n\n");
            continue;
        }
        const QJsonDocument json = QJsonDocument::fromJson(decoded.value->toJson().toUtf8());
        text += json.isNull() ? decoded.value->toJson()
                              : QString::fromUtf8(json.toJson(QJsonDocument::Indented));
        text += QLatin1Char('\n');
    }
    return text;
}

} // namespace murmelo::VGUploadDump
