#include "cli/Cli.h"

#include "audio/MediaImport.h"
#include "audio/MergeAndClip.h"
#include "audio/OutputPath.h"
#include "audio/ReversalJob.h"
#include "audio/SoxReversal.h"
#include "audio/SpectrogramImage.h"
#include "audio/WavFile.h"
#include "audio/WaveformImage.h"
#include "cli/CommandSupport.h"
#include "cli/Interruption.h"
#include "cli/LabelsCommand.h"
#include "cli/LibraryCommand.h"
#include "cli/PublishCommand.h"
#include "cli/ShareCommand.h"
#include "cli/SuggestCommand.h"
#include "cli/TelemetryCommand.h"
#include "cli/TerminalProgress.h"
#include "cli/WordsCommand.h"
#include "library/Library.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace murmelo::cli {

namespace {

struct UsageError {
    QString message;
};

const QSizeF defaultWaveformSize(225, 54);
const QSize defaultSpectrogramSize(1024, 512);
constexpr double defaultBarWidth = 4;
constexpr int maximumPictureSide = 16384;

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
        return Interruption::exitCode();
    case AudioJobStatus::Failed:
        break;
    }
    printError(result.error);
    return Failure;
}

// Refuses, before anything is read or written, inputs that are not regular files (a FIFO
// would block the command for good) and outputs that are one of the inputs under any name.
void checkFiles(const QStringList &inputs, const QStringList &outputs = {})
{
    for (const QString &input : inputs) {
        if (const QString problem = inputProblem(input); !problem.isEmpty())
            throw std::runtime_error(problem.toStdString());
        for (const QString &output : outputs) {
            if (wouldOverwrite(input, output))
                throw UsageError{QStringLiteral("“%1” is “%2” under another name: writing it "
                                                "would destroy the input")
                                     .arg(output, input)};
        }
    }
}

int savePicture(const QImage &image, const QString &png)
{
    QString error;
    OutputFile target(png);
    if (!target.create(error)) {
        printError(error);
        return Failure;
    }
    if (!image.save(target.path(), "PNG") || !target.commit(error)) {
        printError(QStringLiteral("“%1” cannot be written").arg(png));
        return Failure;
    }
    return Ok;
}

int saveWaveform(const QString &input, const QString &png, const QSizeF &size, double barWidth)
{
    QString error;
    const QImage image = waveformImage(input, size, barWidth, &error);
    if (image.isNull()) {
        printError(error);
        return Failure;
    }
    return savePicture(image, png);
}

// Files the command made on its way, removed however it ends (by the watchdog too).
struct TemporaryFiles {
    QStringList paths;
    void add(const QString &path)
    {
        paths << path;
        Interruption::track(path);
    }
    ~TemporaryFiles()
    {
        for (const QString &path : paths) {
            QFile::remove(path);
            Interruption::forget(path);
        }
    }
};

// "<base>-reversed.wav" beside the input, numbered rather than replacing anything there. The
// name is taken by creating it exclusively, so nothing there (a file, a dangling link) is ever
// replaced or written through; the reversal is renamed over this placeholder when done.
QString reserveReversedPath(const QString &input, TemporaryFiles &placeholders)
{
    const QFileInfo info(input);
    const QString stem = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    QString error;
    for (int n = 1; n < 10000; ++n) {
        const QString path = n == 1 ? stem + QStringLiteral("-reversed.wav")
                                    : stem + QStringLiteral("-reversed-%1.wav").arg(n);
        if (createExclusively(path, error)) {
            placeholders.add(path);
            return path;
        }
        if (!error.contains(QStringLiteral("already there")))
            break;
    }
    throw std::runtime_error(error.toStdString());
}

// Runs the job on this thread with a bar on the terminal for each of its stages.
ReversalJob::Result runJob(const ReversalJob &job)
{
    std::optional<TerminalProgress> bar;
    std::optional<ReversalJob::Stage> shown;
    return job.run(Interruption::flag(), [&](ReversalJob::Stage stage, double fraction) {
        if (stage != shown) {
            bar.reset();
            bar.emplace(stage == ReversalJob::Stage::Importing ? QStringLiteral("Importing")
                                                               : QStringLiteral("Reversing"));
            shown = stage;
        }
        bar->update(fraction);
    });
}

