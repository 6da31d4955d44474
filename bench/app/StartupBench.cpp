// Start-up to the first screen shown, offscreen, with a library of 1,000 recordings, beside the
// floor: a bare QApplication showing an empty QWidget. Each start is a fresh process (this
// program run again in a child mode), so both figures include loading Qt and its plugins.
// Start-up is measured with telemetry on and switched off (its cost must stay under 20 ms), and
// the crash handlers' install beside a bare walk of the loader's image list.
#include "app/AppDelegate.h"
#include "app/SidebarViewController.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/Defaults.h"
#include "telemetry/crash/VGCrashReporter.h"
#include "telemetry/session/VGTelemetrySwitch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <link.h>

namespace {

constexpr int kRecordings = 1000;
const char kChildMurmelo[] = "--child-murmelo";
const char kChildFloor[] = "--child-floor";
const char kChildQuiet[] = "--child-murmelo-without-telemetry";
const char kPainted[] = "painted\n";

// Tells the parent at the first paint of the watched window, then quits the way the application
// quits. The parent times the way to the first screen, not the work done when quitting; cutting the
// process short instead could leave the settings file's lock half written for the next start.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            std::fputs(kPainted, stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    bool painted_ = false;
};

int runChild(int argc, char **argv, bool murmelo, bool telemetry = true)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmelo"));
    FirstPaint painted;
    if (murmelo) {
        murmelo::Defaults::standard().setBool(
            QLatin1String(murmelo::VGTelemetrySwitch::kDefaultsKey), telemetry);
        murmelo::Defaults::standard().synchronize();
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
        QByteArray said;
        while (!said.contains(kPainted) && child.waitForReadyRead(30000))
            said += child.readAllStandardOutput();
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!said.contains(kPainted) || !child.waitForFinished(30000) || child.exitCode() != 0) {
            state.SkipWithError("the child did not start cleanly");
            return;
        }
        state.SetIterationTime(seconds);
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
void BM_MurmeloStartupWithoutTelemetry(benchmark::State &state)
{
    startChild(state, kChildQuiet);
}

// Installing the crash handlers again: the image list re-read (files already mapped), the
// signal handlers and every thread's alternate stack. The floor is the loader's list alone.
void BM_CrashHandlerInstall(benchmark::State &state)
{
    QTemporaryDir sdk;
    for (auto _ : state) {
        if (!murmelo::VGCrashReporter::installCrashHandlers(sdk.path()))
            state.SkipWithError("not installed");
    }
    murmelo::VGCrashReporter::uninstallCrashHandlers();
}
void BM_LoaderImageListFloor(benchmark::State &state)
{
    for (auto _ : state) {
        int images = 0;
        dl_iterate_phdr(
            [](dl_phdr_info *, size_t, void *count) {
                ++*static_cast<int *>(count);
                return 0;
            },
            &images);
        benchmark::DoNotOptimize(images);
    }
}

BENCHMARK(BM_MurmeloStartup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_BareWidgetStartup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_MurmeloStartupWithoutTelemetry)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);
BENCHMARK(BM_CrashHandlerInstall)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoaderImageListFloor)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], kChildMurmelo) == 0)
        return runChild(argc, argv, true);
    if (argc > 1 && std::strcmp(argv[1], kChildFloor) == 0)
        return runChild(argc, argv, false);
    if (argc > 1 && std::strcmp(argv[1], kChildQuiet) == 0)
        return runChild(argc, argv, true, false);
    // Telemetry goes to a loopback port nobody listens on: the start-up, not the network.
    qputenv("MURMELO_TELEMETRY_URL", "http://127.0.0.1:9/");

    QTemporaryDir root;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmelo"));
    fillLibrary(root.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
