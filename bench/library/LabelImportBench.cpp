// A label file of 100,000 lines read and imported into a saved recording (replacing as many
// markers, with the search index rebuilt), beside raw SQLite inserting the same rows into a bare
// marker table in one transaction with the same file settings (WAL, full sync).
#include "library/LabelFile.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "support/ScratchFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

using namespace murmelo;

namespace {
constexpr int kLines = 100000;
constexpr int kRate = 44100;
const LabelAudio kAudio{kRate, qint64(kRate) * 3 * 3600}; // three hours

QByteArray labelLines()
{
    QByteArray file = "# Murmelo phrase markers: seconds on the reversed time line\n";
    for (int i = 0; i < kLines; ++i)
        file += QByteArray::number(i * 0.1, 'f', 6) + '\t' +
                QByteArray::number(i * 0.1 + 0.05, 'f', 6) + "\theard word" +
                QByteArray::number(i) + " again\n";
    return file;
}

void BM_Labels_ReadAndImport100k(benchmark::State &state)
{
    const QByteArray file = labelLines();
    StoreContext context;
    context.open(QDir::tempPath() + QStringLiteral("/labels.sql"));
    auto recording = Recording::insertInManagedObjectContext(context);
    recording->setName(QStringLiteral("long song"));
    context.save();
    PhraseMarkerStore store(context);
    for (auto _ : state) {
        const LabelFileContents contents = readLabelFile(file, LabelTimeLine::Reversed, kAudio);
        if (!contents.ok() || contents.markers.size() != kLines)
            state.SkipWithError("the file was not read");
        // From the second round on, as many markers are replaced as are written.
        if (!store.replaceMarkers(recording->rowID(), contents.markers))
            state.SkipWithError("the import failed");
    }
}

void BM_RawSqlite_Insert100kMarkers(benchmark::State &state)
{
    int round = 0;
    for (auto _ : state) {
        sqlite3 *db = nullptr;
        const QByteArray path =
            (QDir::tempPath() + QStringLiteral("/raw-%1.sql").arg(++round)).toUtf8();
        sqlite3_open(path.constData(), &db);
        sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                     "CREATE TABLE marker (id INTEGER PRIMARY KEY AUTOINCREMENT, recordingId "
                     "INTEGER NOT NULL, startFrame INTEGER NOT NULL, endFrame INTEGER NOT NULL, "
                     "text TEXT NOT NULL DEFAULT '');"
                     "CREATE INDEX marker_recordingId ON marker (recordingId, startFrame);",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO marker (recordingId, startFrame, endFrame, text) VALUES "
                           "(1, ?1, ?2, ?3)",
                           -1, &stmt, nullptr);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (int i = 0; i < kLines; ++i) {
            const QByteArray text = "heard word" + QByteArray::number(i) + " again";
            sqlite3_bind_int64(stmt, 1, qint64(i) * kRate / 10);
            sqlite3_bind_int64(stmt, 2, qint64(i) * kRate / 10 + kRate / 20);
            sqlite3_bind_text(stmt, 3, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            sqlite3_step(stmt);
            sqlite3_reset(stmt);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
}
} // namespace

BENCHMARK(BM_Labels_ReadAndImport100k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawSqlite_Insert100kMarkers)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    const QString root = murmelo::bench::useScratchFolders();
    if (root.isEmpty())
        return 1;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmelo"));

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir(root).removeRecursively();
    return 0;
}
