#include "library/RecordingSearch.h"
#include "StoreFixture.h"
#include "library/PhraseMarkerStore.h"

#include <sqlite3.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class RecordingSearchTest : public StoreFixture {
protected:
    std::shared_ptr<Recording> add(const QString &name, const QString &message, int minute)
    {
        auto recording = Recording::insertInManagedObjectContext(*context);
        recording->setName(name);
        recording->setMessage(message);
        recording->setDate(QDateTime(QDate(2025, 1, 1), QTime(9, minute), QTimeZone::utc()));
        EXPECT_TRUE(context->save());
        return recording;
    }
    QList<qint64> find(const QString &text)
    {
        StoreError error;
        const auto ids = RecordingSearch(*context).search(text, &error);
        EXPECT_FALSE(error) << error.description.toStdString();
        return ids;
    }
    // Leaves one record ("Old take", "élan", a marker "vital") in a store file that `downgrade`
    // then turns into an older version's file, and closes it.
    void storeOlderLibrary(const char *downgrade)
    {
        context = openContext();
        auto recording = add(QStringLiteral("Old take"), QStringLiteral("élan"), 1);
        ASSERT_TRUE(PhraseMarkerStore(*context).addMarker(recording->rowID(),
                                                          {0, {0, 1}, QStringLiteral("vital")}));
        context.reset();
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(storePath.toUtf8().constData(), &db), SQLITE_OK);
        // Markers kept no forward words before either version.
        EXPECT_EQ(sqlite3_exec(db, "ALTER TABLE marker DROP COLUMN forwardWords", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, downgrade, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }

    std::unique_ptr<StoreContext> context = nullptr;
};

TEST_F(RecordingSearchTest, FindsByPrefixOfTitleMessageAndMarkerWithAccentsFoldedBestFirst)
{
    context = openContext();
    const auto inMarker = add(QStringLiteral("Take 1"), QStringLiteral("nothing"), 1);
    const auto inMessage = add(QStringLiteral("Take 2"), QStringLiteral("sounds like Satan"), 2);
    const auto inTitle = add(QStringLiteral("Satellite café"), QString(), 3);
    const auto other = add(QStringLiteral("Take 3"), QStringLiteral("CAFE NOIR"), 4);
    ASSERT_TRUE(PhraseMarkerStore(*context).addMarker(
        inMarker->rowID(), {0, {0, 10}, QStringLiteral("sat on the Grüße")}));

    // A title outweighs a message, a message a marker.
    EXPECT_EQ(find(QStringLiteral("sat")),
              (QList<qint64>{inTitle->rowID(), inMessage->rowID(), inMarker->rowID()}));
    // Accents and case fold either way; every word must match.
    EXPECT_EQ(find(QStringLiteral("Café")), (QList<qint64>{inTitle->rowID(), other->rowID()}));
    EXPECT_EQ(find(QStringLiteral("cafe sat")), QList<qint64>{inTitle->rowID()});
    EXPECT_EQ(find(QStringLiteral("grusse")).size(), 0) << "ß is a letter of its own";
    EXPECT_EQ(find(QStringLiteral("GRU")), QList<qint64>{inMarker->rowID()});
    EXPECT_TRUE(find(QStringLiteral("atan")).isEmpty()) << "words match from their start";
    // A single letter ranks as a word does: the title's "café" before the newer message's "CAFE".
    EXPECT_EQ(find(QStringLiteral("C")), (QList<qint64>{inTitle->rowID(), other->rowID()}));
    EXPECT_EQ(find(QStringLiteral("s")),
              (QList<qint64>{inTitle->rowID(), inMessage->rowID(), inMarker->rowID()}));
    EXPECT_EQ(find(QStringLiteral("c s")), QList<qint64>{inTitle->rowID()});
    EXPECT_EQ(find(QStringLiteral("ca")), (QList<qint64>{inTitle->rowID(), other->rowID()}));
    // No words: everything, newest first.
    EXPECT_EQ(find(QStringLiteral("  ")), (QList<qint64>{other->rowID(), inTitle->rowID(),
                                                         inMessage->rowID(), inMarker->rowID()}));
}

TEST_F(RecordingSearchTest, EachWordCountsForTheWeightiestPlaceItIsFoundThenTheNewest)
{
    context = openContext();
    const auto inMarker = add(QStringLiteral("Take 1"), QString(), 1);
    const auto bothInTitle = add(QStringLiteral("Hidden message"), QString(), 2);
    const auto titleAndMessage = add(QStringLiteral("Hidden"), QStringLiteral("a message"), 3);
    const auto bothInMessage = add(QStringLiteral("Take 4"), QStringLiteral("hidden message"), 4);
    const auto alsoBothInMessage =
        add(QStringLiteral("Take 5"), QStringLiteral("message hidden message"), 5);
    ASSERT_TRUE(PhraseMarkerStore(*context).addMarker(
        inMarker->rowID(), {0, {0, 10}, QStringLiteral("hidden message here")}));

    EXPECT_EQ(
        find(QStringLiteral("hid mess")),
        (QList<qint64>{bothInTitle->rowID(), titleAndMessage->rowID(), alsoBothInMessage->rowID(),
                       bothInMessage->rowID(), inMarker->rowID()}));
}

