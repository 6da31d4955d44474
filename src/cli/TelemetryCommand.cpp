#include "cli/TelemetryCommand.h"

#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/log/VGLogReader.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace murmelo::cli {

namespace {

enum ExitCode { Ok = 0, Failure = 1, Usage = 2 };

// Larger than any queue file, report or log the telemetry writes.
constexpr qint64 kLargestFile = 64 * 1024 * 1024;

void printError(const QString &message)
{
    std::fprintf(stderr, "murmelo: %s\n", message.toLocal8Bit().constData());
}

int usage(const QString &message)
{
    printError(message);
    std::fprintf(stderr, "Try 'murmelo telemetry --help'.\n");
    return Usage;
}

void printJson(const VGValue &value)
{
    std::fprintf(stdout, "%s\n", value.toJson().toUtf8().constData());
}

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

int dump(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return Failure;
    }
    if (file.size() > kLargestFile) {
        printError(QStringLiteral("%1 is larger than any telemetry file").arg(path));
        return Failure;
    }
    const QString suffix = QFileInfo(path).suffix();
    if (suffix == QLatin1String("ulog") || suffix == QLatin1String("zlog")) {
        const auto records = VGLogReader::readLogAtPath(path);
        if (!records) {
            printError(QStringLiteral("%1 is not a readable telemetry log").arg(path));
            return Failure;
        }
        printJson(*records);
        return Ok;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.startsWith(QByteArray("sent\0", 5))) {
        printJson(VGValue::map({{"sent", VGValue::boolean(true)}}));
        return Ok;
    }
    size_t used = 0;
    auto value = VGMessagePack::unpack(bytes.constData(), size_t(bytes.size()), &used, true);
    if (!value) {
        printError(QStringLiteral("%1 is not a MessagePack record, or it is cut short").arg(path));
        return Failure;
    }
    decodeLogs(*value);
    printJson(*value);
    if (used < size_t(bytes.size()))
        printError(QStringLiteral("note: %1 bytes follow the record (an event whose count was "
                                  "not written yet, or damage)")
                       .arg(size_t(bytes.size()) - used));
    return Ok;
}

} // namespace

void declareTelemetryOptions(QCommandLineParser &) {}

int telemetryCommand(const QCommandLineParser &parser)
{
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty() || args.first() != QLatin1String("dump"))
        return usage(QStringLiteral("the only telemetry action is: dump FILE"));
    if (args.size() != 2)
        return usage(QStringLiteral("dump takes one file"));
    return dump(args[1]);
}

} // namespace murmelo::cli
