// The forward words kept with phrase markers: a library of the version before keeps every row,
// words survive a reopening, and a marker that moves loses the words said elsewhere.
#include "StoreFixture.h"
#include "library/MarkerWordsStore.h"
#include "library/PhraseMarkerStore.h"
#include "library/StoreSchema.h"

#include <sqlite3.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class MarkerWords : public StoreFixture {
protected:
    qint64 saveRecording(StoreContext &context)
    {
        auto recording = Recording::insertInManagedObjectContext(context);
        recording->setName(QStringLiteral("words"));
        EXPECT_TRUE(context.save());
        return recording->rowID();
    }
};

const QList<SpokenWord> kWords{{QStringLiteral("the"), 1.03, 1.14},
                               {QStringLiteral("quick"), 1.14, 1.4665}};

TEST_F(MarkerWords, AnOlderLibraryKeepsItsMarkersAndGainsRoomForWords)
{
    qint64 recording = 0;
    {
        auto context = openContext();
        recording = saveRecording(*context);
        PhraseMarkerStore(*context).replaceMarkers(
            recording,
            {{0, {10, 20}, QStringLiteral("one")}, {0, {30, 40}, QStringLiteral("two")}});
    }
    // Back to the file as the version before wrote it.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(storePath.toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "ALTER TABLE marker DROP COLUMN forwardWords; PRAGMA user_version = 6;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    auto context = openContext();
    EXPECT_EQ(context->database().scalar(QStringLiteral("PRAGMA user_version")).toInt(), 7);
    const QList<PhraseMarker> markers = PhraseMarkerStore(*context).markers(recording);
    ASSERT_EQ(markers.size(), 2);
    EXPECT_EQ(markers[1].text, QStringLiteral("two"));
    MarkerWordsStore words(*context);
    EXPECT_TRUE(words.words(recording).isEmpty()) << "none recognised yet";
    ASSERT_TRUE(words.setWords(markers[0].id, markers[0].frames, kWords));
    EXPECT_TRUE(words.setWords(markers[1].id, markers[1].frames, {})) << "heard nothing";

    auto reopened = openContext();
    const auto stored = MarkerWordsStore(*reopened).words(recording);
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored.value(markers[0].id),
              (QList<SpokenWord>{{QStringLiteral("the"), 1.03, 1.14},
                                 {QStringLiteral("quick"), 1.14, 1.467}}));
    EXPECT_TRUE(stored.value(markers[1].id).isEmpty());
    // A search finds the marker by its heard text as before.
    EXPECT_EQ(reopened->database()
                  .scalar(QStringLiteral("SELECT count(*) FROM recording_search WHERE "
                                         "recording_search MATCH 'two'"))
                  .toInt(),
              1);
}

TEST_F(MarkerWords, AMovedMarkerLosesItsWordsAndStaleOnesAreNotWritten)
{
    auto context = openContext();
    const qint64 recording = saveRecording(*context);
    PhraseMarkerStore markers(*context);
    const auto added = markers.addMarker(recording, {0, {100, 200}, QStringLiteral("heard")});
    ASSERT_TRUE(added);
    MarkerWordsStore words(*context);
    ASSERT_TRUE(words.setWords(added->id, added->frames, kWords));

    // A new text keeps them: the stretch is the same.
    PhraseMarker edited = *added;
    edited.text = QStringLiteral("heard better");
    ASSERT_TRUE(markers.updateMarker(edited));
    EXPECT_EQ(words.words(recording).size(), 1);
    // A new stretch drops them, and words for the old stretch are refused.
    edited.frames = {120, 200};
    ASSERT_TRUE(markers.updateMarker(edited));
    EXPECT_TRUE(words.words(recording).isEmpty());
    StoreError error;
    EXPECT_FALSE(words.setWords(added->id, added->frames, kWords, &error));
    EXPECT_EQ(error.code, StoreError::BadRequest);
    EXPECT_TRUE(words.words(recording).isEmpty());

    // Text in the column that is not a list of words reads as not recognised.
    for (const char *bad : {"", "{}", "[[\"a\", 1]]", "[[1, 2, 3]]", "not json"})
        EXPECT_FALSE(MarkerWordsStore::decode(bad)) << bad;
    EXPECT_EQ(MarkerWordsStore::decode(MarkerWordsStore::encode(kWords))->size(), 2);
}

} // namespace
