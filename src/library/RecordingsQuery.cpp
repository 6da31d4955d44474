#include "library/RecordingsQuery.h"

#include "library/RecordingSearch.h"

#include <QDateTime>
#include <algorithm>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace murmelo {

namespace {
constexpr size_t kRecentRecords = 64; // a screenful or two of rows

qint64 sortKey(const Recording &recording)
{
    const QDateTime date = recording.date();
    return date.isValid() ? date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

bool isRecording(const std::shared_ptr<StoreObject> &object)
{
    return object->entity().name == Recording::entityName();
}

// Positions in `rows` of a longest strictly increasing run of its values: the records that can
// stay where they are while the others move around them.
std::vector<size_t> longestIncreasing(const std::vector<int> &rows)
{
    std::vector<size_t> tails;                     // index of the smallest tail of each length
    std::vector<size_t> previous(rows.size(), -1); // the element before each in its run
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), rows[i],
                                         [&](size_t t, int row) { return rows[t] < row; });
        if (at != tails.begin())
            previous[i] = *(at - 1);
        if (at == tails.end())
            tails.push_back(i);
        else
            *at = i;
    }
    std::vector<size_t> run;
    for (size_t i = tails.empty() ? size_t(-1) : tails.back(); i != size_t(-1); i = previous[i])
        run.push_back(i);
    std::reverse(run.begin(), run.end());
    return run;
}
} // namespace

RecordingsQuery::RecordingsQuery(StoreContext &context, QObject *parent)
    : QObject(parent), context_(context)
{
    connect(&context, &StoreContext::didSave, this, &RecordingsQuery::contextDidSave);
}

bool RecordingsQuery::isFiltered() const
{
    return !RecordingSearch::matchExpression(searchText_).isEmpty();
}

bool RecordingsQuery::setSearchText(const QString &text, StoreError *error)
{
    searchText_ = text;
    return performFetch(error);
}

bool RecordingsQuery::performFetch(StoreError *error)
{
    StoreError failure;
    if (isFiltered()) {
        rows_.clear();
        for (const qint64 id : RecordingSearch(context_).search(searchText_, &failure))
            rows_.push_back({id, 0}); // in the search's order, which no key describes
    } else {
        rows_ = context_.fetchSortKeys(Recording::entityName(), QStringLiteral("date"), false,
                                       &failure);
    }
    recent_.clear();
    if (error)
        *error = failure;
    return !failure;
}

std::shared_ptr<Recording> RecordingsQuery::recordingAt(int row)
{
    if (row < 0 || row >= count())
        return nullptr;
    auto object = context_.objectWithID(Recording::entityName(), rows_[row].rowID);
    auto recording = std::static_pointer_cast<Recording>(object);
    if (recording) {
        std::erase(recent_, recording);
        recent_.push_front(recording);
        if (recent_.size() > kRecentRecords)
            recent_.pop_back();
    }
    return recording;
}

int RecordingsQuery::rowOf(const Recording &recording) const
{
    const StoreKeyRow probe{recording.rowID(), sortKey(recording)};
    if (!isFiltered()) {
        const auto found =
            std::lower_bound(rows_.begin(), rows_.end(), probe,
                             [this](const auto &a, const auto &b) { return before(a, b); });
        if (found != rows_.end() && found->rowID == probe.rowID)
            return int(found - rows_.begin());
    }
    // The date may have changed since the list was last ordered.
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].rowID == probe.rowID)
            return int(i);
    }
    return -1;
}

