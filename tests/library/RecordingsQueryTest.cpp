#include "library/RecordingsQuery.h"
#include "StoreFixture.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

class RecordingsQueryTest : public StoreFixture {
protected:
    std::shared_ptr<Recording> add(int seconds, const QString &name)
    {
        auto recording = Recording::insertInManagedObjectContext(*context);
        recording->setDate(QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()));
        recording->setName(name);
        return recording;
    }

    QStringList names(RecordingsQuery &query)
    {
        QStringList list;
        for (int i = 0; i < query.count(); ++i)
            list << query.recordingAt(i)->name();
        return list;
    }

    // Applies a batch the way a list model would: removals by old row, then insertions by new
    // row; then checks updates point at the right rows.
    static QStringList applied(QStringList old, const QList<RecordingsQuery::Change> &batch)
    {
        QList<std::pair<int, QString>> removals, insertions;
        for (const auto &change : batch) {
            if (change.type == RecordingsQuery::Change::Delete ||
                change.type == RecordingsQuery::Change::Move)
                removals.append({change.oldRow, QString()});
            if (change.type == RecordingsQuery::Change::Insert ||
                change.type == RecordingsQuery::Change::Move)
                insertions.append({change.newRow, change.recording->name()});
        }
        std::sort(removals.begin(), removals.end(), std::greater<>());
        for (const auto &[row, unused] : removals)
            old.removeAt(row);
        std::sort(insertions.begin(), insertions.end());
        for (const auto &[row, name] : insertions)
            old.insert(row, name);
        return old;
    }

    void SetUp() override
    {
        StoreFixture::SetUp();
        context = openContext();
    }

    std::unique_ptr<StoreContext> context;
};

TEST_F(RecordingsQueryTest, ReportsInsertsDeletesMovesAndUpdatesAfterEachSave)
{
    auto a = add(100, "a");
    auto b = add(200, "b");
    auto c = add(300, "c");
    auto d = add(400, "d");
    ASSERT_TRUE(context->save());

    RecordingsQuery query(*context);
    ASSERT_TRUE(query.performFetch());
    EXPECT_EQ(names(query), (QStringList{"d", "c", "b", "a"}));

    QList<QList<RecordingsQuery::Change>> batches;
    int started = 0, finished = 0;
    QObject::connect(&query, &RecordingsQuery::willChangeContent, [&] { ++started; });
    QObject::connect(&query, &RecordingsQuery::didChangeObjects,
                     [&](const auto &changes) { batches.append(changes); });
    QObject::connect(&query, &RecordingsQuery::didChangeContent, [&] { ++finished; });

    // Insert in the middle.
    add(250, "e");
    QStringList shown = names(query);
    ASSERT_TRUE(context->save());
    ASSERT_EQ(batches.size(), 1);
    ASSERT_EQ(batches[0].size(), 1);
    EXPECT_EQ(batches[0][0].type, RecordingsQuery::Change::Insert);
    EXPECT_EQ(batches[0][0].newRow, 2);
    EXPECT_EQ(applied(shown, batches[0]), names(query));
    EXPECT_EQ(names(query), (QStringList{"d", "c", "e", "b", "a"}));

    // Update in place.
    shown = names(query);
    c->setMessage(QStringLiteral("heard it"));
    ASSERT_TRUE(context->save());
    ASSERT_EQ(batches.size(), 2);
    ASSERT_EQ(batches[1].size(), 1);
    EXPECT_EQ(batches[1][0].type, RecordingsQuery::Change::Update);
    EXPECT_EQ(batches[1][0].oldRow, 1);
    EXPECT_EQ(batches[1][0].newRow, 1);

    // Everything in one save: delete d, move a to the top, update b, insert f at the bottom.
    shown = names(query);
    d->deleteObject();
    a->setDate(QDateTime::fromSecsSinceEpoch(500, QTimeZone::utc()));
    b->setName(QStringLiteral("B"));
    add(50, "f");
    ASSERT_TRUE(context->save());
    ASSERT_EQ(batches.size(), 3);
    const auto &batch = batches[2];
    ASSERT_EQ(batch.size(), 4);
    EXPECT_EQ(batch[0].type, RecordingsQuery::Change::Delete);
    EXPECT_EQ(batch[0].oldRow, 0);
    EXPECT_EQ(batch[1].type, RecordingsQuery::Change::Insert);
    EXPECT_EQ(batch[1].newRow, 4);
    EXPECT_EQ(batch[2].type, RecordingsQuery::Change::Move);
    EXPECT_EQ(batch[2].oldRow, 4);
    EXPECT_EQ(batch[2].newRow, 0);
    EXPECT_EQ(batch[3].type, RecordingsQuery::Change::Update);
    EXPECT_EQ(batch[3].oldRow, 3);
    EXPECT_EQ(batch[3].newRow, 3);
    shown = applied(shown, batch);
    shown[batch[3].newRow] = batch[3].recording->name();
    EXPECT_EQ(shown, names(query));
    EXPECT_EQ(names(query), (QStringList{"a", "c", "e", "B", "f"}));

    // The in-memory list agrees with a fresh read of the file.
    RecordingsQuery fresh(*context);
    ASSERT_TRUE(fresh.performFetch());
    EXPECT_EQ(names(fresh), names(query));
    EXPECT_EQ(query.rowOf(*c), 1);

    // A save that touches nothing listed says nothing.
    a->setPrimitivePlayingValue(true);
    ASSERT_TRUE(context->save());
    EXPECT_EQ(batches.size(), 3);
    EXPECT_EQ(started, 3);
    EXPECT_EQ(finished, 3);
}

