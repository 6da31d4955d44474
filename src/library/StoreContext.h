#pragma once

#include "library/SqliteDatabase.h"
#include "library/StoreError.h"
#include "library/StoreFilter.h"
#include "library/StoreObject.h"
#include "library/StoreSchema.h"

#include <QHash>
#include <QObject>
#include <memory>
#include <vector>

namespace murmelo {

using StoreObjectList = std::vector<std::shared_ptr<StoreObject>>;

// What one save wrote: new records, records changed through their observed setters, and
// records removed.
struct StoreChanges {
    StoreObjectList inserted;
    StoreObjectList updated;
    StoreObjectList deleted;
};

// A record's row id and its integer sort key (dates in milliseconds; absent values sort as the
// smallest key, as the store file sorts NULL).
struct StoreKeyRow {
    qint64 rowID;
    qint64 key;
};

// The process's view of the store file: inserts, deletes and changes collect here until save()
// writes them as one transaction and announces them through didSave(). All use is on the main
// thread (asserted in debug builds); background jobs only name temporary files.
class StoreContext : public QObject {
    Q_OBJECT
public:
    explicit StoreContext(const StoreSchema &schema = recordingStoreSchema(),
                          QObject *parent = nullptr);
    ~StoreContext() override;

    // The Library folder's "dbv3.sql".
    static QString defaultStorePath();

    // Opens (creating, or migrating from an older version) the store file. On failure the
    // context works without a store: records can be made but saves fail, and the file is left
    // untouched. The error says why, for an alert.
    bool open(const QString &path = defaultStorePath());
    bool hasStore() const { return db_.isOpen(); }
    // The file open() was given.
    const QString &storePath() const { return path_; }
    const StoreError &openError() const { return openError_; }
    const StoreSchema &schema() const { return schema_; }
    // The open file, for tables kept beside the records (phrase markers); main thread only.
    SqliteDatabase &database() { return db_; }

    // A new, empty record of the entity (Recording objects for "Recording").
    std::shared_ptr<StoreObject> insertNewObject(const QString &entityName);
    // Calls the record's deletion hook and removes it at the next save.
    void deleteObject(const std::shared_ptr<StoreObject> &object);
    bool hasChanges() const;
    // Writes every pending change in one transaction. A failure leaves every change pending,
    // is logged to the system log and returned; files are not touched by a failed save.
    bool save(StoreError *error = nullptr);

    // Saved records of the entity matching the filter, in the given order (row id breaks ties).
    // Records already in memory are returned as they are, unsaved changes included; records
    // deleted but not yet saved are left out. On error: empty, with the error logged and set.
    StoreObjectList fetchObjects(const QString &entityName, const StoreFilter &filter = {},
                                 const StoreSort &sort = {}, StoreError *error = nullptr);
    // Row ids and integer sort keys of every saved record, ordered by key then row id.
    std::vector<StoreKeyRow> fetchSortKeys(const QString &entityName, const QString &attribute,
                                           bool ascending, StoreError *error = nullptr);
    // The record with this row id, loaded if not in memory; null if there is none.
    std::shared_ptr<StoreObject> objectWithID(const QString &entityName, qint64 rowID);
    std::shared_ptr<StoreObject> objectAtURI(const QUrl &uri);
    // Tells observers of records written back straight into the file (a deletion undone, with
    // the record's own row id), as a save that inserted them would.
    void announceRestored(const QString &entityName, const std::vector<qint64> &rowIDs);
    // The same for a record whose rows were deleted straight from the file: it counts as deleted
    // and saved, and whatever changes it had waiting are dropped.
    void announceRemoved(const std::shared_ptr<StoreObject> &object);

signals:
    void didSave(const murmelo::StoreChanges &changes);

private:
    friend class StoreObject;

    struct Key {
        const EntityDescription *entity;
        qint64 rowID;
        bool operator==(const Key &) const = default;
    };
    friend size_t qHash(const Key &key, size_t seed = 0)
    {
        return qHashMulti(seed, key.entity, key.rowID);
    }

    void objectDidChange(const std::shared_ptr<StoreObject> &object);
    std::shared_ptr<StoreObject> makeObject(const EntityDescription &entity);
    std::shared_ptr<StoreObject> objectFromRow(const EntityDescription &entity,
                                               const SqliteStatement &row);
    // One transaction; false with the cause of the first failure in `reason`.
    bool writeChanges(const StoreObjectList &inserted, const StoreObjectList &updated,
                      const StoreObjectList &deleted, std::vector<qint64> *newRowIDs,
                      QString *reason);
    void fail(StoreError *error, StoreError::Code code, const QString &description);

    const StoreSchema &schema_;
    SqliteDatabase db_;
    QString path_;
    StoreError openError_;
    QHash<Key, std::weak_ptr<StoreObject>> registered_;
    StoreObjectList inserted_;
    StoreObjectList updated_;
    StoreObjectList deleted_;
};

} // namespace murmelo

Q_DECLARE_METATYPE(murmelo::StoreChanges)