TEST_F(RecordingSearchTest, QuerySyntaxTypedByTheUserIsJustWords)
{
    context = openContext();
    const auto recording = add(QStringLiteral("OR NEAR"), QStringLiteral("say \"hi\""), 1);
    for (const QString &typed :
         {QStringLiteral("\"hi"), QStringLiteral("hi\" OR \""), QStringLiteral("NEAR("),
          QStringLiteral("*"), QStringLiteral("name:hi"), QStringLiteral("-hi ^say"),
          QStringLiteral("or")}) {
        StoreError error;
        RecordingSearch(*context).search(typed, &error);
        EXPECT_FALSE(error) << typed.toStdString() << ": " << error.description.toStdString();
    }
    EXPECT_EQ(find(QStringLiteral("\"hi")), QList<qint64>{recording->rowID()});
    EXPECT_EQ(find(QStringLiteral("near(")), QList<qint64>{recording->rowID()});
}

TEST_F(RecordingSearchTest, IndexFollowsRenamesMarkersAndDeletions)
{
    context = openContext();
    auto recording = add(QStringLiteral("first"), QString(), 1);
    PhraseMarkerStore markers(*context);
    recording->setName(QStringLiteral("renamed"));
    ASSERT_TRUE(context->save());
    EXPECT_TRUE(find(QStringLiteral("first")).isEmpty());
    EXPECT_EQ(find(QStringLiteral("renamed")).size(), 1);

    const auto marker = markers.addMarker(recording->rowID(), {0, {0, 1}, QStringLiteral("owl")});
    ASSERT_TRUE(marker);
    EXPECT_EQ(find(QStringLiteral("owl")).size(), 1);
    ASSERT_TRUE(markers.updateMarker({marker->id, {0, 1}, QStringLiteral("eagle")}));
    EXPECT_TRUE(find(QStringLiteral("owl")).isEmpty());
    ASSERT_TRUE(markers.replaceMarkers(recording->rowID(), {{0, {0, 1}, QStringLiteral("hawk")}}));
    EXPECT_TRUE(find(QStringLiteral("eagle")).isEmpty());
    EXPECT_EQ(find(QStringLiteral("hawk")).size(), 1);

    recording->deleteObject();
    ASSERT_TRUE(context->save());
    EXPECT_TRUE(find(QStringLiteral("hawk")).isEmpty());
    EXPECT_TRUE(find(QStringLiteral("renamed")).isEmpty());
}

TEST_F(RecordingSearchTest, LibraryOfThePreviousVersionIsIndexedWhenOpened)
{
    // A version-4 library: records and markers, no index yet.
    storeOlderLibrary("DROP TRIGGER recording_search_insert;"
                      "DROP TRIGGER recording_search_update;"
                      "DROP TRIGGER recording_search_delete;"
                      "DROP TRIGGER marker_search_insert;"
                      "DROP TRIGGER marker_search_update;"
                      "DROP TRIGGER marker_search_delete;"
                      "DROP TABLE recording_search; PRAGMA user_version = 4;");
    context = openContext();
    EXPECT_EQ(find(QStringLiteral("elan vit")).size(), 1);
    EXPECT_EQ(find(QStringLiteral("old")).size(), 1);
}

TEST_F(RecordingSearchTest, IndexOfTheVersionBeforeGetsItsFirstLetterTablesAndKeepsFollowing)
{
    // A version-5 library: the same index without the first-letter tables.
    storeOlderLibrary("DROP TABLE recording_search;"
                      "CREATE VIRTUAL TABLE recording_search USING fts5(name, message,"
                      " markers, tokenize = 'unicode61 remove_diacritics 2');"
                      "INSERT INTO recording_search (rowid, name, message, markers)"
                      " VALUES (1, 'Old take', 'élan', 'vital');"
                      "PRAGMA user_version = 5;");
    context = openContext();
    EXPECT_TRUE(context->database()
                    .scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name ="
                                           " 'recording_search'"))
                    .toString()
                    .contains(QStringLiteral("prefix")));
    const auto newer = add(QStringLiteral("Echo"), QStringLiteral("oak"), 2);
    EXPECT_EQ(find(QStringLiteral("e")), (QList<qint64>{newer->rowID(), 1}));
    EXPECT_EQ(find(QStringLiteral("v")), QList<qint64>{1});
    EXPECT_EQ(find(QStringLiteral("o")), (QList<qint64>{1, newer->rowID()}))
        << "the older title outweighs the newer message";
}

} // namespace
