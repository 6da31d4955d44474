#include "library/RecordingHold.h"

#include "library/DurableFile.h"
#include "library/Recording.h"
#include "library/RecordingFiles.h"
#include "library/StoreContext.h"
#include "platform/StandardPaths.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

namespace murmelo {

namespace {

const QString kManifest = QStringLiteral("manifest");
const QString kLock = QStringLiteral("lock");

// The hold's lock, taken without waiting: -1 when another process holds it.
int lockFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder + QLatin1Char('/') + kLock).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct Manifest {
    QString storePath;
    qint64 recordingID = 0;
    QList<std::pair<QString, QString>> files; // original, held
};

// What the hold wrote before it moved any file; nothing when it never got that far.
std::optional<Manifest> readManifest(const QString &folder)
{
    QFile file(folder + QLatin1Char('/') + kManifest);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Manifest manifest;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (fields.size() == 2 && fields[0] == QLatin1String("store"))
            manifest.storePath = fields[1];
        else if (fields.size() == 2 && fields[0] == QLatin1String("recording"))
            manifest.recordingID = fields[1].toLongLong();
        else if (fields.size() == 3 && fields[0] == QLatin1String("file"))
            manifest.files << std::pair{fields[1], fields[2]};
    }
    if (manifest.recordingID <= 0)
        return std::nullopt;
    return manifest;
}

bool recordExists(StoreContext &context, qint64 recordingID)
{
    SqliteStatement statement =
        context.database().prepare(QStringLiteral("SELECT 1 FROM recording WHERE id = ?1"));
    statement.bind(1, recordingID);
    return statement.step() == SQLITE_ROW;
}

bool isNamedByAnyRecord(StoreContext &context, const QString &path)
{
    SqliteStatement statement = context.database().prepare(QStringLiteral(
        "SELECT 1 FROM recording WHERE audioPath = ?1 OR reverseAudioPath = ?1 LIMIT 1"));
    statement.bind(1, path);
    return statement.step() == SQLITE_ROW;
}

bool rename(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

void removeTree(const QString &folder)
{
    QDir(folder).removeRecursively();
}

} // namespace

QString RecordingHold::holdingDirectory()
{
    return StandardPaths::applicationSupportDirectory() + QStringLiteral("/.holding");
}

std::unique_ptr<RecordingHold> RecordingHold::hold(StoreContext &context,
                                                   const std::shared_ptr<Recording> &recording,
                                                   StoreError *error)
{
    const auto fail = [error](const QString &description) {
        systemLog(QStringLiteral("Library: %1").arg(description));
        if (error)
            *error = {StoreError::WriteFailed, description, {}};
        return nullptr;
    };
    if (!context.hasStore())
        return fail(context.openError().description);
    std::unique_ptr<RecordingHold> hold(new RecordingHold);
    hold->recordingID_ = recording->rowID();
    hold->title_ = recording->name();
    QString reason;
    auto rows = StoreRows::ofRecording(context.database(), hold->recordingID_, &reason);
    if (!rows) {
        return fail(reason.isEmpty() ? QCoreApplication::translate(
                                           "Store", "The recording is not in the library.")
                                     : reason);
    }
    hold->rows_ = std::move(*rows);

    // The folder is locked before anything is in it, so no recovery takes it from under us.
    hold->folder_ = holdingDirectory() + QLatin1Char('/') + QString::number(hold->recordingID_);
    QDir().mkpath(hold->folder_);
    hold->lock_ = lockFolder(hold->folder_);
    if (hold->lock_ < 0)
        return fail(QCoreApplication::translate("Store", "Cannot set aside the files in %1.")
                        .arg(hold->folder_));
    int index = 0;
    for (const QString &original : {recording->currentAudioPath(), recording->reverseAudioPath()}) {
        if (!RecordingFiles::isLibraryFile(original) || !QFileInfo::exists(original) ||
            std::any_of(hold->files_.cbegin(), hold->files_.cend(),
                        [&](const HeldFile &file) { return file.original == original; }))
            continue;
        hold->files_ << HeldFile{original,
                                 QStringLiteral("%1/%2.wav").arg(hold->folder_).arg(index++)};
    }
    // Written before any file moves: a recovery that finds no manifest knows nothing moved.
    {
        QSaveFile manifest(hold->folder_ + QLatin1Char('/') + kManifest);
        manifest.open(QIODevice::WriteOnly);
        QByteArray text = "store\t" + context.storePath().toUtf8() + "\nrecording\t" +
                          QByteArray::number(hold->recordingID_) + '\n';
        for (const HeldFile &file : std::as_const(hold->files_))
            text += "file\t" + file.original.toUtf8() + '\t' + file.held.toUtf8() + '\n';
        manifest.write(text);
        if (!manifest.commit())
            return fail(manifest.errorString());
    }
    const auto moveBack = [&hold](qsizetype moved) {
        for (qsizetype i = 0; i < moved; ++i)
            rename(hold->files_[i].held, hold->files_[i].original);
    };
    for (qsizetype i = 0; i < hold->files_.size(); ++i) {
        if (!rename(hold->files_[i].original, hold->files_[i].held)) {
            const QString why = QString::fromLocal8Bit(std::strerror(errno));
            moveBack(i);
            return fail(why);
        }
    }
    // The rows go in one transaction, every row that hangs off the record with them.
    SqliteDatabase &db = context.database();
    {
        StoreTransaction transaction(db);
        if (!transaction.isOpen() || !hold->rows_.remove(db, &reason) ||
            !transaction.commit(&reason)) {
            if (reason.isEmpty())
                reason = db.failureReason();
            moveBack(hold->files_.size());
            return fail(
                QCoreApplication::translate("Store", "Changes could not be saved: %1").arg(reason));
        }
    }
    context.announceRemoved(recording);
    return hold;
}

