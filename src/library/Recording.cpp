#include "library/Recording.h"

#include "library/DurableFile.h"
#include "library/StoreContext.h"
#include "platform/StandardPaths.h"
#include "platform/SystemLog.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace murmelo {

namespace {
QString processName()
{
    const QString name = QCoreApplication::applicationName();
    if (!name.isEmpty())
        return name;
    return QFileInfo(QStringLiteral("/proc/self/exe"))
        .symLinkTarget()
        .section(QLatin1Char('/'), -1);
}

bool isTemporary(const QString &path)
{
    return path.startsWith(StandardPaths::temporaryDirectory());
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

QString Recording::tempAudioPath()
{
    return StandardPaths::temporaryDirectory() +
           QStringLiteral("%1|%2").arg(processName(), stringWithUUID()) + QStringLiteral(".wav");
}

void Recording::resumeFileAdoption(StoreContext &context)
{
    QDir support(StandardPaths::applicationSupportDirectory());
    for (const QString &stale :
         support.entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden))
        support.remove(stale);

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
        m_replacedFiles << old;
    setValueAt(attribute, path, true);
}

void Recording::setAudioPath(const QString &forward, const QString &reverse)
{
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
    removeFileIfPresent(currentAudioPath());
    removeFileIfPresent(reverseAudioPath());
    for (const QString &path : std::as_const(m_replacedFiles))
        removeFileIfPresent(path);
    m_replacedFiles.clear();
}

void Recording::willSave()
{
    if (isTemporary(currentAudioPath()) || isTemporary(reverseAudioPath()))
        setAudioPath(currentAudioPath(), reverseAudioPath());
}

void Recording::didSave()
{
    // Only now is no saved record naming these files; a path named again is kept.
    for (const QString &path : std::as_const(m_replacedFiles)) {
        if (path != currentAudioPath() && path != reverseAudioPath())
            removeFileIfPresent(path);
    }
    m_replacedFiles.clear();
}

bool Recording::needsAnotherSave() const
{
    return isTemporary(currentAudioPath()) || isTemporary(reverseAudioPath());
}

} // namespace murmelo
