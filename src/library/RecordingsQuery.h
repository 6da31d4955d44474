#pragma once

#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QList>
#include <QObject>
#include <deque>

namespace murmelo {

// A live list of every saved Recording, newest first (one flat section), kept in step with the
// store after each save. It holds only row ids and dates; records are loaded when asked for,
// with a few recent ones kept, so memory follows what a screen shows rather than the library's
// size.
class RecordingsQuery : public QObject {
    Q_OBJECT
public:
    struct Change {
        enum Type { Insert, Delete, Move, Update };
        Type type;
        // Delete, Move and Update: the row in the list before the batch; Insert: -1.
        int oldRow;
        // Insert, Move and Update: the row in the list after the batch; Delete: -1.
        int newRow;
        std::shared_ptr<Recording> recording;
    };

    explicit RecordingsQuery(StoreContext &context, QObject *parent = nullptr);

    // Reads the list from the store; false (error set) when it cannot.
    bool performFetch(StoreError *error = nullptr);
    int count() const { return int(m_rows.size()); }
    // The record at a row, loaded on demand; null when the row is out of range.
    std::shared_ptr<Recording> recordingAt(int row);
    // The row of a saved record, or -1.
    int rowOf(const Recording &recording) const;

signals:
    // One batch per save that touched the list, in the manner of a table's batch update:
    // deletions (descending old rows), then insertions (ascending new rows), then moves (old
    // row removed, new row inserted) and updates (rows refer to the list before and after).
    // A model applies deletes and move sources by old row first, then inserts and move
    // destinations by new row.
    void willChangeContent();
    void didChangeObjects(const QList<murmelo::RecordingsQuery::Change> &changes);
    void didChangeContent();

private:
    void contextDidSave(const StoreChanges &changes);
    bool before(const StoreKeyRow &a, const StoreKeyRow &b) const
    {
        return a.key != b.key ? a.key > b.key : a.rowID > b.rowID;
    }

    StoreContext &m_context;
    std::vector<StoreKeyRow> m_rows;
    std::deque<std::shared_ptr<Recording>> m_recent;
};

} // namespace murmelo
Q_DECLARE_METATYPE(murmelo::RecordingsQuery::Change)