RecordingHold::~RecordingHold()
{
    removeFolder();
}

void RecordingHold::removeFolder()
{
    if (folder_.isEmpty())
        return;
    // The manifest goes first: a folder without one holds nothing worth recovering.
    QFile::remove(folder_ + QLatin1Char('/') + kManifest);
    removeTree(folder_);
    folder_.clear();
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
}

QString RecordingHold::problem(StoreContext &context) const
{
    if (folder_.isEmpty())
        return QCoreApplication::translate("Store", "The deleted recording is no longer kept.");
    if (!context.hasStore())
        return context.openError().description;
    if (recordExists(context, recordingID_))
        return QCoreApplication::translate("Store", "\"%1\" is in the library already.")
            .arg(title_);
    for (const HeldFile &file : files_) {
        if (!QFileInfo::exists(file.held))
            return QCoreApplication::translate("Store", "The audio file %1 of \"%2\" is gone.")
                .arg(QFileInfo(file.original).fileName(), title_);
        if (QFileInfo::exists(file.original))
            return QCoreApplication::translate("Store", "Another file is in the place of %1.")
                .arg(file.original);
    }
    return {};
}

bool RecordingHold::restore(StoreContext &context, StoreError *error)
{
    const auto fail = [error](const QString &description) {
        systemLog(QStringLiteral("Library: %1").arg(description));
        if (error)
            *error = {StoreError::WriteFailed, description, {}};
        return false;
    };
    if (const QString why = problem(context); !why.isEmpty())
        return fail(why);
    // The files are back in the recordings folder before their record is committed: no sweep
    // of unnamed files may take them meanwhile.
    const auto saving = RecordingFiles::beginSave();
    SqliteDatabase &db = context.database();
    QString reason;
    qsizetype moved = 0;
    const auto moveBack = [&] {
        for (qsizetype i = 0; i < moved; ++i)
            rename(files_[i].original, files_[i].held);
    };
    {
        StoreTransaction transaction(db);
        if (!transaction.isOpen())
            return fail(db.failureReason());
        if (!rows_.insert(db, &reason))
            return fail(reason);
        for (; moved < files_.size(); ++moved) {
            if (!rename(files_[moved].held, files_[moved].original)) {
                const QString why = QString::fromLocal8Bit(std::strerror(errno));
                moveBack();
                return fail(why);
            }
        }
        if (!transaction.commit(&reason)) {
            moveBack();
            return fail(reason);
        }
    }
    files_.clear();
    removeFolder();
    context.announceRestored(Recording::entityName(), {recordingID_});
    return true;
}

void RecordingHold::recover(StoreContext &context)
{
    if (!context.hasStore())
        return;
    const QDir holding(holdingDirectory());
    for (const QString &name :
         holding.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString folder = holding.absoluteFilePath(name);
        const int lock = lockFolder(folder);
        if (lock < 0)
            continue; // held by a live process
        const std::optional<Manifest> manifest = readManifest(folder);
        if (manifest && manifest->storePath != context.storePath()) {
            ::close(lock);
            continue; // another store's
        }
        if (manifest && recordExists(context, manifest->recordingID)) {
            // The deletion never committed: the record gets its files back.
            for (const auto &[original, held] : manifest->files) {
                if (QFileInfo::exists(held) && !QFileInfo::exists(original))
                    rename(held, original);
            }
        } else if (manifest) {
            // The deletion committed, or a restore did not: nothing of the record stays.
            for (const auto &[original, held] : manifest->files) {
                QFile::remove(held);
                if (RecordingFiles::isLibraryFile(original) &&
                    !isNamedByAnyRecord(context, original))
                    removeFileIfPresent(original);
            }
        }
        QFile::remove(folder + QLatin1Char('/') + kManifest);
        removeTree(folder);
        ::close(lock);
    }
}

} // namespace murmelo
