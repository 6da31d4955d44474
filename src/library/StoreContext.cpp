#include "library/StoreContext.h"

#include "library/Recording.h"
#include "library/StoreFile.h"
#include "platform/MainQueue.h"
#include "platform/StandardPaths.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>
#include <limits>

// The store is not thread-safe by design: every screen and flow touches it on the main thread.
#define STORE_ASSERT_MAIN_THREAD() Q_ASSERT(!QCoreApplication::instance() || isMainThread())

namespace murmelo {

namespace {
QString columnList(const EntityDescription &entity)
{
    QStringList columns{QStringLiteral("id")};
    for (const auto &attribute : entity.attributes)
        columns << attribute.name;
    return columns.join(u", ");
}

QVariant fromColumn(const SqliteStatement &row, int column, AttributeType type)
{
    if (row.columnIsNull(column))
        return {};
    switch (type) {
    case AttributeType::String:
        return row.columnText(column);
    case AttributeType::DateTime:
        return QDateTime::fromMSecsSinceEpoch(row.columnInt64(column), QTimeZone::utc());
    case AttributeType::Float:
        return QVariant(float(row.columnDouble(column)));
    case AttributeType::Boolean:
        return QVariant(row.columnInt64(column) != 0);
    case AttributeType::Data:
        return row.columnBlob(column);
    }
    return {};
}

// The WHERE clause for a filter, with numbered placeholders for its values.
bool whereClause(const EntityDescription &entity, const StoreFilter &filter, QString *sql,
                 QVariantList *values, QString *badAttribute)
{
    QStringList terms;
    for (const auto &condition : filter.conditions) {
        if (entity.indexOf(condition.attribute) < 0) {
            *badAttribute = condition.attribute;
            return false;
        }
        const QString column = condition.attribute;
        const QString p = QStringLiteral("?%1").arg(values->size() + 1);
        switch (condition.op) {
        case StoreFilter::Equal:
            terms << column + QStringLiteral(" = ") + p;
            break;
        case StoreFilter::NotEqual:
            terms << column + QStringLiteral(" IS NOT ") + p;
            break;
        case StoreFilter::Less:
            terms << column + QStringLiteral(" < ") + p;
            break;
        case StoreFilter::Greater:
            terms << column + QStringLiteral(" > ") + p;
            break;
        case StoreFilter::BeginsWith:
            terms << QStringLiteral("substr(%1, 1, length(%2)) = %2").arg(column, p);
            break;
        case StoreFilter::Contains:
            terms << QStringLiteral("instr(%1, %2) > 0").arg(column, p);
            break;
        case StoreFilter::IsNull:
            terms << column + QStringLiteral(" IS NULL");
            continue;
        case StoreFilter::IsNotNull:
            terms << column + QStringLiteral(" IS NOT NULL");
            continue;
        }
        values->append(condition.value);
    }
    if (!terms.isEmpty())
        *sql = QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    return true;
}
} // namespace

StoreContext::StoreContext(const StoreSchema &schema, QObject *parent)
    : QObject(parent), m_schema(schema)
{
    m_openError = {StoreError::NoStore,
                   QCoreApplication::translate("Store", "The library has not been opened."),
                   {}};
}

StoreContext::~StoreContext()
{
    // Records may outlive the context in callers' hands; they must not reach back into it.
    for (const auto &weak : std::as_const(m_registered)) {
        if (auto object = weak.lock())
            object->m_context = nullptr;
    }
    for (const auto *list : {&m_inserted, &m_updated, &m_deleted}) {
        for (const auto &object : *list)
            object->m_context = nullptr;
    }
}

QString StoreContext::defaultStorePath()
{
    return StandardPaths::libraryDirectory() + QStringLiteral("/dbv3.sql");
}

bool StoreContext::open(const QString &path)
{
    STORE_ASSERT_MAIN_THREAD();
    m_path = path;
    m_openError = openStoreFile(m_db, path, m_schema);
    if (m_openError)
        systemLog(m_openError.description);
    return !m_openError;
}

std::shared_ptr<StoreObject> StoreContext::makeObject(const EntityDescription &entity)
{
    if (entity.name == Recording::entityName())
        return std::shared_ptr<Recording>(new Recording(this, entity));
    return std::shared_ptr<StoreObject>(new StoreObject(this, entity));
}

std::shared_ptr<StoreObject> StoreContext::insertNewObject(const QString &entityName)
{
    STORE_ASSERT_MAIN_THREAD();
    const EntityDescription *entity = m_schema.entity(entityName);
    if (!entity)
        return nullptr;
    auto object = makeObject(*entity);
    object->m_inserted = true;
    m_inserted.push_back(object);
    return object;
}

void StoreContext::objectDidChange(const std::shared_ptr<StoreObject> &object)
{
    if (object->m_inserted || object->m_queued)
        return;
    object->m_queued = true;
    m_updated.push_back(object);
}

void StoreContext::deleteObject(const std::shared_ptr<StoreObject> &object)
{
    STORE_ASSERT_MAIN_THREAD();
    if (!object || object->m_deleted || object->m_context != this)
        return;
    object->prepareForDeletion();
    object->m_deleted = true;
    if (object->m_inserted) {
        // Never written: forgetting it is all there is to do.
        object->m_inserted = false;
        std::erase(m_inserted, object);
        return;
    }
    m_deleted.push_back(object);
}

bool StoreContext::hasChanges() const
{
    if (!m_inserted.empty() || !m_deleted.empty())
        return true;
    for (const auto &object : m_updated) {
        if (object->hasChanges())
            return true;
    }
    return false;
}

void StoreContext::fail(StoreError *error, StoreError::Code code, const QString &description)
{
    systemLog(QStringLiteral("Library: %1").arg(description));
    if (error)
        *error = {code, description, {}};
}

bool StoreContext::writeChanges(const StoreObjectList &inserted, const StoreObjectList &updated,
                                const StoreObjectList &deleted, std::vector<qint64> *newRowIDs,
                                QString *reason)
{
    if (!m_db.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        *reason = m_db.failureReason();
        return false;
    }
    const auto ok = [&] {
        for (const auto &object : deleted) {
            SqliteStatement statement = m_db.prepare(
                QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(object->entity().table));
            statement.bind(1, object->m_rowID);
            if (!statement.exec())
                return false;
        }
        QHash<const EntityDescription *, QString> insertSql;
        for (const auto &object : inserted) {
            const EntityDescription &entity = object->entity();
            QString &sql = insertSql[&entity];
            if (sql.isEmpty()) {
                QStringList columns, placeholders;
                for (int i = 0; i < entity.attributes.size(); ++i) {
                    columns << entity.attributes[i].name;
                    placeholders << QStringLiteral("?%1").arg(i + 1);
                }
                sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(entity.table, columns.join(u", "), placeholders.join(u", "));
            }
            SqliteStatement statement = m_db.prepare(sql);
            for (int i = 0; i < entity.attributes.size(); ++i)
                statement.bind(i + 1, object->m_values[i]);
            if (!statement.exec())
                return false;
            newRowIDs->push_back(sqlite3_last_insert_rowid(m_db.handle()));
        }
        for (const auto &object : updated) {
            if (object->m_deleted)
                continue;
            const EntityDescription &entity = object->entity();
            QStringList assignments;
            QVariantList values;
            for (int i = 0; i < entity.attributes.size(); ++i) {
                if (!object->m_dirty[i])
                    continue;
                values << object->m_values[i];
                assignments
                    << QStringLiteral("%1 = ?%2").arg(entity.attributes[i].name).arg(values.size());
            }
            if (values.isEmpty())
                continue;
            SqliteStatement statement =
                m_db.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE id = ?%3")
                                 .arg(entity.table, assignments.join(u", "))
                                 .arg(values.size() + 1));
            for (int i = 0; i < values.size(); ++i)
                statement.bind(i + 1, values[i]);
            statement.bind(values.size() + 1, object->m_rowID);
            if (!statement.exec())
                return false;
        }
        return true;
    }();
    if (ok && m_db.exec(QStringLiteral("COMMIT")))
        return true;
    // The first failure is the cause. On a full disk or an I/O error SQLite has already rolled
    // the transaction back, and a second rollback would only add "no transaction is active".
    *reason = m_db.failureReason();
    if (!sqlite3_get_autocommit(m_db.handle()))
        m_db.exec(QStringLiteral("ROLLBACK"));
    systemLog(QStringLiteral("Library: save rolled back: %1").arg(*reason));
    return false;
}

