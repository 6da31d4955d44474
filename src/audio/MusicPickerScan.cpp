#include "audio/MusicPickerScan.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace murmelo {

namespace {
// "Track 2" before "Track 10", case ignored. QCollator's numeric mode needs ICU and a real
// locale, which a desktop session under the C locale does not have.
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Compare digit runs by value: leading zeros dropped, then length, then digits.
            QStringView x = QStringView(a).mid(i, ei - i), y = QStringView(b).mid(j, ej - j);
            while (x.size() > 1 && x.front() == u'0')
                x = x.mid(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.mid(1);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (const int c = x.compare(y); c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}
} // namespace

bool MusicPickerScan::isAudioFileName(const QString &fileName)
{
    static const QSet<QString> extensions = {
        QStringLiteral("mp3"),  QStringLiteral("m4a"),  QStringLiteral("aac"),
        QStringLiteral("flac"), QStringLiteral("ogg"),  QStringLiteral("oga"),
        QStringLiteral("opus"), QStringLiteral("wav"),  QStringLiteral("wave"),
        QStringLiteral("aif"),  QStringLiteral("aiff"), QStringLiteral("aifc"),
        QStringLiteral("wma"),  QStringLiteral("mka"),  QStringLiteral("ape"),
        QStringLiteral("wv"),   QStringLiteral("mp2"),  QStringLiteral("alac")};
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && extensions.contains(fileName.mid(dot + 1).toLower());
}

MusicPickerScan::Result MusicPickerScan::scan(const QString &root, const Limits &limits)
{
    Result result;
    struct Pending {
        QString path;
        int depth;
    };
    QList<Pending> folders{{root, 0}};
    int entered = 0;
    while (!folders.isEmpty()) {
        const Pending folder = folders.takeLast();
        if (++entered > limits.maximumFolders) {
            result.truncated = true;
            break;
        }
        const QFileInfoList entries =
            QDir(folder.path).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            if (entry.isDir()) {
                if (entry.isSymLink())
                    continue;
                if (folder.depth < limits.maximumDepth)
                    folders.append({entry.filePath(), folder.depth + 1});
                else
                    result.truncated = true;
            } else if (isAudioFileName(entry.fileName())) {
                if (result.songs.size() >= limits.maximumSongs) {
                    result.truncated = true;
                    folders.clear();
                    break;
                }
                result.songs.append(entry.absoluteFilePath());
            }
        }
    }
    std::sort(result.songs.begin(), result.songs.end(), naturalLess);
    return result;
}

} // namespace murmelo
