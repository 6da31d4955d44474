#include "library/Recording.h"

#include "library/DurableFile.h"
#include "library/RecordingFiles.h"
#include "library/RecordingHold.h"
#include "library/StoreContext.h"
#include "platform/StandardPaths.h"
#include "platform/SystemLog.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>

namespace murmelo {

namespace {
bool isTemporary(const QString &path)
{
    // The folder's name is fixed for the process; asking the platform costs a readlink and a
    // stat, which adds up over every record a save touches.
    static const QString temporary = StandardPaths::temporaryDirectory();
    return path.startsWith(temporary);
}

// The hidden name a deleted record's file waits under until the deletion is saved.
QString setAsideName(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() +
           QStringLiteral(".deleted");
}

QString originalName(const QDir &folder, const QString &setAside)
{
    return folder.absoluteFilePath(setAside.mid(1, setAside.size() - 1 - 8));
}

bool isNamedByRecord(StoreContext &context, const QString &path)
{
    for (const char *attribute : {"audioPath", "reverseAudioPath"}) {
        const StoreFilter filter =
            StoreFilter().where(QLatin1String(attribute), StoreFilter::Equal, path);
        if (!context.fetchObjects(Recording::entityName(), filter).empty())
            return true;
    }
    return false;
}
} // namespace

std::shared_ptr<Recording> Recording::insertInManagedObjectContext(StoreContext &context)
{
    return std::static_pointer_cast<Recording>(context.insertNewObject(entityName()));
}

QString Recording::audioPath()
{
    return StandardPaths::applicationSupportDirectory() + QLatin1Char('/') + stringWithUUID() +
           QStringLiteral(".wav");
}

void Recording::recoverFiles(StoreContext &context)
{
    // Deletions held for an undo that a crash ended: whole records or nothing, before the sweep
    // below judges which files are named.
    RecordingHold::recover(context);
    QDir support(StandardPaths::applicationSupportDirectory());
    for (const QString &stale :
         support.entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden))
        support.remove(stale);
    for (const QString &path :
         {StandardPaths::applicationSupportDirectory(), StandardPaths::temporaryDirectory()}) {
        QDir folder(path);
        for (const QString &aside :
             folder.entryList({QStringLiteral(".*.deleted")}, QDir::Files | QDir::Hidden)) {
            const QString original = originalName(folder, aside);
            if (context.hasStore() && isNamedByRecord(context, original))
                folder.rename(aside, original);
            else if (context.hasStore())
                folder.remove(aside);
        }
    }

    // Files moved in by saves that never committed: only the default library owns the
    // recordings folder, so a store opened elsewhere (a copy, a test) never sweeps it.
    if (context.hasStore() && context.storePath() == StoreContext::defaultStorePath()) {
        QSet<QString> named;
        for (const auto &object : context.fetchObjects(entityName())) {
            const auto recording = std::static_pointer_cast<Recording>(object);
            named << recording->currentAudioPath() << recording->reverseAudioPath();
        }
        RecordingFiles::removeOrphans(named);
    }

    const QString temporary = StandardPaths::temporaryDirectory();
    for (const char *attribute : {"audioPath", "reverseAudioPath"}) {
        const StoreFilter filter =
            StoreFilter().where(QLatin1String(attribute), StoreFilter::BeginsWith, temporary);
        for (const auto &object : context.fetchObjects(entityName(), filter)) {
            auto recording = std::static_pointer_cast<Recording>(object);
            recording->setAudioPath(recording->currentAudioPath(), recording->reverseAudioPath());
        }
    }
    if (context.hasChanges())
        context.save();
}

QString Recording::adopted(const QString &path) const
{
    if (!path.isEmpty() && !isTemporary(path))
        return path;
    const QString permanent = audioPath();
    if (path.isEmpty())
        return permanent; // a fresh name; there is no file to move
    QString error;
    if (moveFileDurably(path, permanent, &error))
        return permanent;
    systemLog(QStringLiteral("Library: keeping %1 until the next save: %2").arg(path, error));
    return path;
}

void Recording::replacePath(Attribute attribute, const QString &path)
{
    const QString old = valueAt(attribute).toString();
    if (!old.isEmpty() && old != path)
        replacedFiles_ << old;
    setValueAt(attribute, path, true);
}

void Recording::setAudioPath(const QString &forward, const QString &reverse)
{
    if (isTemporary(forward) || isTemporary(reverse))
        saveInProgress_ = RecordingFiles::beginSave();
    replacePath(AudioPath, adopted(forward));
    replacePath(ReverseAudioPath, adopted(reverse));
}

QImage Recording::waveformImage() const
{
    const QByteArray data = waveformImageData();
    return data.isEmpty() ? QImage() : QImage::fromData(data, "PNG");
}

void Recording::setWaveformImage(const QImage &image)
{
    QByteArray png;
    if (!image.isNull()) {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    setWaveformImageData(png);
}

void Recording::prepareForDeletion()
{
    QStringList files = replacedFiles_ << currentAudioPath() << reverseAudioPath();
    replacedFiles_.clear();
    for (const QString &path : std::as_const(files)) {
        if (path.isEmpty())
            continue;
        if (!RecordingFiles::isLibraryFile(path)) {
            RecordingFiles::removeLibraryFile(path); // logs that it stays
            continue;
        }
        // An unsaved record is named by nothing in the file; its files can go at once.
        if (rowID() == 0 || !managedObjectContext() || !QFile::rename(path, setAsideName(path))) {
            removeFileIfPresent(path);
            continue;
        }
        setAside_ << setAsideName(path);
    }
}

void Recording::willSave()
{
    if (isTemporary(currentAudioPath()) || isTemporary(reverseAudioPath()))
        setAudioPath(currentAudioPath(), reverseAudioPath());
}

void Recording::didSave()
{
    // Only now is no saved record naming these files; a path named again is kept.
    for (const QString &path : std::as_const(replacedFiles_)) {
        if (path != currentAudioPath() && path != reverseAudioPath())
            RecordingFiles::removeLibraryFile(path);
    }
    replacedFiles_.clear();
    for (const QString &path : std::as_const(setAside_))
        RecordingFiles::removeLibraryFile(path);
    setAside_.clear();
    if (!needsAnotherSave())
        saveInProgress_.reset();
}

bool Recording::needsAnotherSave() const
{
    return isTemporary(currentAudioPath()) || isTemporary(reverseAudioPath());
}

} // namespace murmelo