bool StoreContext::save(StoreError *error)
{
    STORE_ASSERT_MAIN_THREAD();
    // The hooks may change values (a retried file adoption), so they run on copies of the lists.
    for (const auto &object : StoreObjectList(m_inserted))
        object->willSave();
    for (const auto &object : StoreObjectList(m_updated)) {
        if (!object->m_deleted)
            object->willSave();
    }
    if (!hasChanges()) {
        StoreObjectList retry;
        for (const auto &object : m_updated) {
            if (!object->m_deleted && object->needsAnotherSave())
                retry.push_back(object);
            else
                object->m_queued = false;
        }
        m_updated = std::move(retry);
        return true;
    }
    if (!hasStore()) {
        fail(error, StoreError::NoStore,
             QCoreApplication::translate("Store", "Changes could not be saved: %1")
                 .arg(m_openError.description));
        return false;
    }
    std::vector<qint64> newRowIDs;
    QString reason;
    if (!writeChanges(m_inserted, m_updated, m_deleted, &newRowIDs, &reason)) {
        fail(error, StoreError::WriteFailed,
             QCoreApplication::translate("Store", "Changes could not be saved: %1").arg(reason));
        return false;
    }

    StoreChanges changes;
    const StoreObjectList inserted = std::exchange(m_inserted, {});
    const StoreObjectList updated = std::exchange(m_updated, {});
    const StoreObjectList deleted = std::exchange(m_deleted, {});
    for (size_t i = 0; i < inserted.size(); ++i) {
        const auto &object = inserted[i];
        object->m_rowID = newRowIDs[i];
        object->m_inserted = false;
        m_registered.insert({&object->entity(), object->m_rowID}, object);
        changes.inserted.push_back(object);
    }
    for (const auto &object : updated) {
        object->m_queued = false;
        if (!object->m_deleted && object->m_observedChange)
            changes.updated.push_back(object);
    }
    for (const auto &object : deleted) {
        m_registered.remove({&object->entity(), object->m_rowID});
        changes.deleted.push_back(object);
    }
    for (const auto *list : {&inserted, &updated, &deleted}) {
        for (const auto &object : *list) {
            std::fill(object->m_dirty.begin(), object->m_dirty.end(), false);
            object->m_observedChange = false;
            object->didSave();
            if (!object->m_deleted && object->needsAnotherSave())
                objectDidChange(object);
        }
    }
    emit didSave(changes);
    return true;
}

