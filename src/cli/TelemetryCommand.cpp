#include "cli/TelemetryCommand.h"

#include "telemetry/VGUploadDump.h"

#include <QCommandLineParser>
#include <cstdio>

namespace murmelo::cli {

namespace {

enum ExitCode { Ok = 0, Failure = 1, Usage = 2 };

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

int dump(const QString &path)
{
    const VGUploadDump::Decoded decoded = VGUploadDump::decodeFile(path);
    if (!decoded.value) {
        printError(decoded.error);
        return Failure;
    }
    printJson(*decoded.value);
    if (!decoded.note.isEmpty())
        printError(decoded.note);
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
