#include "cli/Cli.h"

#include "audio/MediaImport.h"
#include "audio/MergeAndClip.h"
#include "audio/OutputPath.h"
#include "audio/SoxReversal.h"
#include "audio/WavFile.h"
#include "audio/WaveformImage.h"
#include "cli/LibraryCommand.h"
#include "cli/TerminalProgress.h"
#include "library/Recording.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

namespace murmelo::cli {

namespace {

enum ExitCode { Ok = 0, Failure = 1, Usage = 2, Interrupted = 130 };

struct UsageError {
    QString message;
};

const QSizeF defaultWaveformSize(225, 54);
constexpr double defaultBarWidth = 4;
constexpr int maximumPictureSide = 16384;

std::atomic<bool> interrupted{false};

void printError(const QString &message)
{
    std::fprintf(stderr, "murmelo: %s\n", message.toLocal8Bit().constData());
}

void printOut(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
}

// One subcommand: its arguments, options and work. The work throws UsageError for bad
// arguments and returns an exit code otherwise.
struct Command {
    const char *name;
    const char *summary;
    const char *arguments;
    std::function<void(QCommandLineParser &)> declare;
    std::function<int(const QCommandLineParser &)> work;
};

QCommandLineOption outputOption(const QString &what)
{
    return {{QStringLiteral("o"), QStringLiteral("output")}, what, QStringLiteral("file")};
}

double fractionOption(const QCommandLineParser &parser, const QString &name)
{
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !(value >= 0.0 && value <= 1.0))
        throw UsageError{QStringLiteral("--%1 must be a fraction from 0 to 1").arg(name)};
    return value;
}

QStringList positional(const QCommandLineParser &parser, int count)
{
    const QStringList args = parser.positionalArguments();
    if (args.size() != count)
        throw UsageError{QStringLiteral("expected %1 file argument%2, got %3")
                             .arg(count)
                             .arg(count == 1 ? "" : "s")
                             .arg(args.size())};
    return args;
}

QString requiredOutput(const QCommandLineParser &parser)
{
    if (!parser.isSet(QStringLiteral("output")))
        throw UsageError{QStringLiteral("an output file is needed (-o FILE)")};
    return parser.value(QStringLiteral("output"));
}

int finish(const AudioJobResult &result)
{
    switch (result.status) {
    case AudioJobStatus::Finished:
        return Ok;
    case AudioJobStatus::Cancelled:
        printError(QStringLiteral("interrupted"));
        return Interrupted;
    case AudioJobStatus::Failed:
        break;
    }
    printError(result.error);
    return Failure;
}

int saveWaveform(const QString &input, const QString &png, const QSizeF &size, double barWidth)
{
    const QImage image = waveformImage(input, size, barWidth);
    if (image.isNull()) {
        printError(QStringLiteral("“%1” cannot be read as audio").arg(input));
        return Failure;
    }
    if (!image.save(png, "PNG")) {
        QFile::remove(png);
        printError(QStringLiteral("“%1” cannot be written").arg(png));
        return Failure;
    }
    return Ok;
}

// "<base>-reversed.wav" beside the input, numbered rather than replacing anything there.
QString reversedPathFor(const QString &input)
{
    const QFileInfo info(input);
    const QString stem = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    QString path = stem + QStringLiteral("-reversed.wav");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QStringLiteral("-reversed-%1.wav").arg(n);
    return path;
}

void onInterrupt(int)
{
    interrupted = true;
}

// Files the command made on its way, removed however it ends.
struct TemporaryFiles {
    QStringList paths;
    ~TemporaryFiles()
    {
        for (const QString &path : paths)
            QFile::remove(path);
    }
};

// Reversal and merge read WAV only; a song in any other format is imported into a temporary
// WAV first, as the record screen does. Returns the path to read, or empty after saying why.
QString readableAsWav(const QString &input, TemporaryFiles &temporaries)
{
    WavLayout layout;
    QString ignored;
    if (WavFile::inspect(input, layout, ignored) != WavFile::Kind::NotWav)
        return input; // a WAV, or a damaged one that the reader will explain
    const QString wav = Recording::tempAudioPath();
    MediaImportError error;
    {
        TerminalProgress bar(QStringLiteral("Importing"));
        error = MediaImport::exportToWav(input, wav, interrupted,
                                         [&bar](double fraction) { bar.update(fraction); });
    }
    if (!error.ok()) {
        printError(
            error.kind == MediaImportError::Kind::Cancelled
                ? QStringLiteral("interrupted")
                : QStringLiteral("“%1” cannot be read as audio: %2").arg(input, error.description));
        return QString();
    }
    temporaries.paths << wav;
    return wav;
}

int reverseCommand(const QCommandLineParser &parser)
{
    const QString input = positional(parser, 1).first();
    const QString output = parser.isSet(QStringLiteral("output"))
                               ? parser.value(QStringLiteral("output"))
                               : reversedPathFor(input);
    // Ctrl-C stops libsox at its next block and the partial file goes, like a cancelled job.
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    TemporaryFiles temporaries;
    const QString source = readableAsWav(input, temporaries);
    if (source.isEmpty())
        return interrupted ? Interrupted : Failure;
    AudioJobResult result;
    {
        TerminalProgress bar(QStringLiteral("Reversing"));
        result = reverseAudioFile(source, output, interrupted,
                                  [&bar](double fraction) { bar.update(fraction); });
    }
    if (result.status == AudioJobStatus::Cancelled)
        QFile::remove(output);
    if (const int code = finish(result); code != Ok)
        return code;
    if (parser.isSet(QStringLiteral("waveform"))) {
        const int code = saveWaveform(source, parser.value(QStringLiteral("waveform")),
                                      defaultWaveformSize, defaultBarWidth);
        if (code != Ok)
            return code;
    }
    if (!parser.isSet(QStringLiteral("output")))
        printOut(output);
    return Ok;
}

QSizeF parseSize(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    const int w = match.hasMatch() ? match.captured(1).toInt() : 0;
    const int h = match.hasMatch() ? match.captured(2).toInt() : 0;
    if (w < 1 || h < 1 || w > maximumPictureSide || h > maximumPictureSide)
        throw UsageError{
            QStringLiteral("--size must be WIDTHxHEIGHT, each 1 to %1").arg(maximumPictureSide)};
    return QSizeF(w, h);
}

int waveformCommand(const QCommandLineParser &parser)
{
    const QString input = positional(parser, 1).first();
    const QString png = requiredOutput(parser);
    const QSizeF size = parser.isSet(QStringLiteral("size"))
                            ? parseSize(parser.value(QStringLiteral("size")))
                            : defaultWaveformSize;
    double barWidth = defaultBarWidth;
    if (parser.isSet(QStringLiteral("bar-width"))) {
        bool ok = false;
        barWidth = parser.value(QStringLiteral("bar-width")).toDouble(&ok);
        if (!ok || !(barWidth > 2.0 && barWidth <= size.width()))
            throw UsageError{QStringLiteral("--bar-width must be above 2 and at most the width")};
    }
    if (wouldOverwrite(input, png))
        throw UsageError{QStringLiteral("the picture would overwrite the audio file")};
    TemporaryFiles temporaries;
    const QString source = readableAsWav(input, temporaries);
    if (source.isEmpty())
        return interrupted ? Interrupted : Failure;
    return saveWaveform(source, png, size, barWidth);
}

int mergeCommand(const QCommandLineParser &parser)
{
    const QStringList inputs = positional(parser, 2);
    const QString output = requiredOutput(parser);
    float factor = 1.0f;
    if (parser.isSet(QStringLiteral("factor"))) {
        bool ok = false;
        factor = parser.value(QStringLiteral("factor")).toFloat(&ok);
        if (!ok)
            throw UsageError{QStringLiteral("--factor must be a number")};
    }
    TemporaryFiles temporaries;
    const QString first = readableAsWav(inputs[0], temporaries);
    const QString second = first.isEmpty() ? QString() : readableAsWav(inputs[1], temporaries);
    if (second.isEmpty())
        return interrupted ? Interrupted : Failure;
    return finish(mergeAudioFiles(first, second, factor, output));
}

int clipCommand(const QCommandLineParser &parser)
{
    const QString input = positional(parser, 1).first();
    const QString output = requiredOutput(parser);
    for (const char *name : {"start", "end"})
        if (!parser.isSet(QLatin1String(name)))
            throw UsageError{QStringLiteral("--%1 is needed").arg(QLatin1String(name))};
    const double start = fractionOption(parser, QStringLiteral("start"));
    const double end = fractionOption(parser, QStringLiteral("end"));
    if (!(start < end))
        throw UsageError{QStringLiteral("--start must come before --end")};
    return finish(clipAudioFile(input, float(start), float(end), output));
}

int importCommand(const QCommandLineParser &parser)
{
    const QString input = positional(parser, 1).first();
    const QString output = requiredOutput(parser);
    if (wouldOverwrite(input, output))
        throw UsageError{QStringLiteral("the WAV file would overwrite the song")};
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    MediaImportError error;
    {
        TerminalProgress bar(QStringLiteral("Importing"));
        error = MediaImport::exportToWav(input, output, interrupted,
                                         [&bar](double fraction) { bar.update(fraction); });
    }
    if (error.ok())
        return Ok;
    if (error.kind == MediaImportError::Kind::Cancelled) {
        printError(QStringLiteral("interrupted"));
        return Interrupted;
    }
    printError(
        error.kind == MediaImportError::Kind::Unreadable
            ? QStringLiteral("“%1” cannot be read as audio: %2").arg(input, error.description)
            : QStringLiteral("“%1”: %2").arg(input, MediaImport::alertMessage(error)));
    return Failure;
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> list = {
        {"reverse", "Write an audio file played backwards as WAV", "IN",
         [](QCommandLineParser &p) {
             p.addOption(outputOption(QStringLiteral(
                 "Where to write the reversal (default: <name>-reversed.wav beside IN)")));
             p.addOption({QStringLiteral("waveform"),
                          QStringLiteral("Also draw the waveform picture of IN as PNG"),
                          QStringLiteral("png")});
         },
         reverseCommand},
        {"waveform", "Draw the waveform picture of an audio file as PNG", "IN",
         [](QCommandLineParser &p) {
             p.addOption(outputOption(QStringLiteral("The PNG file to write")));
             p.addOption({QStringLiteral("size"), QStringLiteral("Picture size (default 225x54)"),
                          QStringLiteral("WxH")});
             p.addOption({QStringLiteral("bar-width"),
                          QStringLiteral("Distance between bars (default 4)"),
                          QStringLiteral("points")});
         },
         waveformCommand},
        {"merge", "Join two audio files of the same format into one WAV", "A B",
         [](QCommandLineParser &p) {
             p.addOption(outputOption(QStringLiteral("The WAV file to write")));
             p.addOption({QStringLiteral("factor"),
                          QStringLiteral("Playing speed of the result (default 1)"),
                          QStringLiteral("F")});
         },
         mergeCommand},
        {"clip", "Cut a stretch out of a WAV file, keeping its exact format", "IN",
         [](QCommandLineParser &p) {
             p.addOption(outputOption(QStringLiteral("The WAV file to write")));
             p.addOption({QStringLiteral("start"),
                          QStringLiteral("Start as a fraction of the length (0 to 1)"),
                          QStringLiteral("S")});
             p.addOption({QStringLiteral("end"),
                          QStringLiteral("End as a fraction of the length (0 to 1)"),
                          QStringLiteral("E")});
         },
         clipCommand},
        {"import", "Convert a song to the 44.1 kHz 16-bit stereo WAV that reversal starts from",
         "IN",
         [](QCommandLineParser &p) {
             p.addOption(outputOption(QStringLiteral("The WAV file to write")));
         },
         importCommand},
        {"library", "Saved recordings: list [--json], export ID DIR, delete ID", "ACTION",
         declareLibraryOptions, libraryCommand},
    };
    return list;
}

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands())
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

