#pragma once

#include "library/StoreSchema.h"

#include <QUrl>
#include <QVariant>
#include <memory>
#include <vector>

namespace murmelo {

class StoreContext;

// One record of the store. Held by shared pointer: the context keeps records with unsaved
// changes alive and otherwise only remembers them, so memory follows what callers hold.
// Main thread only, like its context.
class StoreObject : public std::enable_shared_from_this<StoreObject> {
public:
    virtual ~StoreObject() = default;
    StoreObject(const StoreObject &) = delete;
    StoreObject &operator=(const StoreObject &) = delete;

    const EntityDescription &entity() const { return *entity_; }
    // The owning context; null once that context is gone.
    StoreContext *managedObjectContext() const { return context_; }
    // Identity in the store file; 0 until the record's first save.
    qint64 rowID() const { return rowID_; }
    // "murmelo-store://Recording/<row id>"; empty until the first save.
    QUrl objectURI() const;
    bool isInserted() const { return inserted_; }
    bool isDeleted() const { return deleted_; }
    bool hasChanges() const;

    // An absent attribute reads as an invalid QVariant.
    QVariant value(const QString &attribute) const;
    // Reported to observers as an update after the next save.
    void setValue(const QString &attribute, const QVariant &value);
    // Written at the next save like setValue, but the record is not reported as updated for it,
    // so live lists do not redraw for bookkeeping values.
    void setPrimitiveValue(const QString &attribute, const QVariant &value);

    // Saves the whole context; false (and logged) when the save fails.
    bool save();
    // Deletes the record from its context (not saved).
    void deleteObject();

protected:
    StoreObject(StoreContext *context, const EntityDescription &entity);

    const QVariant &valueAt(int index) const { return values_[index]; }
    void setValueAt(int index, const QVariant &value, bool observed);

    // Hooks the context calls: just before the record is deleted, just before a save writes it,
    // and after that save has been committed.
    virtual void prepareForDeletion() {}
    virtual void willSave() {}
    virtual void didSave() {}
    // True when the record still has work that the next save should retry.
    virtual bool needsAnotherSave() const { return false; }

private:
    friend class StoreContext;

    StoreContext *context_;
    const EntityDescription *entity_;
    qint64 rowID_ = 0;
    std::vector<QVariant> values_;
    std::vector<bool> dirty_; // columns the next save writes
    bool observedChange_ = false;
    bool inserted_ = false;
    bool deleted_ = false;
    bool queued_ = false; // in the context's list of updated records
};

} // namespace murmelo