std::shared_ptr<StoreObject> StoreContext::objectFromRow(const EntityDescription &entity,
                                                         const SqliteStatement &row)
{
    const qint64 rowID = row.columnInt64(0);
    const Key key{&entity, rowID};
    if (auto known = m_registered.value(key).lock())
        return known->m_deleted ? nullptr : known;
    auto object = makeObject(entity);
    object->m_rowID = rowID;
    for (int i = 0; i < entity.attributes.size(); ++i)
        object->m_values[i] = fromColumn(row, i + 1, entity.attributes[i].type);
    m_registered.insert(key, object);
    return object;
}

StoreObjectList StoreContext::fetchObjects(const QString &entityName, const StoreFilter &filter,
                                           const StoreSort &sort, StoreError *error)
{
    STORE_ASSERT_MAIN_THREAD();
    const EntityDescription *entity = m_schema.entity(entityName);
    if (!entity) {
        fail(error, StoreError::BadRequest, QStringLiteral("no entity %1").arg(entityName));
        return {};
    }
    if (!hasStore()) {
        fail(error, StoreError::NoStore, m_openError.description);
        return {};
    }
    QString where;
    QVariantList values;
    QString badAttribute;
    if (!whereClause(*entity, filter, &where, &values, &badAttribute)) {
        fail(error, StoreError::BadRequest,
             QStringLiteral("%1 has no attribute %2").arg(entityName, badAttribute));
        return {};
    }
    QStringList order;
    for (const auto &key : sort) {
        if (entity->indexOf(key.attribute) < 0) {
            fail(error, StoreError::BadRequest,
                 QStringLiteral("%1 has no attribute %2").arg(entityName, key.attribute));
            return {};
        }
        order << key.attribute + (key.ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
    }
    order << QStringLiteral("id ASC");
    SqliteStatement statement =
        m_db.prepare(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
                         .arg(columnList(*entity), entity->table, where, order.join(u", ")));
    if (!statement.isValid()) {
        fail(error, StoreError::BadRequest, m_db.lastError());
        return {};
    }
    for (int i = 0; i < values.size(); ++i)
        statement.bind(i + 1, values[i]);
    StoreObjectList objects;
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW) {
        if (auto object = objectFromRow(*entity, statement))
            objects.push_back(std::move(object));
    }
    if (rc != SQLITE_DONE) {
        fail(error, StoreError::Corrupt, m_db.lastError());
        return {};
    }
    return objects;
}

