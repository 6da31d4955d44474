#include "library/PhraseMarker.h"
#include "StoreFixture.h"
#include "library/PhraseMarkerStore.h"
#include "library/RecordingSearch.h"

#include <QRandomGenerator>
#include <sqlite3.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

PhraseMarker marker(qint64 start, qint64 end, const QString &text = {})
{
    return {0, {start, end}, text};
}

QList<FrameRange> stretches(const QList<PhraseMarker> &markers)
{
    QList<FrameRange> result;
    for (const auto &m : markers)
        result << m.frames;
    return result;
}

TEST(PhraseMarkerTest, ForwardTwinIsTheMirroredStretchAndMirroringTwiceGivesItBack)
{
    // The first ten frames of the reversal are the last ten of the forward file.
    EXPECT_EQ(forwardTwin(marker(0, 10, QStringLiteral("a")), 100).frames, (FrameRange{90, 100}));
    EXPECT_EQ(forwardTwin(marker(0, 10, QStringLiteral("a")), 100).text, QStringLiteral("a"));
    EXPECT_EQ(mirrored({40, 40}, 100), (FrameRange{60, 60}));

    QRandomGenerator random(16);
    for (int i = 0; i < 1000; ++i) {
        // Up to two hours at 192 kHz, where a double of seconds would no longer be exact.
        const qint64 total = random.bounded(qint64(1), qint64(192000) * 7200);
        const qint64 a = random.bounded(total + 1), b = random.bounded(total + 1);
        const FrameRange range{std::min(a, b), std::max(a, b)};
        const FrameRange twin = mirrored(range, total);
        EXPECT_EQ(twin.length(), range.length());
        EXPECT_GE(twin.start, 0);
        EXPECT_LE(twin.end, total);
        ASSERT_EQ(mirrored(twin, total), range) << total;
    }
}

TEST(PhraseMarkerTest, CropKeepsMovesClipsAndDropsByWhatTheCropKeeps)
{
    const QList<PhraseMarker> markers{
        {7, {0, 50}, QStringLiteral("before")},      // wholly before the kept stretch
        {8, {80, 120}, QStringLiteral("cut start")}, // loses its first part
        {9, {150, 200}, QStringLiteral("inside")},
        {10, {250, 400}, QStringLiteral("cut end")},
        {11, {300, 300}, QStringLiteral("point at end")},
        {12, {301, 301}, QStringLiteral("point after")},
        {13, {50, 350}, QStringLiteral("spans all")},
        {14, {300, 310}, QStringLiteral("starts at end")},
    };
    const auto cropped = markersAfterCrop(markers, {100, 300});
    ASSERT_EQ(cropped.size(), 5);
    EXPECT_EQ(cropped[0], (PhraseMarker{0, {0, 20}, QStringLiteral("cut start")}));
    EXPECT_EQ(cropped[1], (PhraseMarker{0, {50, 100}, QStringLiteral("inside")}));
    EXPECT_EQ(cropped[2], (PhraseMarker{0, {150, 200}, QStringLiteral("cut end")}));
    EXPECT_EQ(cropped[3], (PhraseMarker{0, {200, 200}, QStringLiteral("point at end")}));
    EXPECT_EQ(cropped[4], (PhraseMarker{0, {0, 200}, QStringLiteral("spans all")}));

    // Keeping everything changes nothing but the ids; keeping nothing keeps no stretch.
    EXPECT_EQ(stretches(markersAfterCrop(markers, {0, 400})), stretches(markers));
    EXPECT_TRUE(markersAfterCrop({marker(10, 20)}, {20, 20}).isEmpty());
}

using PhraseMarkerStoreTest = StoreFixture;

std::shared_ptr<Recording> savedRecording(StoreContext &context, const QString &name)
{
    auto recording = Recording::insertInManagedObjectContext(context);
    recording->setName(name);
    EXPECT_TRUE(context.save());
    return recording;
}

TEST_F(PhraseMarkerStoreTest, MarkersAreKeptInOrderChangedAndRemovedWithTheirRecording)
{
    auto context = openContext();
    auto first = savedRecording(*context, QStringLiteral("first"));
    auto second = savedRecording(*context, QStringLiteral("second"));
    PhraseMarkerStore store(*context);

    const auto late = store.addMarker(first->rowID(), marker(500, 900, QStringLiteral("élan")));
    const auto early = store.addMarker(first->rowID(), marker(100, 200));
    ASSERT_TRUE(late && early);
    EXPECT_GT(late->id, 0);
    ASSERT_TRUE(store.addMarker(second->rowID(), marker(1, 2, QStringLiteral("other"))));

    auto listed = store.markers(first->rowID());
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed[0], (PhraseMarker{early->id, {100, 200}, QString()}));
    EXPECT_EQ(listed[1], *late);

    PhraseMarker changed = *late;
    changed.frames = {50, 60};
    changed.text = QStringLiteral("said it twice");
    ASSERT_TRUE(store.updateMarker(changed));
    EXPECT_EQ(store.markers(first->rowID()).first(), changed);
    ASSERT_TRUE(store.removeMarker(early->id));
    EXPECT_EQ(store.markers(first->rowID()), QList<PhraseMarker>{changed});

    // A stretch ending before it starts, a missing marker or recording: refused with a reason.
    StoreError error;
    EXPECT_FALSE(store.addMarker(first->rowID(), marker(9, 3), &error));
    EXPECT_EQ(error.code, StoreError::BadRequest);
    EXPECT_FALSE(store.updateMarker({4242, {0, 1}, {}}, &error));
    EXPECT_FALSE(store.addMarker(4242, marker(0, 1), &error));
    EXPECT_EQ(error.code, StoreError::WriteFailed);

    // The markers leave with the recording's saved deletion, and only its own.
    first->deleteObject();
    EXPECT_EQ(store.markers(first->rowID()).size(), 1) << "gone before the deletion was saved";
    ASSERT_TRUE(context->save());
    EXPECT_TRUE(store.markers(first->rowID()).isEmpty());
    EXPECT_EQ(store.markers(second->rowID()).size(), 1);
}

