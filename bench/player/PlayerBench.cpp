// The player engine at its hardest rate, beside sox's own tempo effect on the same file, and how
// closely its position follows what the output has played.
#include "audio/AudioOutputNull.h"
#include "audio/AudioOutputSink.h"
#include "audio/Player.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QThread>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

using namespace murmelo;
using namespace std::chrono_literals;

namespace {

QString g_input;
QString g_output;
double g_engineCpu = 0, g_soxCpu = 0;

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<Player> openPlayer(std::unique_ptr<AudioOutput> output)
{
    QString error;
    auto player = Player::open(g_input, error, std::move(output));
    if (!player)
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(g_input), qPrintable(error));
    return player;
}

// 60 s of stereo rendered at 2.0x, pulled in 20 ms periods as a sound server does.
void BM_EngineRender60sAt2x(benchmark::State &state)
{
    for (auto _ : state) {
        auto out = std::make_unique<NullAudioOutput>();
        NullAudioOutput *output = out.get();
        auto player = openPlayer(std::move(out));
        if (!player)
            return state.SkipWithError("no input");
        player->setEnableRate(true);
        player->setRate(2.0f);
        const double before = cpuSeconds(RUSAGE_SELF);
        player->play();
        while (output->isRunning())
            output->advance(20ms);
        g_engineCpu = cpuSeconds(RUSAGE_SELF) - before;
        state.SetIterationTime(g_engineCpu);
    }
    state.counters["cpu_s"] = g_engineCpu;
}
BENCHMARK(BM_EngineRender60sAt2x)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The peer: sox's tempo effect (pitch kept, like ours) on the same file, child CPU time.
void BM_SoxTempo60sAt2x(benchmark::State &state)
{
    for (auto _ : state) {
        const double before = cpuSeconds(RUSAGE_CHILDREN);
        const QString command = QStringLiteral("sox '%1' '%2' tempo 2.0").arg(g_input, g_output);
        if (std::system(command.toLocal8Bit().constData()) != 0)
            return state.SkipWithError("sox failed");
        g_soxCpu = cpuSeconds(RUSAGE_CHILDREN) - before;
        state.SetIterationTime(g_soxCpu);
    }
    state.counters["cpu_s"] = g_soxCpu;
}
BENCHMARK(BM_SoxTempo60sAt2x)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Position against what the output reports played: the device's own count when there is a
// device, else the frames the silent output delivered.
void BM_PositionErrorAt2x(benchmark::State &state)
{
    const bool device = !QMediaDevices::audioOutputs().isEmpty();
    double worst = 0, sum = 0;
    int samples = 0;
    for (auto _ : state) {
        SinkAudioOutput *sink = nullptr;
        NullAudioOutput *null = nullptr;
        std::unique_ptr<AudioOutput> out;
        if (device)
            out.reset(sink = new SinkAudioOutput(QMediaDevices::defaultAudioOutput()));
        else
            out.reset(null = new NullAudioOutput());
        auto player = openPlayer(std::move(out));
        if (!player)
            return state.SkipWithError("no input");
        player->setEnableRate(true);
        player->setRate(2.0f);
        player->setCurrentTime(5.0);
        player->play();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 3000) {
            if (null)
                null->advance(7ms);
            else
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const double played = sink ? sink->processedMicroseconds() / 1e6
                                       : double(null->framesDelivered()) / player->sampleRate();
            if (played > 0.3) { // past the device's start-up
                const double error = std::abs(player->currentTime() - (5.0 + played * 2.0));
                worst = std::max(worst, error);
                sum += error;
                ++samples;
            }
            // Sleeping between looks keeps the figure's CPU time the player's own, not the loop's.
            QThread::msleep(7);
        }
        player->pause();
    }
    state.counters["device"] = device ? 1 : 0;
    state.counters["max_error_ms"] = worst * 1000;
    state.counters["mean_error_ms"] = samples ? sum / samples * 1000 : 0;
}
BENCHMARK(BM_PositionErrorAt2x)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = QDir::tempPath() + QStringLiteral("/murmelo-bench-player");
    QDir().mkpath(folder);
    g_input = folder + QStringLiteral("/speech60s.wav");
    g_output = folder + QStringLiteral("/sox-tempo.wav");
    // Two tones with a slow tremolo, stereo: enough movement that the stretcher has real work.
    const QString make =
        QStringLiteral("sox -n -r 44100 -c 2 -b 16 '%1' synth 60 sine 220 sine 330 "
                       "tremolo 3 60 gain -6")
            .arg(g_input);
    if (std::system(make.toLocal8Bit().constData()) != 0) {
        std::fprintf(stderr, "could not make the input with sox\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nrendering 60 s of stereo at 2.0x, CPU seconds: engine %.3f, sox tempo %.3f "
                "(target: engine < 3 s, i.e. under 5%% of one core)\n",
                g_engineCpu, g_soxCpu);
    QDir(folder).removeRecursively();
    return 0;
}
