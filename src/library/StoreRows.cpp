#include "library/StoreRows.h"

#include "library/SqliteDatabase.h"

namespace murmelo {

namespace {

// Tables of the file that have a column of this name (the search index's own tables have none).
QStringList tablesWithColumn(SqliteDatabase &db, const QString &column)
{
    QStringList tables;
    SqliteStatement statement = db.prepare(
        QStringLiteral("SELECT m.name FROM sqlite_master AS m, pragma_table_info(m.name) AS c"
                       " WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite_%' AND c.name = ?1"
                       " ORDER BY m.name"));
    statement.bind(1, column);
    while (statement.step() == SQLITE_ROW)
        tables << statement.columnText(0);
    return tables;
}

QString quoted(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

void bindValue(SqliteStatement &statement, int index, const StoreRows::Value &value)
{
    switch (value.type) {
    case SQLITE_INTEGER:
        statement.bind(index, QVariant(value.integer));
        break;
    case SQLITE_FLOAT:
        statement.bind(index, QVariant(value.real));
        break;
    case SQLITE_TEXT:
        statement.bind(index, QVariant(QString::fromUtf8(value.bytes)));
        break;
    case SQLITE_BLOB:
        // An empty blob stays an empty blob, not NULL.
        statement.bind(index, QVariant(value.bytes.isNull() ? QByteArray("", 0) : value.bytes));
        break;
    default:
        statement.bind(index, QVariant());
    }
}

} // namespace

bool StoreRows::collect(SqliteDatabase &db, const QString &table, const QString &where, qint64 key,
                        QString *reason)
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql = QStringLiteral("SELECT * FROM %1 WHERE %2 = ?1 ORDER BY rowid")
                               .arg(quoted(table), where)
                               .toUtf8();
    if (sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        *reason = db.lastError();
        return false;
    }
    sqlite3_bind_int64(stmt, 1, key);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        Row row{table, {}, {}};
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            row.columns << QString::fromUtf8(sqlite3_column_name(stmt, i));
            Value value;
            value.type = sqlite3_column_type(stmt, i);
            switch (value.type) {
            case SQLITE_INTEGER:
                value.integer = sqlite3_column_int64(stmt, i);
                break;
            case SQLITE_FLOAT:
                value.real = sqlite3_column_double(stmt, i);
                break;
            case SQLITE_TEXT:
                value.bytes =
                    QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)),
                               sqlite3_column_bytes(stmt, i));
                break;
            case SQLITE_BLOB:
                value.bytes = QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                                         sqlite3_column_bytes(stmt, i));
                break;
            default:
                break;
            }
            row.values << value;
        }
        rows_ << row;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        *reason = db.lastError();
        return false;
    }
    return true;
}

bool StoreRows::collectChildren(SqliteDatabase &db, const QString &keyColumn, qint64 key,
                                QString *reason)
{
    for (const QString &table : tablesWithColumn(db, keyColumn)) {
        const qsizetype first = rows_.size();
        if (!collect(db, table, quoted(keyColumn), key, reason))
            return false;
        // Markers have rows of their own hanging off them.
        if (table != QLatin1String("marker"))
            continue;
        const QList<Row> markers = rows_.mid(first);
        for (const Row &marker : markers) {
            const qsizetype id = marker.columns.indexOf(QStringLiteral("id"));
            if (id >= 0 &&
                !collectChildren(db, QStringLiteral("markerId"), marker.values[id].integer, reason))
                return false;
        }
    }
    return true;
}

std::optional<StoreRows> StoreRows::ofRecording(SqliteDatabase &db, qint64 recordingID,
                                                QString *reason)
{
    StoreRows rows;
    if (!rows.collect(db, QStringLiteral("recording"), QStringLiteral("id"), recordingID, reason) ||
        rows.rows_.isEmpty() ||
        !rows.collectChildren(db, QStringLiteral("recordingId"), recordingID, reason))
        return std::nullopt;
    return rows;
}

std::optional<StoreRows> StoreRows::ofMarker(SqliteDatabase &db, qint64 markerID, QString *reason)
{
    StoreRows rows;
    if (!rows.collect(db, QStringLiteral("marker"), QStringLiteral("id"), markerID, reason) ||
        rows.rows_.isEmpty() ||
        !rows.collectChildren(db, QStringLiteral("markerId"), markerID, reason))
        return std::nullopt;
    return rows;
}

bool StoreRows::insert(SqliteDatabase &db, QString *reason) const
{
    for (const Row &row : rows_) {
        QStringList columns, placeholders;
        for (int i = 0; i < row.columns.size(); ++i) {
            columns << quoted(row.columns[i]);
            placeholders << QStringLiteral("?%1").arg(i + 1);
        }
        SqliteStatement statement =
            db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(quoted(row.table), columns.join(u", "), placeholders.join(u", ")));
        for (int i = 0; i < row.values.size(); ++i)
            bindValue(statement, i + 1, row.values[i]);
        if (!statement.exec()) {
            *reason = db.failureReason();
            return false;
        }
    }
    return true;
}

bool StoreRows::remove(SqliteDatabase &db, QString *reason) const
{
    for (auto row = rows_.crbegin(); row != rows_.crend(); ++row) {
        QStringList terms;
        for (const QString &column : row->columns)
            terms << quoted(column) + QStringLiteral(" IS ?") + QString::number(terms.size() + 1);
        SqliteStatement statement = db.prepare(QStringLiteral("DELETE FROM %1 WHERE %2")
                                                   .arg(quoted(row->table), terms.join(u" AND ")));
        for (int i = 0; i < row->values.size(); ++i)
            bindValue(statement, i + 1, row->values[i]);
        if (!statement.exec()) {
            *reason = db.failureReason();
            return false;
        }
    }
    return true;
}

StoreTransaction::StoreTransaction(SqliteDatabase &db) : db_(db)
{
    open_ = db_.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

StoreTransaction::~StoreTransaction()
{
    if (open_ && !sqlite3_get_autocommit(db_.handle()))
        db_.exec(QStringLiteral("ROLLBACK"));
}

bool StoreTransaction::commit(QString *reason)
{
    if (!open_ || !db_.exec(QStringLiteral("COMMIT"))) {
        *reason = db_.failureReason();
        return false;
    }
    open_ = false;
    return true;
}

} // namespace murmelo
