#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

class SqliteDatabase;

// Rows of the store file copied whole, every column as SQLite holds it: a record's own row and
// every row that hangs off it (a recording's markers, and rows of any table that names a marker
// or a recording by `markerId` or `recordingId`). Written back, they are the rows they were,
// ids included, whatever columns later versions of the file add. Reading and writing run inside
// the caller's transaction.
class StoreRows {
public:
    struct Value {
        int type = 0; // SQLITE_NULL, SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT or SQLITE_BLOB
        qint64 integer = 0;
        double real = 0;
        QByteArray bytes; // text as UTF-8, or the blob
        bool operator==(const Value &) const = default;
    };
    struct Row {
        QString table;
        QStringList columns;
        QList<Value> values;
        bool operator==(const Row &) const = default;
    };

    // A recording's row with its markers and what hangs off them; nothing when it is not there.
    static std::optional<StoreRows> ofRecording(SqliteDatabase &db, qint64 recordingID,
                                                QString *reason);
    // One marker's row and what hangs off it.
    static std::optional<StoreRows> ofMarker(SqliteDatabase &db, qint64 markerID, QString *reason);

    // Inserts the rows, parents first; fails on a row whose id is taken.
    bool insert(SqliteDatabase &db, QString *reason) const;
    // Deletes the rows, those hanging off first.
    bool remove(SqliteDatabase &db, QString *reason) const;

    const QList<Row> &rows() const { return rows_; }
    bool operator==(const StoreRows &) const = default;

private:
    bool collect(SqliteDatabase &db, const QString &table, const QString &where, qint64 key,
                 QString *reason);
    bool collectChildren(SqliteDatabase &db, const QString &keyColumn, qint64 key, QString *reason);

    QList<Row> rows_;
};

// BEGIN IMMEDIATE ... COMMIT around a piece of work; rolled back unless committed.
class StoreTransaction {
public:
    explicit StoreTransaction(SqliteDatabase &db);
    ~StoreTransaction();
    StoreTransaction(const StoreTransaction &) = delete;
    StoreTransaction &operator=(const StoreTransaction &) = delete;

    bool isOpen() const { return open_; }
    bool commit(QString *reason);

private:
    SqliteDatabase &db_;
    bool open_ = false;
};

} // namespace murmelo