std::vector<StoreKeyRow> StoreContext::fetchSortKeys(const QString &entityName,
                                                     const QString &attribute, bool ascending,
                                                     StoreError *error)
{
    STORE_ASSERT_MAIN_THREAD();
    const EntityDescription *entity = m_schema.entity(entityName);
    if (!entity || entity->indexOf(attribute) < 0 || !hasStore()) {
        fail(error, hasStore() ? StoreError::BadRequest : StoreError::NoStore,
             QStringLiteral("cannot list %1 by %2").arg(entityName, attribute));
        return {};
    }
    const QString direction = ascending ? QStringLiteral("ASC") : QStringLiteral("DESC");
    SqliteStatement statement =
        m_db.prepare(QStringLiteral("SELECT id, %1 FROM %2 ORDER BY %1 %3, id %3")
                         .arg(attribute, entity->table, direction));
    std::vector<StoreKeyRow> rows;
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW) {
        rows.push_back({statement.columnInt64(0), statement.columnIsNull(1)
                                                      ? std::numeric_limits<qint64>::min()
                                                      : statement.columnInt64(1)});
    }
    if (rc != SQLITE_DONE) {
        fail(error, StoreError::Corrupt, m_db.lastError());
        return {};
    }
    return rows;
}

std::shared_ptr<StoreObject> StoreContext::objectWithID(const QString &entityName, qint64 rowID)
{
    STORE_ASSERT_MAIN_THREAD();
    const EntityDescription *entity = m_schema.entity(entityName);
    if (!entity)
        return nullptr;
    if (auto known = m_registered.value({entity, rowID}).lock())
        return known->m_deleted ? nullptr : known;
    SqliteStatement statement = m_db.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(columnList(*entity), entity->table));
    statement.bind(1, rowID);
    if (statement.step() != SQLITE_ROW)
        return nullptr;
    return objectFromRow(*entity, statement);
}

std::shared_ptr<StoreObject> StoreContext::objectAtURI(const QUrl &uri)
{
    if (uri.scheme() != QLatin1String("murmelo-store"))
        return nullptr;
    bool ok = false;
    const qint64 rowID = uri.path().mid(1).toLongLong(&ok);
    if (!ok)
        return nullptr;
    // URL hosts are case-folded, so entity names compare without case.
    for (const auto &entity : m_schema.entities) {
        if (entity.name.compare(uri.host(), Qt::CaseInsensitive) == 0)
            return objectWithID(entity.name, rowID);
    }
    return nullptr;
}

} // namespace murmelo