void RecordingsQuery::contextDidSave(const StoreChanges &changes)
{
    // Row ids of every record this save touched, with the record itself.
    std::unordered_map<qint64, std::shared_ptr<Recording>> touched;
    std::unordered_set<qint64> removed; // deleted, or moving to a new place
    for (const auto &object : changes.deleted) {
        if (isRecording(object)) {
            touched[object->rowID()] = std::static_pointer_cast<Recording>(object);
            removed.insert(object->rowID());
        }
    }
    for (const auto &object : changes.updated) {
        if (isRecording(object))
            touched[object->rowID()] = std::static_pointer_cast<Recording>(object);
    }
    std::vector<StoreKeyRow> added;
    for (const auto &object : changes.inserted) {
        if (isRecording(object)) {
            auto recording = std::static_pointer_cast<Recording>(object);
            touched[object->rowID()] = recording;
            added.push_back({object->rowID(), sortKey(*recording)});
        }
    }
    if (touched.empty())
        return;
    if (isFiltered()) {
        refilter(touched);
        return;
    }

    // Old rows of the touched records; a record whose date changed leaves and re-enters.
    std::unordered_map<qint64, int> oldRows;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const auto found = touched.find(rows_[i].rowID);
        if (found == touched.end())
            continue;
        oldRows[rows_[i].rowID] = int(i);
        if (!removed.count(rows_[i].rowID) && !found->second->isDeleted() &&
            sortKey(*found->second) != rows_[i].key) {
            removed.insert(rows_[i].rowID);
            added.push_back({rows_[i].rowID, sortKey(*found->second)});
        }
    }

    std::vector<StoreKeyRow> rows;
    rows.reserve(rows_.size() + added.size());
    for (const auto &row : rows_) {
        if (!removed.count(row.rowID))
            rows.push_back(row);
    }
    const auto order = [this](const auto &a, const auto &b) { return before(a, b); };
    std::sort(added.begin(), added.end(), order);
    std::vector<StoreKeyRow> merged;
    merged.reserve(rows.size() + added.size());
    std::merge(rows.begin(), rows.end(), added.begin(), added.end(), std::back_inserter(merged),
               order);
    rows_ = std::move(merged);

    std::unordered_map<qint64, int> newRows;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (touched.count(rows_[i].rowID))
            newRows[rows_[i].rowID] = int(i);
    }

    QList<Change> deletes, inserts, moves, updates;
    for (const auto &[rowID, recording] : touched) {
        const auto oldRow = oldRows.find(rowID);
        const auto newRow = newRows.find(rowID);
        const bool wasListed = oldRow != oldRows.end();
        const bool isListed = newRow != newRows.end();
        if (wasListed && !isListed)
            deletes.append({Change::Delete, oldRow->second, -1, recording});
        else if (!wasListed && isListed)
            inserts.append({Change::Insert, -1, newRow->second, recording});
        else if (wasListed && removed.count(rowID))
            moves.append({Change::Move, oldRow->second, newRow->second, recording});
        else if (wasListed)
            updates.append({Change::Update, oldRow->second, newRow->second, recording});
    }
    std::sort(deletes.begin(), deletes.end(),
              [](const Change &a, const Change &b) { return a.oldRow > b.oldRow; });
    std::sort(inserts.begin(), inserts.end(),
              [](const Change &a, const Change &b) { return a.newRow < b.newRow; });
    std::sort(moves.begin(), moves.end(),
              [](const Change &a, const Change &b) { return a.newRow < b.newRow; });
    std::sort(updates.begin(), updates.end(),
              [](const Change &a, const Change &b) { return a.newRow < b.newRow; });
    announce(deletes + inserts + moves + updates);
}

void RecordingsQuery::searchAgain()
{
    if (isFiltered())
        refilter({});
}

void RecordingsQuery::refilter(
    const std::unordered_map<qint64, std::shared_ptr<Recording>> &touched)
{
    StoreError failure;
    const QList<qint64> found = RecordingSearch(context_).search(searchText_, &failure);
    if (failure)
        return; // the list shown stays; the search has logged why
    std::unordered_map<qint64, int> oldRows, newRows;
    for (size_t i = 0; i < rows_.size(); ++i)
        oldRows[rows_[i].rowID] = int(i);
    for (int i = 0; i < found.size(); ++i)
        newRows[found[i]] = i;

    std::vector<int> keptOldRows; // old rows of the records in both lists, in their new order
    std::vector<qint64> keptIDs;
    for (const qint64 id : found) {
        if (const auto old = oldRows.find(id); old != oldRows.end()) {
            keptOldRows.push_back(old->second);
            keptIDs.push_back(id);
        }
    }
    std::unordered_set<qint64> staying;
    for (const size_t i : longestIncreasing(keptOldRows))
        staying.insert(keptIDs[i]);

    const auto recordFor = [&](qint64 id) {
        const auto known = touched.find(id);
        return known != touched.end() ? known->second
                                      : std::static_pointer_cast<Recording>(
                                            context_.objectWithID(Recording::entityName(), id));
    };
    QList<Change> deletes, inserts, moves, updates;
    for (int row = int(rows_.size()) - 1; row >= 0; --row) {
        const qint64 id = rows_[row].rowID;
        if (!newRows.count(id)) {
            const auto known = touched.find(id);
            deletes.append(
                {Change::Delete, row, -1, known != touched.end() ? known->second : nullptr});
        }
    }
    for (int row = 0; row < found.size(); ++row) {
        const qint64 id = found[row];
        const auto old = oldRows.find(id);
        if (old == oldRows.end())
            inserts.append({Change::Insert, -1, row, recordFor(id)});
        else if (!staying.count(id))
            moves.append({Change::Move, old->second, row, recordFor(id)});
        else if (touched.count(id))
            updates.append({Change::Update, old->second, row, touched.at(id)});
    }
    rows_.clear();
    for (const qint64 id : found)
        rows_.push_back({id, 0});
    announce(deletes + inserts + moves + updates);
}

void RecordingsQuery::announce(const QList<Change> &batch)
{
    if (batch.isEmpty())
        return;
    // Drop deleted records from the recent set so they are not kept alive by the list.
    std::erase_if(recent_, [](const auto &r) { return r->isDeleted(); });
    emit willChangeContent();
    emit didChangeObjects(batch);
    emit didChangeContent();
}

} // namespace murmelo
