#include "library/RecordingsListModel.h"

#include <QLocale>
#include <algorithm>

namespace murmelo {

RecordingsListModel::RecordingsListModel(RecordingsQuery &query, QObject *parent)
    : QAbstractListModel(parent), query_(query)
{
    query_.performFetch();
    count_ = query_.count();
    connect(&query_, &RecordingsQuery::didChangeObjects, this, &RecordingsListModel::apply);
}

int RecordingsListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count_;
}

std::shared_ptr<Recording> RecordingsListModel::recordingAt(int row) const
{
    return row >= 0 && row < count_ ? query_.recordingAt(row) : nullptr;
}

QVariant RecordingsListModel::data(const QModelIndex &index, int role) const
{
    const auto recording = recordingAt(index.row());
    if (!recording)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return recording->name();
    case DateTextRole:
        return QLocale().toString(recording->date().toLocalTime(), QLocale::ShortFormat);
    case PlayingRole:
        return recording->playingValue();
    default:
        return {};
    }
}

QModelIndex RecordingsListModel::indexOf(const Recording &recording) const
{
    const int row = query_.rowOf(recording);
    return row >= 0 && row < count_ ? index(row) : QModelIndex();
}

void RecordingsListModel::refresh(const Recording &recording)
{
    const QModelIndex changed = indexOf(recording);
    if (changed.isValid())
        emit dataChanged(changed, changed, {PlayingRole});
}

bool RecordingsListModel::setSearchText(const QString &text, StoreError *error)
{
    beginResetModel();
    const bool searched = query_.setSearchText(text, error);
    count_ = query_.count();
    endResetModel();
    return searched;
}

void RecordingsListModel::apply(const QList<RecordingsQuery::Change> &changes)
{
    using Change = RecordingsQuery::Change;
    // A move is a removal at its old row and an insertion at its new one: all removals go
    // first, highest row first, then all insertions, lowest row first, which walks the old
    // list into the new one without any row shifting under a later step.
    std::vector<int> removals, insertions;
    for (const Change &change : changes) {
        if (change.type == Change::Delete || change.type == Change::Move)
            removals.push_back(change.oldRow);
        if (change.type == Change::Insert || change.type == Change::Move)
            insertions.push_back(change.newRow);
    }
    std::sort(removals.begin(), removals.end(), std::greater<>());
    std::sort(insertions.begin(), insertions.end());
    for (const int row : removals) {
        beginRemoveRows({}, row, row);
        --count_;
        endRemoveRows();
    }
    for (const int row : insertions) {
        beginInsertRows({}, row, row);
        ++count_;
        endInsertRows();
    }
    if (count_ != query_.count()) {
        // A batch this model cannot follow step by step; views start over rather than show
        // the wrong records.
        beginResetModel();
        count_ = query_.count();
        endResetModel();
        return;
    }
    for (const Change &change : changes) {
        if (change.type == Change::Update) {
            const QModelIndex updated = index(change.newRow);
            emit dataChanged(updated, updated);
        }
    }
}

} // namespace murmelo
