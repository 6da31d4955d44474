#pragma once

#include <QString>
#include <QVariant>
#include <map>
#include <sqlite3.h>

namespace murmelo {

// One prepared statement, reset on destruction so the cached statement can be reused.
class SqliteStatement {
public:
    SqliteStatement(sqlite3 *db, sqlite3_stmt *stmt) : db_(db), stmt_(stmt) {}
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;
    ~SqliteStatement();

    bool isValid() const { return stmt_ != nullptr; }
    // Binds by 1-based index. An invalid QVariant binds NULL.
    void bind(int index, const QVariant &value);
    // As bind(), without copying text or bytes: `value` must stay alive and unchanged until the
    // statement has run.
    void bindKept(int index, const QVariant &value);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    bool exec() { return step() == SQLITE_DONE; }

    qint64 columnInt64(int column) const { return sqlite3_column_int64(stmt_, column); }
    double columnDouble(int column) const { return sqlite3_column_double(stmt_, column); }
    QString columnText(int column) const
    {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
        return QString::fromUtf8(text, sqlite3_column_bytes(stmt_, column));
    }
    QByteArray columnBlob(int column) const
    {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(stmt_, column));
        return QByteArray(data, sqlite3_column_bytes(stmt_, column));
    }
    bool columnIsNull(int column) const
    {
        return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
    }
    // The column as the QVariant its storage class suggests (NULL gives an invalid QVariant).
    QVariant column(int column) const;

private:
    sqlite3 *db_;
    sqlite3_stmt *stmt_;
};

// An open SQLite connection with a cache of prepared statements.
class SqliteDatabase {
public:
    SqliteDatabase() = default;
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;
    ~SqliteDatabase() { close(); }

    bool open(const QString &path, int flags);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    sqlite3 *handle() const { return db_; }

    // Runs statements that take no parameters and return no rows we need.
    bool exec(const QString &sql);
    // A cached statement for `sql` (fixed text only; values go through bind()).
    SqliteStatement prepare(const QString &sql);
    // The first column of the first row, or an invalid QVariant.
    QVariant scalar(const QString &sql);
    QString lastError() const;
    // The last error as a user reads it: "the disk is full", the system's own message for a
    // failed read or write (a file-size limit's "File too large" too), or else SQLite's message.
    QString failureReason() const;

private:
    sqlite3 *db_ = nullptr;
    std::map<QString, sqlite3_stmt *> statements_;
};

} // namespace murmelo
