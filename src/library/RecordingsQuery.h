#pragma once

#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QList>
#include <QObject>
#include <deque>
#include <unordered_map>

namespace murmelo {

// A live list of every saved Recording, newest first (one flat section), kept in step with the
// store after each save. It holds only row ids and dates; records are loaded when asked for,
// with a few recent ones kept, so memory follows what a screen shows rather than the library's
// size. With search text it lists only the records the text finds, in the search's order, and
// still follows every save: a record saved or deleted meanwhile enters or leaves as it matches.
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
    // Narrows the list to what `text` finds (every record for text without words) and reads it
    // again at once, without a change batch; false (error set, list empty) when it cannot.
    bool setSearchText(const QString &text, StoreError *error = nullptr);
    const QString &searchText() const { return searchText_; }
    // Runs the search again, announcing the difference as one batch: for changes the store's
    // saves do not announce, such as a marker's text.
    void searchAgain();
    int count() const { return int(rows_.size()); }
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
    bool isFiltered() const;
    // The filtered list read again, and the batch that leads the old list to it. `touched`
    // records that stay are reported as updates.
    void refilter(const std::unordered_map<qint64, std::shared_ptr<Recording>> &touched);
    void announce(const QList<Change> &batch);
    bool before(const StoreKeyRow &a, const StoreKeyRow &b) const
    {
        return a.key != b.key ? a.key > b.key : a.rowID > b.rowID;
    }

    StoreContext &context_;
    std::vector<StoreKeyRow> rows_;
    std::deque<std::shared_ptr<Recording>> recent_;
    QString searchText_;
};

} // namespace murmelo
Q_DECLARE_METATYPE(murmelo::RecordingsQuery::Change)