QString overview()
{
    QString text = QStringLiteral("Usage: murmelo [COMMAND] [OPTIONS]\n\n"
                                  "Without a command, the application window opens.\n\n"
                                  "Commands:\n");
    for (const Command &command : commands())
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromLatin1(command.name).leftJustified(9),
                         QLatin1String(command.summary));
    text += QStringLiteral("  help       Show this text, or a command's options\n\n"
                           "Options:\n  -h, --help     Show this text\n"
                           "  -V, --version  Show the version\n");
    return text;
}

void prepareParser(QCommandLineParser &parser, const Command &command)
{
    parser.setApplicationDescription(QLatin1String(command.summary));
    parser.addHelpOption();
    parser.addPositionalArgument(QLatin1String(command.arguments), QString());
    command.declare(parser);
}

int runCommand(const Command &command, QStringList arguments)
{
    QCommandLineParser parser;
    prepareParser(parser, command);
    arguments[0] = QStringLiteral("murmelo %1").arg(QLatin1String(command.name));
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return Usage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // Qt names the executable's full path; the usage line names the command instead.
        const QString usage =
            QStringLiteral("Usage: murmelo %1 [options] %2\n")
                .arg(QLatin1String(command.name), QLatin1String(command.arguments));
        const QString help = usage + parser.helpText().section(QLatin1Char('\n'), 1);
        std::fputs(help.toLocal8Bit().constData(), stdout);
        return Ok;
    }
    try {
        return command.work(parser);
    } catch (const UsageError &error) {
        printError(error.message);
        std::fprintf(stderr, "Try 'murmelo %s --help'.\n", command.name);
        return Usage;
    }
}

