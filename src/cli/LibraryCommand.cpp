#include "cli/LibraryCommand.h"

#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cstdio>

namespace murmelo::cli {

namespace {

enum ExitCode { Ok = 0, Failure = 1, Usage = 2 };

int fail(const QString &message)
{
    std::fprintf(stderr, "murmelo: %s\n", message.toLocal8Bit().constData());
    return Failure;
}

int usage(const QString &message)
{
    std::fprintf(stderr, "murmelo: %s\nTry 'murmelo library --help'.\n",
                 message.toLocal8Bit().constData());
    return Usage;
}

void printOut(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
}

QString isoDate(const QDateTime &date)
{
    // With its offset, so the text names one instant wherever it is read.
    return date.isValid() ? date.toOffsetFromUtc(date.offsetFromUtc()).toString(Qt::ISODate)
                          : QString();
}

std::vector<std::shared_ptr<Recording>> newestFirst(StoreContext &context)
{
    std::vector<std::shared_ptr<Recording>> recordings;
    for (const auto &object :
         context.fetchObjects(Recording::entityName(), {}, {{QStringLiteral("date"), false}}))
        recordings.push_back(std::static_pointer_cast<Recording>(object));
    return recordings;
}

QJsonObject toJson(const Recording &recording)
{
    return {{QStringLiteral("id"), recording.objectURI().toString()},
            {QStringLiteral("rowId"), recording.rowID()},
            {QStringLiteral("name"), recording.name()},
            {QStringLiteral("date"), isoDate(recording.date())},
            {QStringLiteral("message"), recording.message()},
            {QStringLiteral("audioPath"), recording.currentAudioPath()},
            {QStringLiteral("reverseAudioPath"), recording.reverseAudioPath()},
            {QStringLiteral("speed"), double(recording.speedValue())},
            {QStringLiteral("imported"), recording.isImportedValue()}};
}

QString toText(const Recording &recording)
{
    return QStringLiteral("%1\n  name:     %2\n  date:     %3\n  message:  %4\n"
                          "  forward:  %5\n  reversal: %6\n  speed:    %7\n  imported: %8\n")
        .arg(recording.objectURI().toString(), recording.name(), isoDate(recording.date()),
             recording.message(), recording.currentAudioPath(), recording.reverseAudioPath(),
             QString::number(recording.speedValue()),
             recording.isImportedValue() ? QStringLiteral("yes") : QStringLiteral("no"));
}

int list(const std::vector<std::shared_ptr<Recording>> &recordings, bool json)
{
    if (json) {
        QJsonArray array;
        for (const auto &recording : recordings)
            array.append(toJson(*recording));
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return Ok;
    }
    for (const auto &recording : recordings)
        std::fputs(toText(*recording).toLocal8Bit().constData(), stdout);
    return Ok;
}

std::shared_ptr<Recording> find(StoreContext &context, const QString &id)
{
    bool isRowID = false;
    const qint64 rowID = id.toLongLong(&isRowID);
    const auto object = isRowID ? context.objectWithID(Recording::entityName(), rowID)
                                : context.objectAtURI(QUrl(id));
    if (!object || object->entity().name != Recording::entityName())
        return nullptr;
    return std::static_pointer_cast<Recording>(object);
}

// A file name from the title the user typed: no folders, no hidden files, nothing a shell or
// file manager trips over.
QString fileStem(const Recording &recording)
{
    QString stem;
    for (const QChar c : recording.name().trimmed()) {
        const bool unsafe =
            c.category() == QChar::Other_Control || QStringLiteral("/\\:*?\"<>|").contains(c);
        stem += unsafe ? QChar(u'_') : c;
    }
    while (stem.startsWith(QLatin1Char('.')))
        stem.remove(0, 1);
    stem = stem.left(100).trimmed();
    return stem.isEmpty() ? QStringLiteral("recording-%1").arg(recording.rowID()) : stem;
}

int exportRecording(const Recording &recording, const QString &folder)
{
    const QString stem = QDir(folder).absoluteFilePath(fileStem(recording));
    const QString forward = stem + QStringLiteral(".wav");
    const QString reversal = stem + QStringLiteral(" reversed.wav");
    const QString message = stem + QStringLiteral(".txt");
    // Everything is checked before anything is written, so a failure leaves no half export.
    for (const QString &source : {recording.currentAudioPath(), recording.reverseAudioPath()}) {
        if (source.isEmpty() || !QFileInfo(source).isFile())
            return fail(QStringLiteral("the audio file “%1” of %2 is missing")
                            .arg(source, recording.objectURI().toString()));
    }
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("the folder “%1” cannot be made").arg(folder));
    for (const QString &target : {forward, reversal, message}) {
        if (QFileInfo::exists(target))
            return fail(QStringLiteral("“%1” is already there; nothing was replaced").arg(target));
    }
    QStringList written;
    const auto undo = [&written](const QString &why) {
        for (const QString &file : written)
            QFile::remove(file);
        return fail(why);
    };
    for (const auto &[source, target] : {std::pair{recording.currentAudioPath(), forward},
                                         {recording.reverseAudioPath(), reversal}}) {
        if (!QFile::copy(source, target))
            return undo(QStringLiteral("“%1” cannot be written").arg(target));
        written << target;
    }
    QSaveFile text(message);
    if (!text.open(QIODevice::WriteOnly) || text.write(recording.message().toUtf8() + '\n') < 0 ||
        !text.commit())
        return undo(QStringLiteral("“%1” cannot be written").arg(message));
    written << message;
    for (const QString &file : written)
        printOut(file);
    return Ok;
}

int deleteRecording(StoreContext &context, const std::shared_ptr<Recording> &recording)
{
    const QString uri = recording->objectURI().toString();
    recording->deleteObject();
    StoreError error;
    if (!context.save(&error))
        return fail(QStringLiteral("%1 cannot be deleted: %2").arg(uri, error.description));
    printOut(QStringLiteral("deleted %1").arg(uri));
    return Ok;
}

} // namespace

void declareLibraryOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("json"), QStringLiteral("list: print JSON instead of text")});
}

int libraryCommand(const QCommandLineParser &parser)
{
    const QStringList args = parser.positionalArguments();
    const QString action = args.value(0);
    const qsizetype expected = action == QLatin1String("list")     ? 1
                               : action == QLatin1String("export") ? 3
                               : action == QLatin1String("delete") ? 2
                                                                   : -1;
    if (expected < 0)
        return usage(action.isEmpty() ? QStringLiteral("say list, export or delete")
                                      : QStringLiteral("no such library action: %1").arg(action));
    if (args.size() != expected)
        return usage(QStringLiteral("library %1 takes %2 argument%3")
                         .arg(action)
                         .arg(expected - 1)
                         .arg(expected == 2 ? "" : "s"));
    if (parser.isSet(QStringLiteral("json")) && action != QLatin1String("list"))
        return usage(QStringLiteral("--json is for library list"));

    // A machine without a library yet has nothing to show, and gets no store file made for it;
    // nor does an empty file (a crash before the first save) get a store written into it.
    const QString path = StoreContext::defaultStorePath();
    const bool hasLibrary = QFileInfo(path).size() > 0;
    const bool json = parser.isSet(QStringLiteral("json"));
    if (!hasLibrary && action == QLatin1String("list"))
        return list({}, json);
    if (!hasLibrary)
        return fail(QStringLiteral("no saved recording %1").arg(args[1]));
    StoreContext context;
    if (!context.open(path))
        return fail(context.openError().description);
    // Work a killed command or application left half done is finished first, as at the
    // application's start, so the command sees the library as it really is.
    Recording::recoverFiles(context);
    if (action == QLatin1String("list"))
        return list(newestFirst(context), json);

    const auto recording = find(context, args[1]);
    if (!recording)
        return fail(QStringLiteral("no saved recording %1").arg(args[1]));
    if (action == QLatin1String("export"))
        return exportRecording(*recording, args[2]);
    return deleteRecording(context, recording);
}

} // namespace murmelo::cli
