#pragma once

// What a library holds, for comparing before and after: every row of every table of the store
// file as SQLite stores it (the search index by its content, not its internal pages; not the
// id counters, which only grow, so that an id is never given out twice), and every
// file under the recordings folder with its bytes. Header-only: the tests that use it link the
// library, and with it SQLite.
#include "platform/StandardPaths.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>
#include <ostream>
#include <sqlite3.h>

namespace murmelo::test {

struct StoreSnapshot {
    QStringList rows;
    QMap<QString, QByteArray> files;
    bool operator==(const StoreSnapshot &) const = default;
};

// Rows and file names with sizes, for a failed comparison.
inline void PrintTo(const StoreSnapshot &snapshot, std::ostream *out)
{
    for (const QString &row : snapshot.rows)
        *out << "\n  " << row.toStdString();
    for (auto it = snapshot.files.cbegin(); it != snapshot.files.cend(); ++it)
        *out << "\n  file " << it.key().toStdString() << " " << it.value().size();
}

inline QStringList storeRows(const QString &storePath)
{
    QStringList rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(storePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return {QStringLiteral("cannot open %1").arg(storePath)};
    }
    const auto query = [&](const QString &sql) {
        QStringList result;
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList fields;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const int type = sqlite3_column_type(stmt, i);
                const QByteArray bytes(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                                       sqlite3_column_bytes(stmt, i));
                fields << QStringLiteral("%1:%2").arg(type).arg(QString::fromLatin1(bytes.toHex()));
            }
            result << fields.join(u',');
        }
        sqlite3_finalize(stmt);
        return result;
    };
    for (const QString &line : query(QStringLiteral(
             "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT"
             " LIKE 'recording_search%' AND name NOT LIKE 'sqlite_%' ORDER BY name"))) {
        const QString table =
            QString::fromLatin1(QByteArray::fromHex(line.section(u':', 1).toLatin1()));
        for (const QString &row :
             query(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table)))
            rows << table + QLatin1Char('|') + row;
    }
    for (const QString &row :
         query(QStringLiteral("SELECT rowid, * FROM recording_search ORDER BY rowid")))
        rows << QStringLiteral("recording_search|") + row;
    sqlite3_close(db);
    return rows;
}

inline QMap<QString, QByteArray> folderFiles(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(folder).relativeFilePath(path), file.readAll());
    }
    return files;
}

inline StoreSnapshot storeSnapshot(const QString &storePath, const QString &recordingsFolder)
{
    return {storeRows(storePath), folderFiles(recordingsFolder)};
}

// The store and the recordings folder as the library shows them: what waits in the holding
// folder for an undo is left out.
inline StoreSnapshot librarySnapshot(const QString &storePath)
{
    StoreSnapshot result = storeSnapshot(storePath, StandardPaths::applicationSupportDirectory());
    for (auto it = result.files.begin(); it != result.files.end();)
        it = it.key().startsWith(QLatin1String(".holding/")) ? result.files.erase(it) : ++it;
    return result;
}

} // namespace murmelo::test
