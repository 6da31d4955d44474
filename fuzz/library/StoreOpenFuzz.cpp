// Arbitrary bytes as the library's store file through the opener: a damaged, foreign or newer
// file gives a clean report and is left byte for byte as it was; one that opens can be read.
#include "library/SqliteDatabase.h"
#include "library/StoreFile.h"
#include "library/StoreSchema.h"

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
QString scratchFolder()
{
    std::string folder = "/tmp/murmelo-fuzz-XXXXXX";
    if (!mkdtemp(folder.data()))
        std::abort();
    return QString::fromStdString(folder);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A real library with a few records, made once: most inputs are damage done to it, which is
// what a failing disk or an interrupted copy produces and what random bytes rarely reach.
QByteArray templateStore(const QString &folder)
{
    const QString path = folder + QStringLiteral("/template.sql");
    {
        murmelo::SqliteDatabase db;
        if (murmelo::openStoreFile(db, path, murmelo::recordingStoreSchema()))
            std::abort();
        db.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        for (int i = 0; i < 40; ++i)
            db.exec(QStringLiteral("INSERT INTO recording (name, message, date, audioPath, "
                                   "speed, waveformImageData) VALUES ('Reversal %1', '%2', %1, "
                                   "'/a/%1.wav', 1.5, zeroblob(300))")
                        .arg(i)
                        .arg(QString(i * 7, QLatin1Char('m'))));
    }
    return contents(path);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString folder = scratchFolder();
    const QString path = folder + QStringLiteral("/dbv3.sql");
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(path + suffix);
    static const QByteArray sound = templateStore(folder);
    // First byte odd: the input itself is the file. Even: the rest is a list of damage to the
    // real library, three bytes each (where, little-endian and scaled to the file, and what).
    QByteArray bytes;
    if (size > 0 && (data[0] & 1)) {
        bytes = QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    } else {
        bytes = sound;
        for (size_t i = 1; i + 3 <= size; i += 3) {
            const size_t where = (size_t(data[i]) | size_t(data[i + 1]) << 8) * 7;
            bytes[qsizetype(where % size_t(bytes.size()))] = char(data[i + 2]);
        }
    }
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(bytes);
    }

    murmelo::SqliteDatabase db;
    const murmelo::StoreError error =
        murmelo::openStoreFile(db, path, murmelo::recordingStoreSchema());
    if (error) {
        if (error.description.isEmpty() || db.isOpen() || contents(path) != bytes)
            std::abort();
        return 0;
    }
    // Opened: every row reads without a crash, whatever its columns hold.
    murmelo::SqliteStatement rows = db.prepare(QStringLiteral("SELECT * FROM recording"));
    for (int n = 0; n < 1000 && rows.step() == SQLITE_ROW; ++n) {
        for (int column = 0; column < 10; ++column)
            rows.column(column);
    }
    return 0;
}
