#include "library/StoreFile.h"

#include "platform/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace murmelo {

namespace {
StoreError failure(StoreError::Code code, const QString &description,
                   const QString &suggestion = {})
{
    return {code, description, suggestion};
}

bool isDamage(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

StoreError damaged(const QString &path, const QString &detail)
{
    return failure(StoreError::Corrupt,
                   QCoreApplication::translate("Store", "The library file %1 is damaged (%2).")
                       .arg(path, detail),
                   QCoreApplication::translate(
                       "Store", "The file has been left as it is. Move it aside to start a new "
                                "library, or restore it from a backup."));
}

// Runs statements as one transaction; nothing of them remains if one fails.
bool inTransaction(SqliteDatabase &db, const QStringList &statements, QString *error)
{
    if (!db.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        *error = db.lastError();
        return false;
    }
    for (const auto &sql : statements) {
        if (!db.exec(sql)) {
            *error = db.lastError();
            db.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    if (db.exec(QStringLiteral("COMMIT")))
        return true;
    *error = db.lastError();
    db.exec(QStringLiteral("ROLLBACK"));
    return false;
}

bool hasColumns(SqliteDatabase &db, const EntityDescription &entity)
{
    SqliteStatement statement = db.prepare(QStringLiteral("SELECT name FROM pragma_table_info(?)"));
    statement.bind(1, entity.table);
    QStringList present;
    while (statement.step() == SQLITE_ROW)
        present << statement.column(0).toString();
    for (const auto &attribute : entity.attributes) {
        if (!present.contains(attribute.name))
            return false;
    }
    return true;
}
// "ok", or the first problem found. The statement is reset before the caller may close the
// database: a damaged file makes the caller close it at once.
QString quickCheck(SqliteDatabase &db)
{
    SqliteStatement check = db.prepare(QStringLiteral("PRAGMA quick_check"));
    const int rc = check.step();
    return rc == SQLITE_ROW ? check.column(0).toString() : db.lastError();
}
} // namespace

StoreError openStoreFile(SqliteDatabase &db, const QString &path, const StoreSchema &schema)
{
    // The store holds the user's words: the file is the user's alone, and SQLite gives its
    // journals the file's mode. A store an older version left readable to others is tightened.
    const bool existed = QFileInfo::exists(path);
    if (existed) {
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            PrivateFiles::tightenFile(path + QLatin1String(suffix));
    } else {
        PrivateFiles::makeFile(path);
    }
    if (!db.open(path, SQLITE_OPEN_READWRITE | (existed ? 0 : SQLITE_OPEN_CREATE))) {
        const QString reason = db.lastError();
        db.close();
        return failure(StoreError::CannotOpen,
                       QCoreApplication::translate("Store", "The library file %1 cannot be "
                                                            "opened (%2).")
                           .arg(path, reason));
    }
    sqlite3_busy_timeout(db.handle(), 2000);

    // Only reads until the file is known to be ours and not newer than this build.
    const QVariant version = db.scalar(QStringLiteral("PRAGMA user_version"));
    if (!version.isValid()) {
        const int rc = sqlite3_errcode(db.handle());
        const QString reason = db.lastError();
        db.close();
        if (isDamage(rc))
            return damaged(path, reason);
        return failure(StoreError::CannotOpen,
                       QCoreApplication::translate("Store", "The library file %1 cannot be "
                                                            "read (%2).")
                           .arg(path, reason));
    }
    if (version.toInt() > schema.version) {
        db.close();
        return failure(
            StoreError::NewerVersion,
            QCoreApplication::translate("Store", "The library file %1 was written by a newer "
                                                 "version of Murmelo.")
                .arg(path),
            QCoreApplication::translate("Store", "Use the newer version to open this library."));
    }
    if (const QString result = quickCheck(db); result != QLatin1String("ok")) {
        db.close();
        return damaged(path, result);
    }
    if (version.toInt() == 0 &&
        db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master")).toInt() > 0) {
        db.close();
        return failure(StoreError::ForeignFile,
                       QCoreApplication::translate(
                           "Store", "The file %1 is a database, but not a Murmelo library.")
                           .arg(path));
    }

    for (const auto &entity : schema.entities) {
        if (version.toInt() == schema.version && !hasColumns(db, entity)) {
            db.close();
            return failure(StoreError::ForeignFile,
                           QCoreApplication::translate(
                               "Store", "The file %1 is a database, but not a Murmelo library.")
                               .arg(path));
        }
    }

    QStringList steps;
    if (version.toInt() == 0) {
        steps = schema.creationStatements();
    } else {
        for (int from = version.toInt(); from < schema.version; ++from) {
            for (const auto &migration : schema.migrations) {
                if (migration.fromVersion == from)
                    steps << migration.statements;
            }
        }
    }
    if (version.toInt() < schema.version) {
        steps << QStringLiteral("PRAGMA user_version=%1").arg(schema.version);
        QString reason;
        if (!inTransaction(db, steps, &reason)) {
            db.close();
            return failure(StoreError::MigrationFailed,
                           QCoreApplication::translate("Store", "The library file %1 could not "
                                                                "be updated (%2).")
                               .arg(path, reason),
                           QCoreApplication::translate("Store", "The file has been left as it "
                                                                "was."));
        }
    }
    // WAL: a save is one append and one sync, readers never block it, and a crash mid-save is
    // rolled back at the next open. FULL sync makes each save durable before its replaced audio
    // files are removed, so a power cut cannot leave a record naming a removed file.
    db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    // Reading the list through a mapping saves a copy of every page on each fetch.
    db.exec(QStringLiteral("PRAGMA mmap_size=268435456"));
    return {};
}

} // namespace murmelo