TEST_F(RecordingsQueryTest, LoadsRecordsOnlyWhenAskedAndKeepsFewAlive)
{
    for (int i = 0; i < 500; ++i)
        add(i, QString::number(i));
    ASSERT_TRUE(context->save());

    RecordingsQuery query(*context);
    ASSERT_TRUE(query.performFetch());
    ASSERT_EQ(query.count(), 500);
    std::weak_ptr<Recording> first = query.recordingAt(0);
    for (int i = 1; i < 200; ++i)
        EXPECT_EQ(query.recordingAt(i)->name(), QString::number(499 - i));
    EXPECT_TRUE(first.expired()) << "rows scrolled away are not kept";
    EXPECT_FALSE(query.recordingAt(500));
    EXPECT_EQ(query.recordingAt(0)->name(), QStringLiteral("499"));
}

} // namespace

TEST_F(RecordingsQueryTest, SearchedListFollowsSavesInOneBatchTheWayAModelAppliesIt)
{
    auto owlTitle = add(100, "Owl at night");
    auto owlMessage = add(200, "Take 2");
    owlMessage->setMessage(QStringLiteral("an owl, maybe"));
    auto other = add(300, "Blackbird");
    auto gone = add(400, "Owlet");
    ASSERT_TRUE(context->save());

    RecordingsQuery query(*context);
    ASSERT_TRUE(query.setSearchText(QStringLiteral("owl")));
    // Best first: titles before messages.
    EXPECT_EQ(names(query), (QStringList{"Owlet", "Owl at night", "Take 2"}));
    EXPECT_EQ(query.rowOf(*owlMessage), 2);
    EXPECT_EQ(query.rowOf(*other), -1);

    QList<QList<RecordingsQuery::Change>> batches;
    QObject::connect(&query, &RecordingsQuery::didChangeObjects,
                     [&](const auto &changes) { batches.append(changes); });
    const auto expectInStep = [&](const QStringList &shown) {
        ASSERT_FALSE(batches.isEmpty());
        QStringList after = applied(shown, batches.last());
        for (const auto &change : batches.last()) {
            if (change.type == RecordingsQuery::Change::Update)
                after[change.newRow] = change.recording->name();
        }
        EXPECT_EQ(after, names(query));
        RecordingsQuery fresh(*context);
        ASSERT_TRUE(fresh.setSearchText(query.searchText()));
        EXPECT_EQ(names(fresh), names(query));
    };

    // One save: a match is deleted, a new one arrives, one stops matching, one starts, and the
    // message match gains the word in its title and climbs above the others.
    QStringList shown = names(query);
    gone->deleteObject();
    add(50, "Owl again");
    owlTitle->setName(QStringLiteral("Nightjar"));
    other->setMessage(QStringLiteral("owl in the distance"));
    owlMessage->setName(QStringLiteral("Owl owl"));
    ASSERT_TRUE(context->save());
    ASSERT_EQ(batches.size(), 1);
    expectInStep(shown);
    EXPECT_EQ(names(query).first(), QStringLiteral("Owl owl"));
    EXPECT_TRUE(names(query).contains(QStringLiteral("Owl again")));
    EXPECT_TRUE(names(query).contains(QStringLiteral("Blackbird")));
    EXPECT_FALSE(names(query).contains(QStringLiteral("Nightjar")));

    // A save that changes a match in place is an update at its row.
    shown = names(query);
    const int row = query.rowOf(*other);
    other->setDate(QDateTime::fromSecsSinceEpoch(301, QTimeZone::utc()));
    ASSERT_TRUE(context->save());
    ASSERT_EQ(batches.size(), 2);
    ASSERT_EQ(batches[1].size(), 1);
    EXPECT_EQ(batches[1][0].type, RecordingsQuery::Change::Update);
    EXPECT_EQ(batches[1][0].newRow, row);

    // Words cleared: every record again, newest first, following saves as before.
    ASSERT_TRUE(query.setSearchText(QStringLiteral("  ")));
    EXPECT_EQ(names(query), (QStringList{"Blackbird", "Owl owl", "Nightjar", "Owl again"}));
    shown = names(query);
    add(250, "Wren");
    ASSERT_TRUE(context->save());
    expectInStep(shown);
    EXPECT_EQ(names(query), (QStringList{"Blackbird", "Wren", "Owl owl", "Nightjar", "Owl again"}));
}
