// The store's hot paths beside the same work done straight on the SQLite C API on the same file:
// the same settings (WAL, full sync), tables, indexes, triggers and search index. Saving 10,000
// new records at once, reading them newest first (as full records, and as the live list's ids
// and dates), and one record's insert and save.
#include "library/Recording.h"
#include "library/RecordingsQuery.h"
#include "library/StoreContext.h"
#include "support/PeerReport.h"
#include "support/ScratchFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimeZone>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <string>

using namespace murmelo;

namespace {
constexpr int kRecords = 10000;
const QByteArray kWaveform(1500, 'w'); // about the size of a waveform picture's PNG
int storeNumber = 0;

QString freshStorePath()
{
    return QDir::tempPath() + QStringLiteral("/bench-store-%1.sql").arg(++storeNumber);
}

void fill(StoreContext &context, int count)
{
    for (int i = 0; i < count; ++i) {
        auto recording = Recording::insertInManagedObjectContext(context);
        recording->setName(QStringLiteral("Reversal %1").arg(i));
        recording->setMessage(QStringLiteral("heard something"));
        // In UTC, as the application makes its dates.
        recording->setDate(QDateTime::fromMSecsSinceEpoch(
            1700000000000LL + i * 977 % kRecords * 1000, QTimeZone::utc()));
        recording->setAudioPath(QStringLiteral("/data/a%1.wav").arg(i),
                                QStringLiteral("/data/r%1.wav").arg(i));
        recording->setSpeedValue(1.0f);
        recording->setWaveformImageData(kWaveform);
    }
}

// The same file the store makes: its settings, and for a new file the same tables, indexes,
// triggers and search index, from the same statements.
sqlite3 *openRaw(const QString &path, bool create)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    if (create) {
        const StoreSchema &schema = recordingStoreSchema();
        for (const QString &statement : schema.creationStatements())
            sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, nullptr);
        sqlite3_exec(db, QStringLiteral("PRAGMA user_version=%1").arg(schema.version).toUtf8(),
                     nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA mmap_size=268435456;",
                 nullptr, nullptr, nullptr);
    return db;
}

void rawInsert(sqlite3 *db, sqlite3_stmt *stmt, int i)
{
    const std::string name = "Reversal " + std::to_string(i);
    const std::string forward = "/data/a" + std::to_string(i) + ".wav";
    const std::string reverse = "/data/r" + std::to_string(i) + ".wav";
    sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, "heard something", -1, SQLITE_STATIC);
    sqlite3_bind_int64(stmt, 3, 1700000000000LL + i * 977 % kRecords * 1000);
    sqlite3_bind_text(stmt, 4, forward.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 5, reverse.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(stmt, 6, 1.0);
    sqlite3_bind_null(stmt, 7);
    sqlite3_bind_null(stmt, 8);
    sqlite3_bind_blob(stmt, 9, kWaveform.constData(), kWaveform.size(), SQLITE_STATIC);
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
    (void)db;
}

const char *kRawInsert = "INSERT INTO recording (name, message, date, audioPath, "
                         "reverseAudioPath, speed, isImported, playing, waveformImageData) "
                         "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";

void BM_Store_InsertAndSave10k(benchmark::State &state)
{
    for (auto _ : state) {
        StoreContext context;
        context.open(freshStorePath());
        fill(context, kRecords);
        if (!context.save())
            state.SkipWithError("save failed");
    }
}

void BM_RawSqlite_InsertAndSave10k(benchmark::State &state)
{
    for (auto _ : state) {
        sqlite3 *db = openRaw(freshStorePath(), true);
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, kRawInsert, -1, &stmt, nullptr);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (int i = 0; i < kRecords; ++i)
            rawInsert(db, stmt, i);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
}

QString filledStore()
{
    static const QString path = [] {
        const QString p = freshStorePath();
        StoreContext context;
        context.open(p);
        fill(context, kRecords);
        context.save();
        return p;
    }();
    return path;
}

void BM_Store_FetchSortedByDate10k(benchmark::State &state)
{
    StoreContext context;
    context.open(filledStore());
    for (auto _ : state) {
        auto all =
            context.fetchObjects(Recording::entityName(), {}, {{QStringLiteral("date"), false}});
        if (all.size() != kRecords)
            state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(all.data());
    }
}

void BM_Store_LiveListOpen10k(benchmark::State &state)
{
    StoreContext context;
    context.open(filledStore());
    for (auto _ : state) {
        RecordingsQuery query(context);
        query.performFetch();
        // What a screen shows first.
        for (int row = 0; row < 12; ++row)
            benchmark::DoNotOptimize(query.recordingAt(row).get());
    }
}

void BM_RawSqlite_FetchSortedByDate10k(benchmark::State &state)
{
    sqlite3 *db = openRaw(filledStore(), false);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT id, name, message, date, audioPath, reverseAudioPath, speed, "
                       "isImported, playing, waveformImageData FROM recording "
                       "ORDER BY date DESC, id ASC",
                       -1, &stmt, nullptr);
    struct Row {
        sqlite3_int64 id, date;
        std::string name, message, forward, reverse, waveform;
        double speed;
    };
    for (auto _ : state) {
        std::vector<Row> rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto text = [&](int c) {
                return std::string(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                                   sqlite3_column_bytes(stmt, c));
            };
            rows.push_back({sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 3), text(1),
                            text(2), text(4), text(5),
                            std::string(static_cast<const char *>(sqlite3_column_blob(stmt, 9)),
                                        sqlite3_column_bytes(stmt, 9)),
                            sqlite3_column_double(stmt, 6)});
        }
        sqlite3_reset(stmt);
        if (rows.size() != kRecords)
            state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(rows.data());
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

void BM_Store_SingleInsertAndSave(benchmark::State &state)
{
    StoreContext context;
    context.open(freshStorePath());
    int i = 0;
    for (auto _ : state) {
        fill(context, 1);
        if (!context.save())
            state.SkipWithError("save failed");
        ++i;
    }
}

void BM_RawSqlite_SingleInsertAndSave(benchmark::State &state)
{
    sqlite3 *db = openRaw(freshStorePath(), true);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, kRawInsert, -1, &stmt, nullptr);
    int i = 0;
    for (auto _ : state)
        rawInsert(db, stmt, i++); // autocommit: one transaction, one sync, like a save
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}
} // namespace

BENCHMARK(BM_Store_InsertAndSave10k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawSqlite_InsertAndSave10k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Store_FetchSortedByDate10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawSqlite_FetchSortedByDate10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store_LiveListOpen10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store_SingleInsertAndSave)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawSqlite_SingleInsertAndSave)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    const QString root = murmelo::bench::useScratchFolders();
    if (root.isEmpty())
        return 1;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmelo"));

    benchmark::Initialize(&argc, argv);
    murmelo::bench::PeerReport report;
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();
    std::printf("\nBeside raw SQLite on the same schema, triggers and search index:\n");
    report.compare("save 10,000 new records", "BM_Store_InsertAndSave10k/iterations:3",
                   "BM_RawSqlite_InsertAndSave10k/iterations:3", "ms", 1.2);
    report.compare("save one new record", "BM_Store_SingleInsertAndSave",
                   "BM_RawSqlite_SingleInsertAndSave", "us", 1.2);
    QDir(root).removeRecursively();
    return 0;
}
