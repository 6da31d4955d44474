// Opening the saved-recordings list on a large library: from nothing to its first rows painted,
// offscreen, beside a plain QListWidget filled with as many strings in the same run. Before the
// timings, the memory the list costs with 100 and with 10,000 records (and the QListWidget's
// with 10,000) is printed, to show that it follows the screen rather than the library.
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "support/ScratchFolders.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPixmap>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

using namespace murmelo;

namespace {
const QSize kScreen(320, 568);
const QByteArray kWaveform(1500, 'w'); // about the size of a waveform picture's PNG
QString benchRoot;
std::map<int, std::unique_ptr<StoreContext>> stores;

std::unique_ptr<StoreContext> filledStore(int count)
{
    auto context = std::make_unique<StoreContext>();
    if (!context->open(benchRoot + QStringLiteral("/store-%1.sql").arg(count)))
        std::abort();
    for (int i = 0; i < count; ++i) {
        auto recording = Recording::insertInManagedObjectContext(*context);
        recording->setName(QStringLiteral("Reversal %1").arg(i));
        recording->setMessage(QStringLiteral("heard something"));
        recording->setDate(QDateTime::fromMSecsSinceEpoch(1700000000000LL + qint64(i) * 60000));
        recording->setAudioPath(QStringLiteral("/data/a%1.wav").arg(i),
                                QStringLiteral("/data/r%1.wav").arg(i));
        recording->setWaveformImageData(kWaveform);
    }
    if (!context->save())
        std::abort();
    return context;
}

StoreContext &store(int count)
{
    auto &context = stores[count];
    if (!context)
        context = filledStore(count);
    return *context;
}

// Shown, laid out and painted once: what the user sees when the screen comes up.
std::unique_ptr<SavedRecordingsViewController> openList(StoreContext &context)
{
    auto screen = std::make_unique<SavedRecordingsViewController>(context, ListPlayerFactory{});
    screen->resize(kScreen);
    screen->show();
    QCoreApplication::processEvents();
    if (!screen->tableView()->cellForRow(0))
        std::abort();
    benchmark::DoNotOptimize(screen->grab());
    return screen;
}

std::unique_ptr<QListWidget> openPlainList(int count)
{
    auto list = std::make_unique<QListWidget>();
    QStringList items;
    items.reserve(count);
    for (int i = 0; i < count; ++i)
        items << QStringLiteral("Reversal %1").arg(i);
    list->addItems(items);
    list->resize(kScreen);
    list->show();
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(list->grab());
    return list;
}

void BM_SavedRecordingsList_FirstRowsPainted(benchmark::State &state)
{
    StoreContext &context = store(int(state.range(0)));
    for (auto _ : state) {
        auto screen = openList(context);
        state.PauseTiming();
        screen.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_PlainQListWidget_FirstRowsPainted(benchmark::State &state)
{
    for (auto _ : state) {
        auto list = openPlainList(int(state.range(0)));
        state.PauseTiming();
        list.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

// Each list stays alive until the end, so no measurement reuses memory another one freed.
void printMemory()
{
    store(100);
    store(10000);
    // The first screen also pays for style, fonts and icons; open and close one beforehand.
    openList(store(100)).reset();
    // The share of the store's own live list (row ids and dates read through SQLite).
    const long before = residentKiB();
    RecordingsQuery query(store(10000));
    query.performFetch();
    std::printf("RSS delta, %-38s %6ld KiB\n",
                "the store's live query alone, 10,000:", residentKiB() - before);
    std::vector<std::unique_ptr<QWidget>> keep;
    const auto measure = [&keep](const char *what, auto open) {
        const long before = residentKiB();
        keep.push_back(open());
        std::printf("RSS delta, %-38s %6ld KiB\n", what, residentKiB() - before);
    };
    measure("saved-recordings list, 100 records:", [] { return openList(store(100)); });
    measure("saved-recordings list, 10,000 records:", [] { return openList(store(10000)); });
    measure("plain QListWidget, 10,000 strings:", [] { return openPlainList(10000); });
    // The allocator settles after the first few screens: once more, for steadier figures.
    measure("saved-recordings list, 100, again:", [] { return openList(store(100)); });
    measure("saved-recordings list, 10,000, again:", [] { return openList(store(10000)); });
    std::fflush(stdout);
}
} // namespace

BENCHMARK(BM_SavedRecordingsList_FirstRowsPainted)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainQListWidget_FirstRowsPainted)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    benchRoot = murmelo::bench::useScratchFolders();
    if (benchRoot.isEmpty())
        return 1;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmelo"));

    printMemory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stores.clear();
    QDir(benchRoot).removeRecursively();
    return 0;
}
