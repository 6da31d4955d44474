#include "cli/LabelsCommand.h"

#include "audio/WavFile.h"
#include "cli/CommandSupport.h"
#include "library/LabelFile.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo::cli {

namespace {

// Label files are text of a few lines per marker; anything far larger is not one.
constexpr qint64 maximumLabelFileBytes = 16 * 1024 * 1024;

int usage(const QString &message)
{
    return cli::usage("labels", message);
}

int exportLabels(PhraseMarkerStore &store, const Recording &recording, const LabelAudio &audio,
                 LabelTimeLine timeLine, const QString &path)
{
    StoreError error;
    const QList<PhraseMarker> markers = store.markers(recording.rowID(), &error);
    if (error)
        return fail(error.description);
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("“%1” is already there; nothing was replaced").arg(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(writeLabelFile(markers, timeLine, audio)) < 0 || !file.commit())
        return fail(QStringLiteral("“%1” cannot be written").arg(path));
    std::fprintf(stdout, "%lld markers written to %s\n", static_cast<long long>(markers.size()),
                 path.toLocal8Bit().constData());
    return Ok;
}

// Opens a label file for reading without blocking on a FIFO; why not, otherwise.
QString openLabelFile(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("“%1” cannot be read: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return S_ISDIR(info.st_mode)
                   ? QStringLiteral("“%1” is a folder, not a label file").arg(path)
                   : QStringLiteral("“%1” is not a regular file").arg(path);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QStringLiteral("“%1” cannot be read: %2").arg(path, file.errorString());
    }
    return {};
}

int importLabels(PhraseMarkerStore &store, const Recording &recording, const LabelAudio &audio,
                 LabelTimeLine assumed, const QString &path)
{
    // A device or a FIFO has no size to check and may never end: only a regular file is read,
    // and never more than a label file can be.
    QFile file;
    if (const QString problem = openLabelFile(file, path); !problem.isEmpty())
        return fail(problem + QStringLiteral("; nothing was changed"));
    const QByteArray bytes = file.read(maximumLabelFileBytes + 1);
    if (bytes.size() > maximumLabelFileBytes)
        return fail(
            QStringLiteral("“%1” is too large for a label file; nothing was changed").arg(path));
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("“%1” cannot be read: %2; nothing was changed")
                        .arg(path, file.errorString()));
    const LabelFileContents contents = readLabelFile(bytes, assumed, audio);
    if (!contents.ok()) {
        for (const QString &error : contents.errors)
            std::fprintf(stderr, "%s: %s\n", path.toLocal8Bit().constData(),
                         error.toLocal8Bit().constData());
        return fail(QStringLiteral("“%1” was refused; nothing was changed").arg(path));
    }
    // An import replaces every marker: a file that names none (empty, a header alone, line ends
    // another reader missed) would silently delete them all.
    if (contents.markers.isEmpty())
        return fail(QStringLiteral("no markers in %1; nothing was changed").arg(path));
    StoreError error;
    if (!store.replaceMarkers(recording.rowID(), contents.markers, &error))
        return fail(error.description);
    std::fprintf(stdout, "%lld markers imported into %s\n",
                 static_cast<long long>(contents.markers.size()),
                 recording.objectURI().toString().toLocal8Bit().constData());
    return Ok;
}

} // namespace

void declareLabelsOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("forward"),
                      QStringLiteral("Seconds on the forward audio's time line instead of the "
                                     "reversal's")});
}

int labelsCommand(const QCommandLineParser &parser)
{
    const QStringList args = parser.positionalArguments();
    const QString action = args.value(0);
    if (action != QLatin1String("export") && action != QLatin1String("import"))
        return usage(action.isEmpty() ? QStringLiteral("say export or import")
                                      : QStringLiteral("no such labels action: %1").arg(action));
    if (args.size() != 3)
        return usage(QStringLiteral("labels %1 takes a recording ID and a file").arg(action));

    StoreContext context;
    const auto recording = openSavedRecording(context, args[1]);
    if (!recording)
        return Failure;

    // Seconds become frames at the reversal's rate, and its length mirrors and bounds them.
    WavLayout layout;
    QString reason;
    if (WavFile::inspect(recording->reverseAudioPath(), layout, reason) != WavFile::Kind::Valid)
        return fail(QStringLiteral("the reversal “%1” of %2 cannot be read%3")
                        .arg(recording->reverseAudioPath(), recording->objectURI().toString(),
                             reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    const LabelAudio audio{layout.sampleRate, layout.frames};
    const LabelTimeLine timeLine =
        parser.isSet(QStringLiteral("forward")) ? LabelTimeLine::Forward : LabelTimeLine::Reversed;
    PhraseMarkerStore store(context);
    if (action == QLatin1String("export"))
        return exportLabels(store, *recording, audio, timeLine, args[2]);
    return importLabels(store, *recording, audio, timeLine, args[2]);
}

} // namespace murmelo::cli
