#include "StoreFixture.h"
#include "library/StoreSchema.h"
#include "platform/StandardPaths.h"
#include "support/FileSizeLimit.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <cstring>
#include <gmock/gmock.h>
#include <sqlite3.h>
#include <sys/stat.h>

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

// Every row of a query on the raw file, each value as its storage class reads back.
QList<QVariantList> rows(const QString &path, const char *sql)
{
    QList<QVariantList> result;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QVariantList row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
                row << QVariant(qint64(sqlite3_column_int64(stmt, i)));
                break;
            case SQLITE_FLOAT:
                row << QVariant(sqlite3_column_double(stmt, i));
                break;
            case SQLITE_TEXT:
                row << QVariant(QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(stmt, i))));
                break;
            case SQLITE_BLOB:
                row << QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                                           sqlite3_column_bytes(stmt, i)));
                break;
            default:
                row << QVariant();
            }
        }
        result << row;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

QVariant single(const QString &path, const char *sql)
{
    const auto all = rows(path, sql);
    return all.isEmpty() || all[0].isEmpty() ? QVariant() : all[0][0];
}

// The record table exactly as version 2 created it: a plain rowid, so ids could come back.
constexpr const char *versionTwoTable =
    "CREATE TABLE recording (id INTEGER PRIMARY KEY, name TEXT, message TEXT, date INTEGER,"
    " audioPath TEXT, reverseAudioPath TEXT, speed REAL, isImported INTEGER, playing INTEGER,"
    " waveformImageData BLOB);"
    "CREATE INDEX recording_date ON recording (date);";

constexpr const char *allColumns =
    "SELECT id, name, message, date, audioPath, reverseAudioPath, speed, isImported, playing,"
    " waveformImageData FROM recording ORDER BY id";

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
                      "INSERT INTO recording (id, name, message, date, speed)"
                      " VALUES (4, 'Reversal 1', 'hello', 1700000000000, 1.5);"
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
    EXPECT_EQ(recording->rowID(), 4);
    recording->setIsImportedValue(true);
    recording->setPlayingValue(true);
    // Both steps ran: the columns of version 2, then ids that only go up.
    recording->deleteObject();
    auto replacement = Recording::insertInManagedObjectContext(*context);
    EXPECT_TRUE(context->save());
    EXPECT_EQ(replacement->rowID(), 5);
    replacement->setName(QStringLiteral("Reversal 1"));
    replacement->setIsImportedValue(true);
    replacement->setPlayingValue(true);
    EXPECT_TRUE(context->save());

    recording.reset();
    replacement.reset();
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
    EXPECT_EQ(sqlite3_column_int(stmt, 2), recordingStoreSchema().version);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

TEST_F(StoreFileTest, VersionTwoFileIsRebuiltKeepingEveryRowItsIdAndItsValues)
{
    // Ids with gaps, NULLs, a quote and picture bytes: the copy must not renumber or convert.
    runSql(storePath, (QByteArray(versionTwoTable) +
                       "INSERT INTO recording VALUES (2, 'Reversal 1', 'hello', 1700000000000,"
                       " '/s/f1.wav', '/s/r1.wav', 1.5, 1, 0, x'89504E470D0A1A0A');"
                       "INSERT INTO recording VALUES (3, 'Reversal 2', NULL, 1700000001000,"
                       " '/s/f2.wav', '/s/r2.wav', NULL, 0, 1, NULL);"
                       "INSERT INTO recording VALUES (7, 'Reversal 3 Cropped', 'it''s there',"
                       " 1700000002000, '/s/f3.wav', '/s/r3.wav', 0.75, NULL, NULL, x'00FF00');"
                       "PRAGMA journal_mode=WAL;"
                       "PRAGMA user_version = 2;")
                          .constData());
    const auto before = rows(storePath, allColumns);
    ASSERT_EQ(before.size(), 3);

    auto context = openContext();
    auto cropped = std::static_pointer_cast<Recording>(
        context->objectAtURI(QUrl(QStringLiteral("murmelo-store://Recording/7"))));
    ASSERT_TRUE(cropped);
    EXPECT_EQ(cropped->message(), QStringLiteral("it's there"));
    EXPECT_FLOAT_EQ(cropped->speedValue(), 0.75f);
    EXPECT_EQ(cropped->waveformImageData(), QByteArray("\x00\xff\x00", 3));
    EXPECT_EQ(context->fetchObjects(Recording::entityName()).size(), 3u);

    // Deleting the newest before any insert is where a plain rowid table gives its id again.
    cropped->deleteObject();
    ASSERT_TRUE(context->save());
    auto next = Recording::insertInManagedObjectContext(*context);
    ASSERT_TRUE(context->save());
    EXPECT_EQ(next->rowID(), 8);
    EXPECT_FALSE(context->objectAtURI(QUrl(QStringLiteral("murmelo-store://Recording/7"))));
    next->deleteObject();
    ASSERT_TRUE(context->save());
    cropped.reset();
    next.reset();
    context.reset();

    EXPECT_EQ(rows(storePath, allColumns), before.mid(0, 2));
    EXPECT_EQ(single(storePath, "PRAGMA user_version").toInt(), recordingStoreSchema().version);
    EXPECT_EQ(
        single(storePath, "SELECT seq FROM sqlite_sequence WHERE name = 'recording'").toLongLong(),
        8);
    EXPECT_TRUE(single(storePath, "SELECT sql FROM sqlite_master WHERE name = 'recording'")
                    .toString()
                    .contains(QLatin1String("AUTOINCREMENT")));
    // The newest-first list keeps its index; nothing of the rebuild is left behind.
    const QList<QVariantList> objects = {
        {QStringLiteral("index"), QStringLiteral("recording_date"), QStringLiteral("recording")},
        {QStringLiteral("table"), QStringLiteral("recording"), QStringLiteral("recording")}};
    EXPECT_EQ(rows(storePath, "SELECT type, name, tbl_name FROM sqlite_master"
                              " WHERE name NOT LIKE 'sqlite_%' AND tbl_name = 'recording'"
                              " AND type <> 'trigger' ORDER BY type, name"),
              objects);
    EXPECT_EQ(single(storePath, "PRAGMA journal_mode").toString(), QStringLiteral("wal"));
    EXPECT_EQ(single(storePath, "PRAGMA integrity_check").toString(), QStringLiteral("ok"));
}

