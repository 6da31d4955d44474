#pragma once

#include "library/RecordingsQuery.h"

#include <QAbstractListModel>

namespace murmelo {

// The live list of saved recordings as a Qt model: one row per record, newest first. The
// store's change batches become row removals, insertions and data changes, so views keep their
// selection and scroll position while records come and go.
class RecordingsListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        DateTextRole = Qt::UserRole + 1, // the date in the locale's short date and time
        PlayingRole,
    };

    // Runs the query; a store that cannot be read shows as an empty list.
    explicit RecordingsListModel(RecordingsQuery &query, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    std::shared_ptr<Recording> recordingAt(int row) const;
    QModelIndex indexOf(const Recording &recording) const;
    // For a change made without a save (the playing mark): its row shows it at once.
    void refresh(const Recording &recording);
    // Lists only what `text` finds (see RecordingsQuery); views start over on the new rows.
    // False (error set, no rows) when the store cannot be searched.
    bool setSearchText(const QString &text, StoreError *error = nullptr);
    const QString &searchText() const { return query_.searchText(); }
    // The search again, for changes the store does not announce; rows come and go in place.
    void searchAgain() { query_.searchAgain(); }

private:
    void apply(const QList<RecordingsQuery::Change> &changes);

    RecordingsQuery &query_;
    // The rows views know of: during a batch this trails the query, one step at a time.
    int count_ = 0;
};

} // namespace murmelo
