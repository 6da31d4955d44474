#include "StoreFixture.h"
#include "platform/StandardPaths.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <sqlite3.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {
using StoreFileTest = StoreFixture;

void runSql(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    char *message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << message;
    sqlite3_free(message);
    sqlite3_close(db);
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST_F(StoreFileTest, VersionOneFileIsMigratedWithItsRecords)
{
    // The first release had no import flag and no playing mark.
    runSql(storePath, "CREATE TABLE recording (id INTEGER PRIMARY KEY, name TEXT, message TEXT,"
                      " date INTEGER, audioPath TEXT, reverseAudioPath TEXT, speed REAL,"
                      " waveformImageData BLOB);"
                      "INSERT INTO recording (name, message, date, speed)"
                      " VALUES ('Reversal 1', 'hello', 1700000000000, 1.5);"
                      "PRAGMA user_version = 1;");
    auto context = openContext();
    const auto all = context->fetchObjects(Recording::entityName());
    ASSERT_EQ(all.size(), 1u);
    auto recording = std::static_pointer_cast<Recording>(all[0]);
    EXPECT_EQ(recording->name(), QStringLiteral("Reversal 1"));
    EXPECT_EQ(recording->message(), QStringLiteral("hello"));
    EXPECT_EQ(recording->date().toMSecsSinceEpoch(), 1700000000000);
    EXPECT_FLOAT_EQ(recording->speedValue(), 1.5f);
    EXPECT_FALSE(recording->isImportedValue());
    recording->setIsImportedValue(true);
    recording->setPlayingValue(true);
    EXPECT_TRUE(context->save());

    recording.reset();
    context.reset();
    sqlite3 *db = nullptr;
    sqlite3_open(storePath.toUtf8().constData(), &db);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT isImported, playing, (SELECT user_version FROM pragma_user_version)"
                       " FROM recording",
                       -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 1);
    EXPECT_EQ(sqlite3_column_int(stmt, 1), 1);
    EXPECT_EQ(sqlite3_column_int(stmt, 2), 2);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

TEST_F(StoreFileTest, NewerForeignAndDamagedFilesAreReportedAndLeftUntouched)
{
    const auto refuses = [&](StoreError::Code expected) {
        const QByteArray before = contents(storePath);
        StoreContext context;
        EXPECT_FALSE(context.open(storePath));
        EXPECT_EQ(context.openError().code, expected);
        EXPECT_FALSE(context.openError().description.isEmpty());
        // Without a store, saving reports the reason instead of pretending.
        auto recording = Recording::insertInManagedObjectContext(context);
        recording->setName(QStringLiteral("unsaved"));
        StoreError error;
        EXPECT_FALSE(context.save(&error));
        EXPECT_EQ(error.code, StoreError::NoStore);
        EXPECT_EQ(contents(storePath), before) << "file changed";
        EXPECT_FALSE(QFileInfo::exists(storePath + QStringLiteral("-wal")));
    };

    runSql(storePath, "CREATE TABLE recording (id INTEGER PRIMARY KEY, name TEXT, future BLOB);"
                      "INSERT INTO recording (name) VALUES ('from the future');"
                      "PRAGMA user_version = 7;");
    refuses(StoreError::NewerVersion);

    QFile::remove(storePath);
    runSql(storePath, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('mine');");
    refuses(StoreError::ForeignFile);

    QByteArray noise(64 * 1024, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    writeBytes(storePath, noise);
    refuses(StoreError::Corrupt);

    // A real library cut short, as a failing disk or an interrupted copy leaves it.
    QFile::remove(storePath);
    {
        auto context = openContext();
        for (int i = 0; i < 300; ++i) {
            auto recording = Recording::insertInManagedObjectContext(*context);
            recording->setMessage(QString(200, QLatin1Char('a' + i % 26)));
            recording->setWaveformImageData(QByteArray(1000, char(i)));
        }
        ASSERT_TRUE(context->save());
    }
    const QByteArray whole = contents(storePath);
    ASSERT_GT(whole.size(), 100 * 1024);
    writeBytes(storePath, whole.left(whole.size() / 2));
    refuses(StoreError::Corrupt);
}

TEST_F(StoreFileTest, FailedCopyKeepsTheTemporaryFileAndRetriesAtTheNextSave)
{
    auto context = openContext();
    // Running as root defeats permissions, so the support folder is made unusable by putting a
    // plain file where it should be.
    const QString support = StandardPaths::applicationSupportDirectory();
    const QString aside = support + QStringLiteral(".aside");
    ASSERT_TRUE(QDir().rename(support, aside));
    writeBytes(support, "not a folder");

    auto recording = Recording::insertInManagedObjectContext(*context);
    const QString forward = temporaryFile(1234);
    const QString reverse = temporaryFile(4321);
    recording->setAudioPath(forward, reverse);
    EXPECT_EQ(recording->currentAudioPath(), forward);
    EXPECT_EQ(recording->reverseAudioPath(), reverse);
    EXPECT_TRUE(context->save()) << "the record is kept, naming its temporary files";
    EXPECT_EQ(recording->currentAudioPath(), forward);
    EXPECT_EQ(contents(forward), patternBytes(1234));
    EXPECT_TRUE(context->save());
    EXPECT_EQ(contents(reverse), patternBytes(4321));

    QFile::remove(support);
    ASSERT_TRUE(QDir().rename(aside, support));
    EXPECT_TRUE(context->save());
    EXPECT_TRUE(recording->currentAudioPath().startsWith(support));
    EXPECT_TRUE(recording->reverseAudioPath().startsWith(support));
    EXPECT_EQ(contents(recording->currentAudioPath()), patternBytes(1234));
    EXPECT_EQ(contents(recording->reverseAudioPath()), patternBytes(4321));
    EXPECT_FALSE(QFileInfo::exists(forward));

    // The adopted paths reached the file, not only memory.
    const QUrl uri = recording->objectURI();
    const QString adopted = recording->currentAudioPath();
    recording.reset();
    context.reset();
    auto reopened = openContext();
    auto loaded = std::static_pointer_cast<Recording>(reopened->objectAtURI(uri));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->currentAudioPath(), adopted);
}

TEST_F(StoreFileTest, RecordSavedWithTemporaryPathsIsAdoptedAfterReopening)
{
    const QString forward = temporaryFile(77);
    {
        auto context = openContext();
        auto recording = Recording::insertInManagedObjectContext(*context);
        recording->setName(QStringLiteral("left behind"));
        ASSERT_TRUE(context->save());
    }
    // As a build whose adoption failed before quitting leaves it.
    runSql(storePath, QStringLiteral("UPDATE recording SET audioPath = '%1'")
                          .arg(QString(forward).replace(QLatin1String("'"), QLatin1String("''")))
                          .toUtf8()
                          .constData());
    auto context = openContext();
    Recording::recoverFiles(*context);
    auto recording =
        std::static_pointer_cast<Recording>(context->fetchObjects(Recording::entityName())[0]);
    EXPECT_TRUE(
        recording->currentAudioPath().startsWith(StandardPaths::applicationSupportDirectory()));
    EXPECT_EQ(contents(recording->currentAudioPath()), patternBytes(77));
    EXPECT_FALSE(QFileInfo::exists(forward));
}

TEST_F(StoreFileTest, FailedSaveIsReportedKeepsChangesAndLosesNoFile)
{
    auto context = openContext();
    auto recording = Recording::insertInManagedObjectContext(*context);
    recording->setAudioPath(temporaryFile(100), temporaryFile(200));
    ASSERT_TRUE(context->save());
    const QString oldForward = recording->currentAudioPath();

    // Another writer holding the file makes this save fail after the busy wait.
    sqlite3 *other = nullptr;
    sqlite3_open(storePath.toUtf8().constData(), &other);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    recording->setAudioPath(temporaryFile(300), recording->reverseAudioPath());
    auto second = Recording::insertInManagedObjectContext(*context);
    StoreError error;
    EXPECT_FALSE(context->save(&error));
    EXPECT_EQ(error.code, StoreError::WriteFailed);
    EXPECT_TRUE(context->hasChanges());
    EXPECT_EQ(contents(oldForward), patternBytes(100)) << "still named by the saved record";
    EXPECT_EQ(contents(recording->currentAudioPath()), patternBytes(300));
    EXPECT_EQ(second->rowID(), 0);

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(context->save());
    EXPECT_FALSE(QFileInfo::exists(oldForward));
    EXPECT_NE(second->rowID(), 0);
    EXPECT_EQ(context->fetchObjects(Recording::entityName()).size(), 2u);
}

} // namespace
