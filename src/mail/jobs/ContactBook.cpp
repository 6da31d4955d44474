#include "mail/jobs/ContactBook.h"

#include "platform/Defaults.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>

namespace murmelo::ContactBook {

namespace {
// A card with a photo is rarely above a megabyte; anything far larger is not a card.
constexpr qint64 kMaximumFileSize = 16 * 1024 * 1024;
} // namespace

QString folder()
{
    const QString chosen = Defaults::standard().stringForKey(QLatin1String(kFolderKey));
    if (!chosen.isEmpty())
        return chosen;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/contacts");
}

void setFolder(const QString &folder)
{
    Defaults::standard().setString(QLatin1String(kFolderKey), folder);
    Defaults::standard().synchronize();
}

QList<Contact> readFolder(const QString &folder)
{
    QList<Contact> contacts;
    // The folder itself and one level of address books below it.
    QStringList dirs{folder};
    for (const QString &name : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        dirs << folder + QLatin1Char('/') + name;
    QStringList files;
    for (const QString &dir : std::as_const(dirs)) {
        for (const QFileInfo &info :
             QDir(dir).entryInfoList({QStringLiteral("*.vcf"), QStringLiteral("*.vcard")},
                                     QDir::Files | QDir::Readable, QDir::Name)) {
            if (info.size() <= kMaximumFileSize)
                files << info.filePath();
        }
    }
    for (const QString &path : std::as_const(files)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            contacts += readVCards(file.read(kMaximumFileSize));
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(contacts.begin(), contacts.end(), [&](const Contact &a, const Contact &b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return contacts;
}

} // namespace murmelo::ContactBook
