#include "library/RecordingHold.h"
#include "StoreFixture.h"
#include "library/PhraseMarkerStore.h"
#include "platform/StandardPaths.h"
#include "support/StoreSnapshot.h"

#include <QSignalSpy>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class RecordingHoldTest : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        context = openContext();
        // Later versions of the file may add columns to markers and rows hanging off them; a
        // deleted recording brings those back too.
        SqliteDatabase &db = context->database();
        ASSERT_TRUE(db.exec(QStringLiteral("ALTER TABLE marker ADD COLUMN words TEXT")));
        ASSERT_TRUE(db.exec(QStringLiteral(
            "CREATE TABLE marker_word (id INTEGER PRIMARY KEY, markerId INTEGER, word TEXT)")));
        kept = saved(QStringLiteral("kept"), 0);
        held = saved(QStringLiteral("Ünter \"den\" Linden"), 3);
    }

    std::shared_ptr<Recording> saved(const QString &name, int markers)
    {
        auto recording = Recording::insertInManagedObjectContext(*context);
        recording->setName(name);
        recording->setMessage(QStringLiteral("heard\nthis"));
        recording->setDate(QDateTime::fromMSecsSinceEpoch(1700000000123, QTimeZone::utc()));
        recording->setSpeedValue(0.7f);
        recording->setWaveformImageData(QByteArray("\x89PNG\0\1", 6));
        recording->setAudioPath(temporaryFile(5000), temporaryFile(7000));
        EXPECT_TRUE(context->save());
        PhraseMarkerStore store(*context);
        for (int i = 0; i < markers; ++i) {
            const auto marker = store.addMarker(
                recording->rowID(), {0, {i * 100, i * 100 + 50}, QStringLiteral("word %1").arg(i)});
            EXPECT_TRUE(marker);
            SqliteStatement words = context->database().prepare(
                QStringLiteral("UPDATE marker SET words = 'w' || id WHERE id = ?1"));
            words.bind(1, marker->id);
            EXPECT_TRUE(words.exec());
            SqliteStatement word = context->database().prepare(
                QStringLiteral("INSERT INTO marker_word (markerId, word) VALUES (?1, 'said')"));
            word.bind(1, marker->id);
            EXPECT_TRUE(word.exec());
        }
        return recording;
    }

    StoreSnapshot snapshot() const { return librarySnapshot(storePath); }

    std::unique_ptr<StoreContext> context;
    std::shared_ptr<Recording> kept;
    std::shared_ptr<Recording> held;
};

TEST_F(RecordingHoldTest, DeleteUndoRedoLeaveRowsAndFilesExactlyAsTheyWere)
{
    const StoreSnapshot before = snapshot();
    const qint64 id = held->rowID();
    QSignalSpy saves(context.get(), &StoreContext::didSave);

    StoreError error;
    auto hold = RecordingHold::hold(*context, held, &error);
    ASSERT_TRUE(hold) << qPrintable(error.description);
    EXPECT_EQ(hold->title(), held->name());
    const StoreSnapshot deleted = snapshot();
    EXPECT_EQ(deleted.files.size(), 2) << "only the kept recording's files stay in view";
    EXPECT_EQ(context->objectWithID(Recording::entityName(), id), nullptr);
    ASSERT_EQ(saves.size(), 1);
    EXPECT_EQ(saves[0][0].value<StoreChanges>().deleted.size(), 1u);

    ASSERT_TRUE(hold->restore(*context, &error)) << qPrintable(error.description);
    EXPECT_EQ(snapshot(), before);
    // The list learns of it as of any new record.
    ASSERT_EQ(saves.size(), 2);
    const StoreChanges restored = saves[1][0].value<StoreChanges>();
    ASSERT_EQ(restored.inserted.size(), 1u);
    EXPECT_EQ(restored.inserted[0]->rowID(), id);
    EXPECT_TRUE(QDir(RecordingHold::holdingDirectory())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                    .isEmpty());

    // Deleted again (a redo), it is deleted exactly as the first time.
    auto again =
        std::static_pointer_cast<Recording>(context->objectWithID(Recording::entityName(), id));
    ASSERT_TRUE(again);
    auto secondHold = RecordingHold::hold(*context, again, &error);
    ASSERT_TRUE(secondHold);
    EXPECT_EQ(snapshot(), deleted);
}