// A job for `input`: a WAV is taken as it is, anything else is imported first (into a temporary
// WAV the command removes as it ends), as the record screen does. Nullopt after saying why a WAV
// file is refused.
std::optional<ReversalJob> jobFor(const QString &input, TemporaryFiles &temporaries)
{
    WavLayout layout;
    QString error;
    switch (WavFile::checkInput(input, layout, error)) {
    case WavFile::Kind::Valid:
        return ReversalJob(input, ReversalJob::Source::Recording, &Library::temporaryAudioPath);
    case WavFile::Kind::Invalid:
        printError(error);
        return std::nullopt;
    case WavFile::Kind::NotWav:
        break;
    }
    ReversalJob job(input, ReversalJob::Source::Song, &Library::temporaryAudioPath);
    const QString wav = Library::temporaryAudioPath();
    temporaries.add(wav);
    job.setForwardPath(wav);
    return job;
}

// Says why a job did not finish; returns the exit code.
int jobFailed(const QString &input, const ReversalJob::Result &result)
{
    if (result.status == AudioJobStatus::Cancelled) {
        printError(QStringLiteral("interrupted"));
        return Interruption::exitCode();
    }
    if (result.stage == ReversalJob::Stage::Importing) {
        printError(QStringLiteral("“%1” cannot be read as audio: %2")
                       .arg(input, result.importError.description));
        return Failure;
    }
    printError(result.error);
    return Failure;
}

// Merge and the waveform read WAV only: the path to read, or empty after saying why.
QString readableAsWav(const QString &input, TemporaryFiles &temporaries)
{
    std::optional<ReversalJob> job = jobFor(input, temporaries);
    if (!job)
        return QString();
    job->setReverses(false);
    const ReversalJob::Result result = runJob(*job);
    if (result.status != AudioJobStatus::Finished) {
        jobFailed(input, result);
        return QString();
    }
    return result.reversal.audioPath;
}

