#include "cli/TelemetryCommand.h"

#include "cli/CommandSupport.h"
#include "telemetry/VGUploadDump.h"

#include <QCommandLineParser>
#include <cstdio>

namespace murmelo::cli {

namespace {

int usage(const QString &message)
{
    return cli::usage("telemetry", message);
}

void printJson(const VGValue &value)
{
    std::fprintf(stdout, "%s\n", value.toJson().toUtf8().constData());
}

int dump(const QString &path)
{
    const VGUploadDump::Decoded decoded = VGUploadDump::decodeFile(path);
    if (!decoded.value)
        return fail(decoded.error);
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