TEST_F(RecordingHoldTest, UndoThatCannotBeAppliedSaysWhyAndChangesNothing)
{
    auto hold = RecordingHold::hold(*context, held, nullptr);
    ASSERT_TRUE(hold);
    const QStringList heldFiles =
        QDir(RecordingHold::holdingDirectory() + QStringLiteral("/%1").arg(hold->recordingID()))
            .entryList({QStringLiteral("*.wav")});
    ASSERT_EQ(heldFiles.size(), 2);
    const StoreSnapshot deleted = snapshot();
    ASSERT_TRUE(QFile::remove(RecordingHold::holdingDirectory() +
                              QStringLiteral("/%1/%2").arg(hold->recordingID()).arg(heldFiles[1])));

    EXPECT_TRUE(hold->problem(*context).contains(QLatin1String("is gone")));
    StoreError error;
    EXPECT_FALSE(hold->restore(*context, &error));
    EXPECT_TRUE(error.description.contains(QLatin1String("is gone")));
    EXPECT_EQ(snapshot(), deleted);
    EXPECT_TRUE(QFile::exists(RecordingHold::holdingDirectory() +
                              QStringLiteral("/%1/%2").arg(hold->recordingID()).arg(heldFiles[0])));
}

TEST_F(RecordingHoldTest, LettingGoOrARestartLeavesNoFileBehind)
{
    {
        auto hold = RecordingHold::hold(*context, held, nullptr);
        ASSERT_TRUE(hold);
    }
    EXPECT_TRUE(QDir(RecordingHold::holdingDirectory())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                    .isEmpty());
    EXPECT_EQ(snapshot().files.size(), 2) << "only the kept recording's files are left";

    // A hold whose process ended without letting go (its lock went with it): the next start
    // finds its record gone and removes its files.
    auto second = saved(QStringLiteral("second"), 1);
    auto hold = RecordingHold::hold(*context, second, nullptr);
    ASSERT_TRUE(hold);
    const StoreSnapshot deleted = snapshot();
    const QString folder =
        RecordingHold::holdingDirectory() + QStringLiteral("/%1").arg(second->rowID());
    const QString copy = folder + QStringLiteral(".copy");
    ASSERT_EQ(runShell(QStringLiteral("cp -a '%1' '%2'").arg(folder, copy)), 0);
    hold.reset();
    ASSERT_TRUE(QDir().rename(copy, folder));
    RecordingHold::recover(*context);
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(snapshot(), deleted);
    EXPECT_EQ(deleted.files.size(), 2);
}

TEST_F(RecordingHoldTest, RecoveryGivesFilesBackToARecordWhoseDeletionNeverCommitted)
{
    const StoreSnapshot before = snapshot();
    // As a crash between moving the files aside and the save would leave it: the record still
    // names files that wait in its hold.
    const QString folder =
        RecordingHold::holdingDirectory() + QStringLiteral("/%1").arg(held->rowID());
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile manifest(folder + QStringLiteral("/manifest"));
    ASSERT_TRUE(manifest.open(QIODevice::WriteOnly));
    manifest.write("store\t" + storePath.toUtf8() + "\nrecording\t" +
                   QByteArray::number(held->rowID()) + "\nfile\t" +
                   held->currentAudioPath().toUtf8() + '\t' + folder.toUtf8() + "/0.wav\n");
    manifest.close();
    ASSERT_TRUE(QFile::rename(held->currentAudioPath(), folder + QStringLiteral("/0.wav")));

    RecordingHold::recover(*context);
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(QFileInfo::exists(folder));
}

} // namespace
