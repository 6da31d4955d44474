#include "StoreFixture.h"

#include <QProcess>
#include <QRandomGenerator>
#include <csignal>
#include <sqlite3.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {
using StoreCrashTest = StoreFixture;

// A writer killed at random moments, again and again, must leave a sound store whose every
// record names whole files.
TEST_F(StoreCrashTest, KilledWriterLeavesSoundStoreAndWholeFiles)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
    environment.insert(QStringLiteral("TMPDIR"), folder + QStringLiteral("/tmp"));
    QDir().mkpath(folder + QStringLiteral("/tmp"));
    QRandomGenerator random(QRandomGenerator::global()->generate());

    for (int run = 0; run < 6; ++run) {
        QProcess writer;
        writer.setProcessEnvironment(environment);
        writer.start(QStringLiteral(STORE_CRASH_HELPER), {QString::number(random.generate())});
        ASSERT_TRUE(writer.waitForStarted());
        // Killed at a random point of its work: after a random number of saves, while it goes
        // on with the next one.
        const qsizetype saves = 5 + random.bounded(40);
        QByteArray said;
        ASSERT_TRUE(test::waitUntil(
            [&] {
                said += writer.readAllStandardOutput();
                return said.count('\n') >= saves || writer.state() != QProcess::Running;
            },
            std::chrono::seconds(60)));
        ASSERT_EQ(writer.state(), QProcess::Running)
            << "writer stopped on its own: " << writer.readAllStandardError().toStdString();
        ::kill(pid_t(writer.processId()), SIGKILL);
        writer.waitForFinished();
    }

    // Start-up recovery runs in a writer of its own, as the application's start would.
    QProcess last;
    last.setProcessEnvironment(environment);
    last.start(QStringLiteral(STORE_CRASH_HELPER),
               {QStringLiteral("0"), QStringLiteral("--recover-only")});
    ASSERT_TRUE(last.waitForFinished());
    ASSERT_EQ(last.exitCode(), 0) << last.readAllStandardError().toStdString();

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

} // namespace