int runHelp(const QStringList &arguments)
{
    if (arguments.size() > 2) {
        if (const Command *command = findCommand(arguments[2]))
            return runCommand(*command, {arguments[0], QStringLiteral("--help")});
        printError(QStringLiteral("no such command: %1").arg(arguments[2]));
        return Usage;
    }
    std::fputs(overview().toLocal8Bit().constData(), stdout);
    return Ok;
}

} // namespace

bool isCommandLine(int argc, char **argv)
{
    if (argc < 2)
        return false;
    const QString first = QString::fromLocal8Bit(argv[1]);
    static const QStringList words = {QStringLiteral("help"), QStringLiteral("--help"),
                                      QStringLiteral("-h"), QStringLiteral("--version"),
                                      QStringLiteral("-V")};
    return words.contains(first) || findCommand(first) != nullptr;
}

int run(int argc, char **argv)
{
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmelo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MURMELO_VERSION));
    const QStringList arguments = QCoreApplication::arguments();
    const QString first = arguments.value(1);
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        printOut(QStringLiteral("murmelo %1").arg(QStringLiteral(MURMELO_VERSION)));
        return Ok;
    }
    if (first == QLatin1String("help") || first == QLatin1String("--help") ||
        first == QLatin1String("-h"))
        return runHelp(arguments);
    if (const Command *command = findCommand(first)) {
        QStringList rest = arguments;
        rest.removeAt(1);
        return runCommand(*command, rest);
    }
    printError(QStringLiteral("no such command: %1").arg(first));
    std::fputs(overview().toLocal8Bit().constData(), stderr);
    return Usage;
}

} // namespace murmelo::cli
