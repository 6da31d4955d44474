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
    : QObject(parent), schema_(schema)
{
    openError_ = {StoreError::NoStore,
                  QCoreApplication::translate("Store", "The library has not been opened."),
                  {}};
}

StoreContext::~StoreContext()
{
    // Records may outlive the context in callers' hands; they must not reach back into it.
    for (const auto &weak : std::as_const(registered_)) {
        if (auto object = weak.lock())
            object->context_ = nullptr;
    }
    for (const auto *list : {&inserted_, &updated_, &deleted_}) {
        for (const auto &object : *list)
            object->context_ = nullptr;
    }
}

QString StoreContext::defaultStorePath()
{
    return StandardPaths::libraryDirectory() + QStringLiteral("/dbv3.sql");
}

bool StoreContext::open(const QString &path)
{
    STORE_ASSERT_MAIN_THREAD();
    path_ = path;
    openError_ = openStoreFile(db_, path, schema_);
    if (openError_)
        systemLog(openError_.description);
    return !openError_;
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
    const EntityDescription *entity = schema_.entity(entityName);
    if (!entity)
        return nullptr;
    auto object = makeObject(*entity);
    object->inserted_ = true;
    inserted_.push_back(object);
    return object;
}

void StoreContext::objectDidChange(const std::shared_ptr<StoreObject> &object)
{
    if (object->inserted_ || object->queued_)
        return;
    object->queued_ = true;
    updated_.push_back(object);
}

void StoreContext::deleteObject(const std::shared_ptr<StoreObject> &object)
{
    STORE_ASSERT_MAIN_THREAD();
    if (!object || object->deleted_ || object->context_ != this)
        return;
    object->prepareForDeletion();
    object->deleted_ = true;
    if (object->inserted_) {
        // Never written: forgetting it is all there is to do.
        object->inserted_ = false;
        std::erase(inserted_, object);
        return;
    }
    deleted_.push_back(object);
}

bool StoreContext::hasChanges() const
{
    if (!inserted_.empty() || !deleted_.empty())
        return true;
    for (const auto &object : updated_) {
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
    // One row written is one statement, a transaction by itself with everything its triggers
    // write; it then needs none around it, nor the savepoint SQLite makes for a statement that
    // runs inside one.
    const bool oneStatement = deleted.size() + inserted.size() + updated.size() == 1;
    if (!oneStatement && !db_.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        *reason = db_.failureReason();
        return false;
    }
    const auto ok = [&] {
        for (const auto &object : deleted) {
            SqliteStatement statement = db_.prepare(
                QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(object->entity().table));
            statement.bind(1, object->rowID_);
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
            SqliteStatement statement = db_.prepare(sql);
            for (int i = 0; i < entity.attributes.size(); ++i)
                statement.bindKept(i + 1, object->values_[i]);
            if (!statement.exec())
                return false;
            newRowIDs->push_back(sqlite3_last_insert_rowid(db_.handle()));
        }
        for (const auto &object : updated) {
            if (object->deleted_)
                continue;
            const EntityDescription &entity = object->entity();
            QStringList assignments;
            QVariantList values;
            for (int i = 0; i < entity.attributes.size(); ++i) {
                if (!object->dirty_[i])
                    continue;
                values << object->values_[i];
                assignments
                    << QStringLiteral("%1 = ?%2").arg(entity.attributes[i].name).arg(values.size());
            }
            if (values.isEmpty())
                continue;
            SqliteStatement statement =
                db_.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE id = ?%3")
                                .arg(entity.table, assignments.join(u", "))
                                .arg(values.size() + 1));
            for (int i = 0; i < values.size(); ++i)
                statement.bindKept(i + 1, values[i]);
            statement.bind(values.size() + 1, object->rowID_);
            if (!statement.exec())
                return false;
        }
        return true;
    }();
    if (ok && (oneStatement || db_.exec(QStringLiteral("COMMIT"))))
        return true;
    // The first failure is the cause. On a full disk or an I/O error SQLite has already rolled
    // the transaction back, and a second rollback would only add "no transaction is active".
    *reason = db_.failureReason();
    if (!sqlite3_get_autocommit(db_.handle()))
        db_.exec(QStringLiteral("ROLLBACK"));
    systemLog(QStringLiteral("Library: save rolled back: %1").arg(*reason));
    return false;
}