int reverseCommand(const QCommandLineParser &parser)
{
    const QString input = positional(parser, 1).first();
    const bool named = parser.isSet(QStringLiteral("output"));
    const QString png = parser.value(QStringLiteral("waveform"));
    QStringList outputs;
    if (named)
        outputs << parser.value(QStringLiteral("output"));
    if (!png.isEmpty())
        outputs << png;
    checkFiles({input}, outputs);
    // A name the program picks itself is reserved first; it goes again if the work fails.
    TemporaryFiles temporaries;
    const QString output =
        named ? parser.value(QStringLiteral("output")) : reserveReversedPath(input, temporaries);
    std::optional<ReversalJob> job = jobFor(input, temporaries);
    if (!job)
        return Failure;
    job->setReversalPath(output);
    const ReversalJob::Result result = runJob(*job);
    if (result.status != AudioJobStatus::Finished)
        return jobFailed(input, result);
    // Done: the reserved name now holds the reversal and stays.
    temporaries.paths.removeAll(output);
    Interruption::forget(output);
    if (parser.isSet(QStringLiteral("waveform"))) {
        // The reversal measured the forward audio on its way: no second read for the picture.
        if (const int code = savePicture(result.reversal.waveformImage, png); code != Ok)
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
    checkFiles({input}, {png});
    TemporaryFiles temporaries;
    const QString source = readableAsWav(input, temporaries);
    if (source.isEmpty())
        return Interruption::signalNumber() ? Interruption::exitCode() : Failure;
    return saveWaveform(source, png, size, barWidth);
}

int spectrogramCommand(const QCommandLineParser &parser)
{
    const QString input = positional(parser, 1).first();
    const QString png = requiredOutput(parser);
    const QSize size = parser.isSet(QStringLiteral("size"))
                           ? parseSize(parser.value(QStringLiteral("size"))).toSize()
                           : defaultSpectrogramSize;
    const auto scale = parser.isSet(QStringLiteral("log")) ? FrequencyAxis::Scale::Logarithmic
                                                           : FrequencyAxis::Scale::Linear;
    checkFiles({input}, {png});
    TemporaryFiles temporaries;
    const QString source = readableAsWav(input, temporaries);
    if (source.isEmpty())
        return Interruption::signalNumber() ? Interruption::exitCode() : Failure;
    QString error;
    QImage image;
    {
        TerminalProgress bar(QStringLiteral("Analysing"));
        image = SpectrogramImage::draw(source, size, scale, error, &Interruption::flag(),
                                       [&bar](double done) { bar.update(done); });
    }
    if (image.isNull()) {
        if (Interruption::signalNumber() != 0) {
            printError(QStringLiteral("interrupted"));
            return Interruption::exitCode();
        }
        printError(error);
        return Failure;
    }
    return savePicture(image, png);
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
    checkFiles(inputs, {output});
    TemporaryFiles temporaries;
    const QString first = readableAsWav(inputs[0], temporaries);
    const QString second = first.isEmpty() ? QString() : readableAsWav(inputs[1], temporaries);
    if (second.isEmpty())
        return Interruption::signalNumber() ? Interruption::exitCode() : Failure;
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
    checkFiles({input}, {output});
    return finish(clipAudioFile(input, float(start), float(end), output));
}

int importCommand(const QCommandLineParser &parser)
{
    const QString input = positional(parser, 1).first();
    const QString output = requiredOutput(parser);
    checkFiles({input}, {output});
    // A WAV song is held to the rule every command applies to WAV files.
    WavLayout layout;
    QString wavError;
    if (WavFile::checkInput(input, layout, wavError) == WavFile::Kind::Invalid) {
        printError(wavError);
        return Failure;
    }
    ReversalJob job(input, ReversalJob::Source::Song, &Library::temporaryAudioPath);
    job.setForwardPath(output);
    job.setReverses(false);
    const ReversalJob::Result result = runJob(job);
    if (result.status == AudioJobStatus::Finished)
        return Ok;
    if (result.status == AudioJobStatus::Cancelled) {
        printError(QStringLiteral("interrupted"));
        return Interruption::exitCode();
    }
    const MediaImportError &error = result.importError;
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
        {"spectrogram", "Draw the spectrogram of an audio file as PNG", "IN",
         [](QCommandLineParser &p) {
             p.addOption(outputOption(QStringLiteral("The PNG file to write")));
             p.addOption({QStringLiteral("size"), QStringLiteral("Picture size (default 1024x512)"),
                          QStringLiteral("WxH")});
             p.addOption({QStringLiteral("log"),
                          QStringLiteral("Logarithmic frequency axis (default linear)")});
         },
         spectrogramCommand},
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
        {"labels", "Phrase markers as label files: export ID FILE, import ID FILE [--forward]",
         "ACTION ID FILE", declareLabelsOptions, labelsCommand},
        {"suggest", "Print the phrases found in a saved reversal as a label file [--forward]", "ID",
         declareSuggestOptions, suggestCommand},
        {"words", "Print the words said forward under a saved recording's phrase markers",
         "ID [MARKER]", declareWordsOptions, wordsCommand},
        {"telemetry", "Telemetry files for debugging uploads: dump FILE prints one as JSON",
         "dump FILE", declareTelemetryOptions, telemetryCommand},
        {"share", "Mail a saved recording, forwards then backwards, to --to ADDR[,ADDR]", "ID",
         declareShareOptions, shareCommand},
        {"publish", "Write a saved recording as one web page that works offline", "ID",
         declarePublishOptions, publishCommand},
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
                    .arg(QString::fromLatin1(command.name).leftJustified(11),
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
    int code;
    try {
        code = command.work(parser);
    } catch (const UsageError &error) {
        return usage(command.name, error.message);
    } catch (const std::runtime_error &error) {
        printError(QString::fromStdString(error.what()));
        code = Failure;
    }
    // A signal that arrived while the work was finishing anyway still ends the command as
    // interrupted: the user asked for it to stop.
    if (Interruption::signalNumber() != 0 && code != Interruption::exitCode()) {
        printError(QStringLiteral("interrupted"));
        return Interruption::exitCode();
    }
    return code;
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
    // First of all, so that a signal at any moment of a command ends it the same way.
    Interruption::install();
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
