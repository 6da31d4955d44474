// Start-up to the first screen shown, offscreen, with a library of 1,000 recordings, beside the
// floor: a bare QApplication showing an empty QWidget. Each start is a fresh process (this
// program run again in a child mode), so both figures include loading Qt and its plugins.
#include "app/AppDelegate.h"
#include "app/SidebarViewController.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/Defaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstring>

namespace {

constexpr int kRecordings = 1000;
const char kChildMurmelo[] = "--child-murmelo";
const char kChildFloor[] = "--child-floor";

// Quits the loop right after the first paint of the watched window.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return false;
    }
};

int runChild(int argc, char **argv, bool murmelo)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmelo"));
    FirstPaint painted;
    if (murmelo) {
        murmelo::AppDelegate delegate;
        // The first screen is the content; the window itself is covered by it and never paints.
        delegate.window()->contentViewController()->installEventFilter(&painted);
        delegate.run();
        if (!delegate.storeContext()->hasStore())
            return 1; // not the library this measures
        return app.exec();
    }
    QWidget empty;
    empty.resize(320, 568);
    empty.installEventFilter(&painted);
    empty.show();
    return app.exec();
}

void fillLibrary(const QString &root)
{
    qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (root + "/cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", root.toUtf8());
    qputenv("TMPDIR", root.toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("MURMELO_MAIL_RELAY", "localhost");
    murmelo::Defaults::standard().setBool(QStringLiteral("EULA"), true);
    murmelo::Defaults::standard().synchronize();

    QImage waveform(225, 54, QImage::Format_ARGB32);
    waveform.fill(Qt::transparent);
    QPainter(&waveform).fillRect(0, 20, 225, 14, Qt::black);
    murmelo::StoreContext store;
    if (!store.open())
        std::abort();
    for (int i = 0; i < kRecordings; ++i) {
        auto recording = murmelo::Recording::insertInManagedObjectContext(store);
        recording->setName(QStringLiteral("Reversal %1").arg(i));
        recording->setMessage(QStringLiteral("heard something at %1 s").arg(i % 30));
        recording->setDate(QDateTime::currentDateTimeUtc().addSecs(-i * 60));
        recording->setWaveformImage(waveform);
    }
    if (!store.save() ||
        store.fetchSortKeys(murmelo::Recording::entityName(), QStringLiteral("date"), false)
                .size() != kRecordings)
        std::abort();
}

void startChild(benchmark::State &state, const char *mode)
{
    for (auto _ : state) {
        QProcess child;
        QElapsedTimer timer;
        timer.start();
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode)});
        if (!child.waitForFinished(30000) || child.exitCode() != 0) {
            state.SkipWithError("the child did not start cleanly");
            return;
        }
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    }
}

void BM_MurmeloStartup(benchmark::State &state)
{
    startChild(state, kChildMurmelo);
}
void BM_BareWidgetStartup(benchmark::State &state)
{
    startChild(state, kChildFloor);
}

BENCHMARK(BM_MurmeloStartup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_BareWidgetStartup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], kChildMurmelo) == 0)
        return runChild(argc, argv, true);
    if (argc > 1 && std::strcmp(argv[1], kChildFloor) == 0)
        return runChild(argc, argv, false);

    QTemporaryDir root;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmelo"));
    fillLibrary(root.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
