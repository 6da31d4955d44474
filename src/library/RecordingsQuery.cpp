#include "library/RecordingsQuery.h"

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
} // namespace

RecordingsQuery::RecordingsQuery(StoreContext &context, QObject *parent)
    : QObject(parent), m_context(context)
{
    connect(&context, &StoreContext::didSave, this, &RecordingsQuery::contextDidSave);
}

bool RecordingsQuery::performFetch(StoreError *error)
{
    StoreError failure;
    m_rows =
        m_context.fetchSortKeys(Recording::entityName(), QStringLiteral("date"), false, &failure);
    m_recent.clear();
    if (error)
        *error = failure;
    return !failure;
}

std::shared_ptr<Recording> RecordingsQuery::recordingAt(int row)
{
    if (row < 0 || row >= count())
        return nullptr;
    auto object = m_context.objectWithID(Recording::entityName(), m_rows[row].rowID);
    auto recording = std::static_pointer_cast<Recording>(object);
    if (recording) {
        std::erase(m_recent, recording);
        m_recent.push_front(recording);
        if (m_recent.size() > kRecentRecords)
            m_recent.pop_back();
    }
    return recording;
}

int RecordingsQuery::rowOf(const Recording &recording) const
{
    const StoreKeyRow probe{recording.rowID(), sortKey(recording)};
    const auto found =
        std::lower_bound(m_rows.begin(), m_rows.end(), probe,
                         [this](const auto &a, const auto &b) { return before(a, b); });
    if (found != m_rows.end() && found->rowID == probe.rowID)
        return int(found - m_rows.begin());
    // The date may have changed since the list was last ordered.
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].rowID == probe.rowID)
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

    // Old rows of the touched records; a record whose date changed leaves and re-enters.
    std::unordered_map<qint64, int> oldRows;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const auto found = touched.find(m_rows[i].rowID);
        if (found == touched.end())
            continue;
        oldRows[m_rows[i].rowID] = int(i);
        if (!removed.count(m_rows[i].rowID) && !found->second->isDeleted() &&
            sortKey(*found->second) != m_rows[i].key) {
            removed.insert(m_rows[i].rowID);
            added.push_back({m_rows[i].rowID, sortKey(*found->second)});
        }
    }

    std::vector<StoreKeyRow> rows;
    rows.reserve(m_rows.size() + added.size());
    for (const auto &row : m_rows) {
        if (!removed.count(row.rowID))
            rows.push_back(row);
    }
    const auto order = [this](const auto &a, const auto &b) { return before(a, b); };
    std::sort(added.begin(), added.end(), order);
    std::vector<StoreKeyRow> merged;
    merged.reserve(rows.size() + added.size());
    std::merge(rows.begin(), rows.end(), added.begin(), added.end(), std::back_inserter(merged),
               order);
    m_rows = std::move(merged);

    std::unordered_map<qint64, int> newRows;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (touched.count(m_rows[i].rowID))
            newRows[m_rows[i].rowID] = int(i);
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
    const QList<Change> batch = deletes + inserts + moves + updates;
    if (batch.isEmpty())
        return;
    // Drop deleted records from the recent set so they are not kept alive by the list.
    std::erase_if(m_recent, [](const auto &r) { return r->isDeleted(); });
    emit willChangeContent();
    emit didChangeObjects(batch);
    emit didChangeContent();
}

} // namespace murmelo
