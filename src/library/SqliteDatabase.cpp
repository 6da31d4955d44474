#include "library/SqliteDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace murmelo {

SqliteStatement::~SqliteStatement()
{
    if (stmt_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
}

void SqliteStatement::bind(int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(stmt_, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        sqlite3_bind_int64(stmt_, index, value.toLongLong());
        break;
    case QMetaType::Float:
    case QMetaType::Double:
        sqlite3_bind_double(stmt_, index, value.toDouble());
        break;
    case QMetaType::QDateTime:
        sqlite3_bind_int64(stmt_, index, value.toDateTime().toMSecsSinceEpoch());
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob64(stmt_, index, bytes.constData(), bytes.size(), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        sqlite3_bind_text64(stmt_, index, text.constData(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
        break;
    }
    }
}

void SqliteStatement::bindKept(int index, const QVariant &value)
{
    if (value.isNull()) {
        bind(index, value);
    } else if (value.typeId() == QMetaType::QString) {
        const auto *text = static_cast<const QString *>(value.constData());
        sqlite3_bind_text16(stmt_, index, text->constData(), int(text->size() * sizeof(char16_t)),
                            SQLITE_STATIC);
    } else if (value.typeId() == QMetaType::QByteArray) {
        const auto *bytes = static_cast<const QByteArray *>(value.constData());
        sqlite3_bind_blob64(stmt_, index, bytes->constData(), sqlite3_uint64(bytes->size()),
                            SQLITE_STATIC);
    } else {
        bind(index, value);
    }
}

int SqliteStatement::step()
{
    return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE;
}

QVariant SqliteStatement::column(int column) const
{
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(stmt_, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, column));
    case SQLITE_TEXT:
        return QVariant(
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column)),
                              sqlite3_column_bytes(stmt_, column)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt_, column)),
                                   sqlite3_column_bytes(stmt_, column)));
    default:
        return {};
    }
}

bool SqliteDatabase::open(const QString &path, int flags)
{
    close();
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK)
        return false; // the handle stays allocated so lastError() can tell why
    sqlite3_extended_result_codes(db_, 1);
    return true;
}

void SqliteDatabase::close()
{
    for (auto &[sql, stmt] : statements_)
        sqlite3_finalize(stmt);
    statements_.clear();
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool SqliteDatabase::exec(const QString &sql)
{
    return db_ &&
           sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

SqliteStatement SqliteDatabase::prepare(const QString &sql)
{
    if (!db_)
        return SqliteStatement(nullptr, nullptr);
    auto found = statements_.find(sql);
    if (found != statements_.end())
        return SqliteStatement(db_, found->second);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &stmt,
                           nullptr) != SQLITE_OK)
        return SqliteStatement(db_, nullptr);
    statements_.emplace(sql, stmt);
    return SqliteStatement(db_, stmt);
}

QVariant SqliteDatabase::scalar(const QString &sql)
{
    SqliteStatement statement = prepare(sql);
    if (statement.step() != SQLITE_ROW)
        return {};
    return statement.column(0);
}

QString SqliteDatabase::lastError() const
{
    return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
}

namespace {

// A write this close to the process's file-size limit was stopped by it (SQLite reports a
// short write there as a full disk, and by the time it is asked has often lost the errno).
bool atFileSizeLimit(const QString &databasePath)
{
    rlimit limit{};
    if (databasePath.isEmpty() || getrlimit(RLIMIT_FSIZE, &limit) != 0 ||
        limit.rlim_cur == RLIM_INFINITY)
        return false;
    constexpr qint64 largestWrite = 128 * 1024; // a page of the largest size and its frame header
    for (const char *suffix : {"", "-wal", "-journal"}) {
        struct stat info {};
        const QByteArray path = QFile::encodeName(databasePath + QLatin1String(suffix));
        if (::stat(path.constData(), &info) == 0 &&
            qint64(info.st_size) + largestWrite > qint64(limit.rlim_cur))
            return true;
    }
    return false;
}

// No room left for a page on the file system holding the store.
bool fileSystemIsFull(const QString &databasePath)
{
    struct statvfs space {};
    if (databasePath.isEmpty() || statvfs(QFile::encodeName(databasePath).constData(), &space) != 0)
        return false;
    const unsigned long long blocks = geteuid() == 0 ? space.f_bfree : space.f_bavail;
    return blocks * space.f_frsize < 64 * 1024;
}

} // namespace

QString SqliteDatabase::failureReason() const
{
    if (!db_)
        return lastError();
    const int code = sqlite3_errcode(db_) & 0xff;
    if (code != SQLITE_FULL && code != SQLITE_IOERR && code != SQLITE_CANTOPEN)
        return lastError();
    const QString path = QString::fromUtf8(sqlite3_db_filename(db_, "main"));
    if (code != SQLITE_CANTOPEN && atFileSizeLimit(path))
        return QString::fromLocal8Bit(std::strerror(EFBIG));
    const QString diskFull = QCoreApplication::translate("Store", "the disk is full");
    if (code == SQLITE_FULL)
        return diskFull;
    const int systemError = sqlite3_system_errno(db_);
    if (systemError == ENOSPC || (systemError == 0 && fileSystemIsFull(path)))
        return diskFull;
    if (systemError != 0)
        return QString::fromLocal8Bit(std::strerror(systemError));
    return lastError();
}

} // namespace murmelo