TEST_F(StoreFileTest, RebuildThatFailsPartWayLeavesTheFileAsItWas)
{
    // A version-2 table short of a column makes the copy fail after the new table was created;
    // the half-made rebuild must not reach the file.
    runSql(storePath, "CREATE TABLE recording (id INTEGER PRIMARY KEY, name TEXT, message TEXT,"
                      " date INTEGER, audioPath TEXT, reverseAudioPath TEXT, speed REAL,"
                      " isImported INTEGER, waveformImageData BLOB);"
                      "INSERT INTO recording (id, name) VALUES (5, 'keep me');"
                      "PRAGMA user_version = 2;");
    const QByteArray before = contents(storePath);
    {
        StoreContext context;
        EXPECT_FALSE(context.open(storePath));
        EXPECT_EQ(context.openError().code, StoreError::MigrationFailed);
        EXPECT_FALSE(context.openError().description.isEmpty());
    }
    EXPECT_EQ(contents(storePath), before);
    EXPECT_EQ(single(storePath, "PRAGMA user_version").toInt(), 2);
    EXPECT_EQ(rows(storePath, "SELECT id, name FROM recording"),
              (QList<QVariantList>{{qint64(5), QStringLiteral("keep me")}}));
    EXPECT_EQ(
        single(storePath, "SELECT count(*) FROM sqlite_master WHERE name <> 'recording'").toInt(),
        0);
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

    runSql(storePath, QStringLiteral("CREATE TABLE recording (id INTEGER PRIMARY KEY, name TEXT,"
                                     " future BLOB); INSERT INTO recording (name) VALUES ('from the"
                                     " future'); PRAGMA user_version = %1;")
                          .arg(recordingStoreSchema().version + 1)
                          .toUtf8()
                          .constData());
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

// The mode bits of a file or folder, without its type.
mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST_F(StoreFileTest, StoreAndItsJournalsAreTheUsersAloneAndLooserOnesAreTightened)
{
    const mode_t previousMask = ::umask(022);
    storePath = folder + QStringLiteral("/private/library.sql");
    {
        auto context = openContext();
        Recording::insertInManagedObjectContext(*context)->setName(QStringLiteral("secret"));
        ASSERT_TRUE(context->save());
        for (const char *suffix : {"", "-wal", "-shm"})
            EXPECT_EQ(modeOf(storePath + QLatin1String(suffix)), 0600u) << suffix;
        EXPECT_EQ(modeOf(folder + QStringLiteral("/private")), 0700u);
    }

    // As an older version left them: readable by everyone, journals included.
    auto keepOpen = openContext(); // keeps the WAL and its index in place after the chmod
    for (const char *suffix : {"", "-wal", "-shm"})
        ::chmod(QFile::encodeName(storePath + QLatin1String(suffix)).constData(), 0644);
    auto reopened = openContext();
    for (const char *suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(modeOf(storePath + QLatin1String(suffix)), 0600u) << suffix;
    ::umask(previousMask);
}

TEST_F(StoreFileTest, SaveOnAFullDiskNamesTheCauseAndKeepsTheChanges)
{
    auto context = openContext();
    Recording::insertInManagedObjectContext(*context)->setName(QStringLiteral("first"));
    ASSERT_TRUE(context->save());

    // The file may not grow: SQLite reports it as full, as on a disk with no room left.
    const qint64 pages =
        context->database().scalar(QStringLiteral("PRAGMA page_count")).toLongLong();
    context->database().exec(QStringLiteral("PRAGMA max_page_count=%1").arg(pages));
    auto big = Recording::insertInManagedObjectContext(*context);
    big->setWaveformImageData(QByteArray(1 << 20, 'x'));
    StoreError error;
    EXPECT_FALSE(context->save(&error));
    EXPECT_EQ(error.code, StoreError::WriteFailed);
    EXPECT_EQ(error.description.toStdString(), "Changes could not be saved: the disk is full");
    EXPECT_TRUE(context->hasChanges());

    // A write stopped by the file-size limit is named by the system's reason, never as a full
    // disk, SQLite's "disk I/O error" or the rollback after it; whether the limit falls inside
    // a page's write (a short write) or on its start (a refused one).
    context->database().exec(QStringLiteral("PRAGMA max_page_count=1073741823"));
    const std::string tooLarge = "Changes could not be saved: " + std::string(std::strerror(EFBIG));
    for (const qint64 past : {4096 + 100, 0}) {
        {
            const FileSizeLimit limit(QFileInfo(storePath + QStringLiteral("-wal")).size() + past);
            EXPECT_FALSE(context->save(&error));
        }
        EXPECT_EQ(error.description.toStdString(), tooLarge) << past;
        EXPECT_TRUE(context->hasChanges());
    }

    // Nothing was lost or damaged: the changes go in once there is room, beside the first.
    ASSERT_TRUE(context->save());
    EXPECT_EQ(context->fetchObjects(Recording::entityName()).size(), 2u);
    EXPECT_EQ(context->database().scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
              "ok");
}

} // namespace
