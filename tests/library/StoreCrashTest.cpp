#include "StoreFixture.h"

#include <QProcess>
#include <QRandomGenerator>
#include <csignal>
#include <sqlite3.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class StoreCrashTest : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
        environment.insert(QStringLiteral("TMPDIR"), folder + QStringLiteral("/tmp"));
        QDir().mkpath(folder + QStringLiteral("/tmp"));
    }

    // Starts the writer six times with `mode` and kills it with SIGKILL after a random number
    // (from `least`, below `least + spread`) of the lines it prints after each whole piece of
    // work, while it goes on with the next one; then runs the start-up recovery in a writer of
    // its own, as the application's start would.
    void killRepeatedly(const QStringList &mode, int least, int spread)
    {
        for (int run = 0; run < 6; ++run) {
            QProcess writer;
            writer.setProcessEnvironment(environment);
            writer.start(QStringLiteral(STORE_CRASH_HELPER),
                         QStringList{QString::number(random.generate())} + mode);
            ASSERT_TRUE(writer.waitForStarted());
            const qsizetype lines = least + random.bounded(spread);
            QByteArray said;
            ASSERT_TRUE(test::waitUntil(
                [&] {
                    said += writer.readAllStandardOutput();
                    return said.count('\n') >= lines || writer.state() != QProcess::Running;
                },
                std::chrono::seconds(60)));
            ASSERT_EQ(writer.state(), QProcess::Running)
                << "writer stopped on its own: " << writer.readAllStandardError().toStdString();
            ::kill(pid_t(writer.processId()), SIGKILL);
            writer.waitForFinished();
        }
        QProcess last;
        last.setProcessEnvironment(environment);
        last.start(QStringLiteral(STORE_CRASH_HELPER),
                   {QStringLiteral("0"), QStringLiteral("--recover-only")});
        ASSERT_TRUE(last.waitForFinished());
        ASSERT_EQ(last.exitCode(), 0) << last.readAllStandardError().toStdString();
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QRandomGenerator random{QRandomGenerator::global()->generate()};
};

// A writer killed at random moments, again and again, must leave a sound store whose every
// record names whole files.
TEST_F(StoreCrashTest, KilledWriterLeavesSoundStoreAndWholeFiles)
{
    // Killed after a random number of saves, while it goes on with the next one.
    killRepeatedly({}, 5, 40);
    if (HasFatalFailure())
        return;

    const QString store = folder + QStringLiteral("/data/murmelo/dbv3.sql");
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(store.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), "ok");
    sqlite3_finalize(stmt);

    sqlite3_prepare_v2(db, "SELECT audioPath, reverseAudioPath FROM recording", -1, &stmt, nullptr);
    int records = 0;
    QStringList named;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        ++records;
        for (int column = 0; column < 2; ++column) {
            const QString path = QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)));
            named << QFileInfo(path).fileName();
            EXPECT_TRUE(isWholePatternFile(path))
                << "record names a missing or partial file: " << path.toStdString();
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    EXPECT_GT(records, 6) << "the writer barely ran";
    // Files moved in by saves that were killed before their commit do not pile up.
    const QDir recordings(folder + QStringLiteral("/data/murmelo/recordings"));
    for (const QString &file :
         recordings.entryList({QStringLiteral("*.wav")}, QDir::Files | QDir::Hidden))
        EXPECT_TRUE(named.contains(file)) << "no record names " << file.toStdString();
}

// Killed while recordings are held for an undo, restored or let go: at the next start each
// recording is whole (its files and every marker) or gone without a trace.
TEST_F(StoreCrashTest, KilledDuringDeletionHoldsLeavesWholeRecordsOrNothing)
{
    killRepeatedly({QStringLiteral("--holds")}, 3, 20);
    if (HasFatalFailure())
        return;

    sqlite3 *db = nullptr;
    ASSERT_EQ(
        sqlite3_open((folder + QStringLiteral("/data/murmelo/dbv3.sql")).toUtf8().constData(), &db),
        SQLITE_OK);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT name, audioPath, reverseAudioPath, (SELECT count(*) FROM marker"
                       " WHERE recordingId = recording.id) FROM recording",
                       -1, &stmt, nullptr);
    QStringList named;
    int records = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        ++records;
        const QString name =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        if (name != QStringLiteral("making"))
            EXPECT_EQ(name, QStringLiteral("markers %1").arg(sqlite3_column_int(stmt, 3)));
        for (int column = 1; column < 3; ++column) {
            const QString path = QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)));
            named << QFileInfo(path).fileName();
            EXPECT_TRUE(isWholePatternFile(path))
                << "a missing or partial file: " << path.toStdString();
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(db,
                       "SELECT count(*) FROM marker WHERE recordingId NOT IN"
                       " (SELECT id FROM recording)",
                       -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 0) << "markers outlived their recording";
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    EXPECT_GT(records, 0);
    // Nothing waits for an undo any more, and no file of a recording that is gone stays.
    const QString recordings = folder + QStringLiteral("/data/murmelo/recordings");
    EXPECT_TRUE(QDir(recordings + QStringLiteral("/.holding"))
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
    for (const QString &file :
         QDir(recordings).entryList({QStringLiteral("*.wav")}, QDir::Files | QDir::Hidden))
        EXPECT_TRUE(named.contains(file)) << "no record names " << file.toStdString();
}

} // namespace