bool StoreContext::save(StoreError *error)
{
    STORE_ASSERT_MAIN_THREAD();
    // The hooks may change values (a retried file adoption), so they run on copies of the lists.
    for (const auto &object : StoreObjectList(inserted_))
        object->willSave();
    for (const auto &object : StoreObjectList(updated_)) {
        if (!object->deleted_)
            object->willSave();
    }
    if (!hasChanges()) {
        StoreObjectList retry;
        for (const auto &object : updated_) {
            if (!object->deleted_ && object->needsAnotherSave())
                retry.push_back(object);
            else
                object->queued_ = false;
        }
        updated_ = std::move(retry);
        return true;
    }
    if (!hasStore()) {
        fail(error, StoreError::NoStore,
             QCoreApplication::translate("Store", "Changes could not be saved: %1")
                 .arg(openError_.description));
        return false;
    }
    std::vector<qint64> newRowIDs;
    QString reason;
    if (!writeChanges(inserted_, updated_, deleted_, &newRowIDs, &reason)) {
        fail(error, StoreError::WriteFailed,
             QCoreApplication::translate("Store", "Changes could not be saved: %1").arg(reason));
        return false;
    }

    StoreChanges changes;
    const StoreObjectList inserted = std::exchange(inserted_, {});
    const StoreObjectList updated = std::exchange(updated_, {});
    const StoreObjectList deleted = std::exchange(deleted_, {});
    for (size_t i = 0; i < inserted.size(); ++i) {
        const auto &object = inserted[i];
        object->rowID_ = newRowIDs[i];
        object->inserted_ = false;
        registered_.insert({&object->entity(), object->rowID_}, object);
        changes.inserted.push_back(object);
    }
    for (const auto &object : updated) {
        object->queued_ = false;
        if (!object->deleted_ && object->observedChange_)
            changes.updated.push_back(object);
    }
    for (const auto &object : deleted) {
        registered_.remove({&object->entity(), object->rowID_});
        changes.deleted.push_back(object);
    }
    for (const auto *list : {&inserted, &updated, &deleted}) {
        for (const auto &object : *list) {
            std::fill(object->dirty_.begin(), object->dirty_.end(), false);
            object->observedChange_ = false;
            object->didSave();
            if (!object->deleted_ && object->needsAnotherSave())
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
    if (auto known = registered_.value(key).lock())
        return known->deleted_ ? nullptr : known;
    auto object = makeObject(entity);
    object->rowID_ = rowID;
    for (int i = 0; i < entity.attributes.size(); ++i)
        object->values_[i] = fromColumn(row, i + 1, entity.attributes[i].type);
    registered_.insert(key, object);
    return object;
}

StoreObjectList StoreContext::fetchObjects(const QString &entityName, const StoreFilter &filter,
                                           const StoreSort &sort, StoreError *error)
{
    STORE_ASSERT_MAIN_THREAD();
    const EntityDescription *entity = schema_.entity(entityName);
    if (!entity) {
        fail(error, StoreError::BadRequest, QStringLiteral("no entity %1").arg(entityName));
        return {};
    }
    if (!hasStore()) {
        fail(error, StoreError::NoStore, openError_.description);
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
        db_.prepare(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
                        .arg(columnList(*entity), entity->table, where, order.join(u", ")));
    if (!statement.isValid()) {
        fail(error, StoreError::BadRequest, db_.lastError());
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
        fail(error, StoreError::Corrupt, db_.lastError());
        return {};
    }
    return objects;
}

std::vector<StoreKeyRow> StoreContext::fetchSortKeys(const QString &entityName,
                                                     const QString &attribute, bool ascending,
                                                     StoreError *error)
{
    STORE_ASSERT_MAIN_THREAD();
    const EntityDescription *entity = schema_.entity(entityName);
    if (!entity || entity->indexOf(attribute) < 0 || !hasStore()) {
        fail(error, hasStore() ? StoreError::BadRequest : StoreError::NoStore,
             QStringLiteral("cannot list %1 by %2").arg(entityName, attribute));
        return {};
    }
    const QString direction = ascending ? QStringLiteral("ASC") : QStringLiteral("DESC");
    SqliteStatement statement =
        db_.prepare(QStringLiteral("SELECT id, %1 FROM %2 ORDER BY %1 %3, id %3")
                        .arg(attribute, entity->table, direction));
    std::vector<StoreKeyRow> rows;
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW) {
        rows.push_back({statement.columnInt64(0), statement.columnIsNull(1)
                                                      ? std::numeric_limits<qint64>::min()
                                                      : statement.columnInt64(1)});
    }
    if (rc != SQLITE_DONE) {
        fail(error, StoreError::Corrupt, db_.lastError());
        return {};
    }
    return rows;
}

std::shared_ptr<StoreObject> StoreContext::objectWithID(const QString &entityName, qint64 rowID)
{
    STORE_ASSERT_MAIN_THREAD();
    const EntityDescription *entity = schema_.entity(entityName);
    if (!entity)
        return nullptr;
    if (auto known = registered_.value({entity, rowID}).lock())
        return known->deleted_ ? nullptr : known;
    SqliteStatement statement = db_.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(columnList(*entity), entity->table));
    statement.bind(1, rowID);
    if (statement.step() != SQLITE_ROW)
        return nullptr;
    return objectFromRow(*entity, statement);
}

void StoreContext::announceRestored(const QString &entityName, const std::vector<qint64> &rowIDs)
{
    STORE_ASSERT_MAIN_THREAD();
    StoreChanges changes;
    for (const qint64 rowID : rowIDs) {
        if (auto object = objectWithID(entityName, rowID))
            changes.inserted.push_back(std::move(object));
    }
    if (!changes.inserted.empty())
        emit didSave(changes);
}

void StoreContext::announceRemoved(const std::shared_ptr<StoreObject> &object)
{
    STORE_ASSERT_MAIN_THREAD();
    if (!object || object->context_ != this || object->deleted_ || object->inserted_)
        return;
    object->deleted_ = true;
    object->queued_ = false;
    std::erase(updated_, object);
    std::fill(object->dirty_.begin(), object->dirty_.end(), false);
    registered_.remove({&object->entity(), object->rowID_});
    StoreChanges changes;
    changes.deleted.push_back(object);
    emit didSave(changes);
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
    for (const auto &entity : schema_.entities) {
        if (entity.name.compare(uri.host(), Qt::CaseInsensitive) == 0)
            return objectWithID(entity.name, rowID);
    }
    return nullptr;
}

} // namespace murmelo
