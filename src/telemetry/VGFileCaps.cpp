#include "telemetry/VGFileCaps.h"

#include "telemetry/VGFileWrites.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/log/VGLog.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace murmelo::VGFileCaps {

namespace {
qint64 sizeOf(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}
} // namespace

QString setAside(const QString &path, const QString &why)
{
    const QString folder = VGSdkFolder::path() + QLatin1Char('/') + QLatin1String(kSetAsideFolder);
    QString moved;
    if (vgMakePrivateFolder(folder)) {
        moved = folder + QLatin1Char('/') +
                QUuid::createUuid().toString(QUuid::WithoutBraces).left(8) + QLatin1Char('-') +
                QFileInfo(path).fileName();
        if (!QFile::rename(path, moved))
            moved.clear();
    }
    if (moved.isEmpty())
        QFile::remove(path);
    vg_log(QStringLiteral("Vigil: %1 %2 (%3); it is not sent")
               .arg(QFileInfo(path).fileName(),
                    moved.isEmpty() ? QStringLiteral("removed") : QStringLiteral("set aside"),
                    why));
    return moved;
}

std::optional<VGValue> readSmallRecord(const QString &path)
{
    const qint64 size = sizeOf(path);
    if (size < 0)
        return std::nullopt;
    if (size > kSmallRecord) {
        setAside(path, QStringLiteral("%1 bytes, more than a record holds").arg(size));
        return std::nullopt;
    }
    return VGMessagePack::messagePackWithContentsOfFile(path);
}

bool checkUpload(const QString &path)
{
    const qint64 size = sizeOf(path);
    if (size < 0)
        return false;
    if (size > kUpload) {
        setAside(path, QStringLiteral("%1 bytes, more than an upload may carry").arg(size));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (!VGMessagePack::unpackDictionary(file.read(kUpload))) {
        setAside(path, QStringLiteral("it does not decode"));
        return false;
    }
    return true;
}

} // namespace murmelo::VGFileCaps
