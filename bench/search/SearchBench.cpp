// Searching a library of 10,000 recordings with five phrase markers each, as the user types:
// our full-text search (prefixes, accents folded, best first) beside the plain LIKE scan of the
// same titles, messages and marker texts that a store without an index would run.
#include "library/RecordingSearch.h"
#include "library/StoreContext.h"
#include "support/PeerReport.h"
#include "support/ScratchFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <string>

using namespace murmelo;

namespace {
constexpr int kRecords = 10000;
constexpr int kMarkersPerRecording = 5;

const char *const kWords[] = {
    "satan",   "hidden",  "message", "backwards", "café",   "Grüße",  "mirror", "voice",
    "echo",    "whisper", "angel",   "déjà",      "night",  "river",  "stone",  "sing",
    "reverse", "pattern", "dream",   "señor",     "forest", "window", "ocean",  "shadow",
    "light",   "thunder", "garden",  "naïve",     "signal", "number", "silver", "golden"};
constexpr int kWordCount = int(std::size(kWords));

QString words(int seed, int count)
{
    QStringList picked;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245 + 12345;
        picked << QString::fromUtf8(kWords[(unsigned(seed) >> 16) % kWordCount]);
    }
    return picked.join(u' ');
}

// One library, filled once in a single transaction through the store's own file and triggers.
StoreContext &library()
{
    static std::unique_ptr<StoreContext> context = [] {
        auto made = std::make_unique<StoreContext>();
        made->open(QDir::tempPath() + QStringLiteral("/bench-search.sql"));
        SqliteDatabase &db = made->database();
        db.exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < kRecords; ++i) {
            SqliteStatement recording = db.prepare(
                QStringLiteral("INSERT INTO recording (name, message, date) VALUES (?1, ?2, ?3)"));
            recording.bind(1, QStringLiteral("Reversal %1 %2").arg(i).arg(words(i, 2)));
            recording.bind(2, words(i + kRecords, 8));
            recording.bind(3, 1700000000000LL + qint64(i) * 60000);
            recording.exec();
            const qint64 id = sqlite3_last_insert_rowid(db.handle());
            for (int m = 0; m < kMarkersPerRecording; ++m) {
                SqliteStatement marker =
                    db.prepare(QStringLiteral("INSERT INTO marker (recordingId, startFrame,"
                                              " endFrame, text) VALUES (?1, ?2, ?3, ?4)"));
                marker.bind(1, id);
                marker.bind(2, m * 44100);
                marker.bind(3, m * 44100 + 22050);
                marker.bind(4, words(i * kMarkersPerRecording + m + 2 * kRecords, 4));
                marker.exec();
            }
        }
        db.exec(QStringLiteral("COMMIT"));
        return made;
    }();
    return *context;
}

// What a user types, letter by letter and word by word.
const char *const kQueries[] = {"s", "sat", "hid mess", "cafe", "grusse", "déjà vu", "zebra"};

void BM_Search_FullText(benchmark::State &state)
{
    RecordingSearch search(library());
    const QString text = QString::fromUtf8(kQueries[state.range(0)]);
    qsizetype found = 0;
    for (auto _ : state) {
        const auto ids = search.search(text);
        found = ids.size();
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(text.toStdString());
    state.counters["found"] = double(found);
}

// The peer: every word must appear somewhere in the title, message or a marker, newest first.
void BM_Search_PlainLike(benchmark::State &state)
{
    SqliteDatabase &db = library().database();
    const QString text = QString::fromUtf8(kQueries[state.range(0)]);
    const QStringList typed = text.split(u' ', Qt::SkipEmptyParts);
    QStringList terms;
    for (int i = 1; i <= typed.size(); ++i)
        terms << QStringLiteral("(r.name LIKE ?%1 OR r.message LIKE ?%1 OR EXISTS (SELECT 1 FROM"
                                " marker m WHERE m.recordingId = r.id AND m.text LIKE ?%1))")
                     .arg(i);
    const QString sql = QStringLiteral("SELECT r.id FROM recording r WHERE %1"
                                       " ORDER BY r.date DESC, r.id DESC")
                            .arg(terms.join(QStringLiteral(" AND ")));
    qsizetype found = 0;
    for (auto _ : state) {
        SqliteStatement statement = db.prepare(sql);
        for (int i = 0; i < typed.size(); ++i)
            statement.bind(i + 1, QStringLiteral("%") + typed[i] + QStringLiteral("%"));
        found = 0;
        while (statement.step() == SQLITE_ROW)
            ++found;
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(text.toStdString());
    state.counters["found"] = double(found);
}

BENCHMARK(BM_Search_FullText)
    ->DenseRange(0, int(std::size(kQueries)) - 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search_PlainLike)
    ->DenseRange(0, int(std::size(kQueries)) - 1)
    ->Unit(benchmark::kMillisecond);
} // namespace

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
    std::printf("\nCPU per query at %d records x %d markers (target <= 10 ms each):\n", kRecords,
                kMarkersPerRecording);
    for (size_t i = 0; i < std::size(kQueries); ++i) {
        const std::string ours = "BM_Search_FullText/" + std::to_string(i);
        const std::string peer = "BM_Search_PlainLike/" + std::to_string(i);
        const auto &times = report.times();
        if (!times.count(ours) || !times.count(peer))
            continue;
        std::printf("  %-10s ours %7.2f ms   plain LIKE scan %7.2f ms   %s\n", kQueries[i],
                    times.at(ours).cpu, times.at(peer).cpu,
                    times.at(ours).cpu <= 10.0 ? "ok" : "OVER");
    }
    QDir(root).removeRecursively();
    return 0;
}
