#include "cli/LibraryCommand.h"

#include "audio/OutputPath.h"
#include "cli/CommandSupport.h"
#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>
#include <cstdio>

namespace murmelo::cli {

namespace {

int usage(const QString &message)
{
    return cli::usage("library", message);
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

// Text typed by a user (or put in the file by anyone) as the terminal should show it: control
// characters and the invisible ones that reorder or hide text are written as escapes, so no
// title can move the cursor, change colours or disguise what it says.
QString printable(const QString &text)
{
    QString shown;
    for (const char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            category == QChar::Separator_Line || category == QChar::Separator_Paragraph ||
            category == QChar::Other_Surrogate || category == QChar::Other_NotAssigned)
            shown += c < 0x100 ? QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'))
                               : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        else if (c == U'\\')
            shown += QStringLiteral("\\\\");
        else
            shown += QString::fromUcs4(&c, 1);
    }
    return shown;
}

QString toText(const Recording &recording)
{
    return QStringLiteral("%1\n  name:     %2\n  date:     %3\n  message:  %4\n"
                          "  forward:  %5\n  reversal: %6\n  speed:    %7\n  imported: %8\n")
        .arg(recording.objectURI().toString(), printable(recording.name()),
             isoDate(recording.date()), printable(recording.message()),
             printable(recording.currentAudioPath()), printable(recording.reverseAudioPath()),
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

// File names are limited in bytes (255 on Linux file systems); this leaves room for the longest
// suffix and the hidden name a file is written under first.
constexpr qsizetype maximumStemBytes = 200;

// A file name from the title the user typed: no folders, no hidden files, nothing a shell or
// file manager trips over, no invisible characters that reorder what the name shows (U+202E
// makes "evil\u202Evaw.exe" look like "evilexe.wav"), and cut to fit only between whole
// characters as the user sees them.
QString fileStem(const Recording &recording)
{
    QString stem;
    for (const char32_t c : recording.name().trimmed().toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Format || category == QChar::Other_Surrogate ||
            category == QChar::Other_NotAssigned)
            continue;
        const bool unsafe = category == QChar::Other_Control || category == QChar::Separator_Line ||
                            category == QChar::Separator_Paragraph ||
                            (c < 0x80 && QStringLiteral("/\\:*?\"<>|").contains(QChar(c)));
        stem += unsafe ? QStringLiteral("_") : QString::fromUcs4(&c, 1);
    }
    while (stem.startsWith(QLatin1Char('.')))
        stem.remove(0, 1);
    if (stem.toUtf8().size() > maximumStemBytes) {
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, stem);
        qsizetype cut = 0;
        for (qsizetype next = graphemes.toNextBoundary(); next > 0;
             next = graphemes.toNextBoundary()) {
            if (QStringView(stem).left(next).toUtf8().size() > maximumStemBytes)
                break;
            cut = next;
        }
        stem.truncate(cut);
    }
    stem = stem.trimmed();
    return stem.isEmpty() ? QStringLiteral("recording-%1").arg(recording.rowID()) : stem;
}

// Copies `source` into the finished file at `target` (a name reserved for it).
bool copyInto(const QString &source, const QString &target, QString &error)
{
    QFile in;
    if (!openRegularFile(in, source, error))
        return false;
    OutputFile out(target);
    if (!out.create(error))
        return false;
    QFile file(out.path());
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("“%1” cannot be written: %2").arg(target, file.errorString());
        return false;
    }
    QByteArray block;
    while (!(block = in.read(1 << 20)).isEmpty()) {
        if (file.write(block) != block.size())
            break;
    }
    if (in.error() != QFileDevice::NoError || file.error() != QFileDevice::NoError ||
        !file.flush()) {
        error = QStringLiteral("“%1” cannot be written: %2").arg(target, file.errorString());
        return false;
    }
    file.close();
    return out.commit(error);
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
    // The three names are taken exclusively before anything is written: whatever is already
    // there, a file or a link pointing anywhere, is neither replaced nor written through.
    QStringList reserved;
    const auto undo = [&reserved](const QString &why) {
        for (const QString &file : reserved)
            QFile::remove(file);
        return fail(why);
    };
    QString error;
    for (const QString &target : {forward, reversal, message}) {
        if (!createExclusively(target, error))
            return undo(error);
        reserved << target;
    }
    for (const auto &[source, target] : {std::pair{recording.currentAudioPath(), forward},
                                         {recording.reverseAudioPath(), reversal}}) {
        if (!copyInto(source, target, error))
            return undo(error);
    }
    OutputFile note(message);
    QFile noteFile;
    if (!note.create(error))
        return undo(error);
    noteFile.setFileName(note.path());
    if (!noteFile.open(QIODevice::WriteOnly) ||
        noteFile.write(recording.message().toUtf8() + '\n') < 0 || !noteFile.flush())
        return undo(QStringLiteral("“%1” cannot be written").arg(message));
    noteFile.close();
    if (!note.commit(error))
        return undo(error);
    for (const QString &file : reserved)
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

    StoreContext context;
    if (action == QLatin1String("list")) {
        // A machine without a library yet has nothing to show, and gets no store file made for
        // it; nor does an empty file (a crash before the first save) get a store written into it.
        const QString path = StoreContext::defaultStorePath();
        const bool json = parser.isSet(QStringLiteral("json"));
        if (QFileInfo(path).size() <= 0)
            return list({}, json);
        if (!context.open(path))
            return fail(context.openError().description);
        // Work a killed command or application left half done is finished first.
        Recording::recoverFiles(context);
        return list(newestFirst(context), json);
    }
    const auto recording = openSavedRecording(context, args[1]);
    if (!recording)
        return Failure;
    if (action == QLatin1String("export"))
        return exportRecording(*recording, args[2]);
    return deleteRecording(context, recording);
}

} // namespace murmelo::cli