TEST_F(PhraseMarkerStoreTest, ReplacingIsAllOrNothing)
{
    auto context = openContext();
    auto recording = savedRecording(*context, QStringLiteral("r"));
    PhraseMarkerStore store(*context);
    ASSERT_TRUE(store.replaceMarkers(recording->rowID(),
                                     {marker(0, 10, QStringLiteral("a")), marker(20, 30)}));
    const auto before = store.markers(recording->rowID());
    ASSERT_EQ(before.size(), 2);

    StoreError error;
    EXPECT_FALSE(store.replaceMarkers(recording->rowID(), {marker(1, 2), marker(5, 4)}, &error));
    EXPECT_EQ(error.code, StoreError::BadRequest);
    EXPECT_FALSE(store.replaceMarkers(4242, {}, &error));
    EXPECT_EQ(store.markers(recording->rowID()), before);

    ASSERT_TRUE(store.replaceMarkers(recording->rowID(), {}));
    EXPECT_TRUE(store.markers(recording->rowID()).isEmpty());
}

TEST_F(PhraseMarkerStoreTest, LargeReplacementKeepsTheSearchInStepAndItsTriggersInPlace)
{
    auto context = openContext();
    auto recording = savedRecording(*context, QStringLiteral("r"));
    auto other = savedRecording(*context, QStringLiteral("o"));
    PhraseMarkerStore store(*context);
    SqliteDatabase &db = context->database();
    const QString schema = QStringLiteral("SELECT group_concat(sql, ';') FROM sqlite_master");
    const QString before = db.scalar(schema).toString();
    const auto found = [&](const char *word) {
        return RecordingSearch(*context).search(QLatin1String(word));
    };

    QList<PhraseMarker> many;
    for (int i = 0; i < 5000; ++i)
        many << marker(i * 10, i * 10 + 5, i == 4999 ? QStringLiteral("zebra") : QString());
    ASSERT_TRUE(store.replaceMarkers(recording->rowID(), many));
    EXPECT_EQ(store.markers(recording->rowID()).size(), 5000);
    EXPECT_EQ(found("zebra"), QList<qint64>{recording->rowID()});
    EXPECT_EQ(db.scalar(schema).toString(), before);

    ASSERT_TRUE(store.replaceMarkers(recording->rowID(), {marker(0, 1, QStringLiteral("yak"))}));
    EXPECT_TRUE(found("zebra").isEmpty());
    EXPECT_EQ(found("yak"), QList<qint64>{recording->rowID()});

    // A refused replacement brings every trigger back too: single edits still reach the index.
    EXPECT_FALSE(store.replaceMarkers(4242, {marker(0, 1, QStringLiteral("gnu"))}));
    EXPECT_EQ(db.scalar(schema).toString(), before);
    ASSERT_TRUE(store.addMarker(other->rowID(), marker(0, 1, QStringLiteral("wombat"))));
    EXPECT_EQ(found("wombat"), QList<qint64>{other->rowID()});
}

TEST_F(PhraseMarkerStoreTest, VersionThreeFileGainsMarkersAndKeepsItsRecords)
{
    // The library as version 3 wrote it, with its ids and sequence.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(storePath.toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE recording (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                           " name TEXT, message TEXT, date INTEGER, audioPath TEXT,"
                           " reverseAudioPath TEXT, speed REAL, isImported INTEGER,"
                           " playing INTEGER, waveformImageData BLOB);"
                           "CREATE INDEX recording_date ON recording (date);"
                           "INSERT INTO recording (id, name, message, date, speed)"
                           " VALUES (3, 'Reversal 1', 'hello', 1700000000000, 1.5);"
                           "INSERT INTO recording (id, name) VALUES (9, 'Reversal 2');"
                           "DELETE FROM recording WHERE id = 9;"
                           "PRAGMA user_version = 3;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    auto context = openContext();
    auto kept =
        std::static_pointer_cast<Recording>(context->objectWithID(Recording::entityName(), 3));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->message(), QStringLiteral("hello"));
    EXPECT_EQ(context->database().scalar(QStringLiteral("PRAGMA user_version")).toInt(),
              recordingStoreSchema().version);

    PhraseMarkerStore store(*context);
    ASSERT_TRUE(store.addMarker(3, marker(10, 20, QStringLiteral("there"))));
    auto added = savedRecording(*context, QStringLiteral("new"));
    EXPECT_EQ(added->rowID(), 10) << "ids still only go up";
    kept->deleteObject();
    ASSERT_TRUE(context->save());
    EXPECT_EQ(context->database().scalar(QStringLiteral("SELECT count(*) FROM marker")).toInt(), 0);
}

} // namespace
