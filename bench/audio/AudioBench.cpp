// Our audio file work beside sox doing the same job, measured in the same run:
// a 10-minute 44.1 kHz stereo file reversed, drawn, clipped and joined, and the peak memory of
// reversing a 2-hour one.
#include "audio/WaveformImage.h"
#include "support/ChildProcess.h"

#include <QDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string folder;
std::string tenMinutes;
std::string otherTenMinutes;
std::map<std::string, double> bestSeconds;
std::map<std::string, long> peakKiB;

using murmelo::bench::ChildRun;
using murmelo::bench::runQuietly;

void makeNoise(const std::string &path, int seconds)
{
    runQuietly({"sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth",
                std::to_string(seconds), "whitenoise", "vol", "0.3"});
}

void timeChild(benchmark::State &state, const std::string &name,
               const std::vector<std::string> &argv, const std::string &output)
{
    for (auto _ : state) {
        const ChildRun run = runQuietly(argv);
        state.SetIterationTime(run.seconds);
        auto [it, fresh] = bestSeconds.emplace(name, run.seconds);
        if (!fresh)
            it->second = std::min(it->second, run.seconds);
        std::remove(output.c_str());
    }
}

const std::string murmelo = MURMELO_EXECUTABLE;

void ReverseMurmelo(benchmark::State &state)
{
    const std::string out = folder + "/r.wav";
    timeChild(state, "reverse/murmelo", {murmelo, "reverse", tenMinutes, "-o", out}, out);
}
void ReverseSox(benchmark::State &state)
{
    const std::string out = folder + "/r.wav";
    timeChild(state, "reverse/sox", {"sox", tenMinutes, out, "reverse"}, out);
}
void ClipMurmelo(benchmark::State &state)
{
    const std::string out = folder + "/c.wav";
    timeChild(state, "clip/murmelo",
              {murmelo, "clip", tenMinutes, "--start", "0.25", "--end", "0.75", "-o", out}, out);
}
void ClipSox(benchmark::State &state)
{
    const std::string out = folder + "/c.wav";
    timeChild(state, "clip/sox", {"sox", tenMinutes, out, "trim", "150", "300"}, out);
}
void MergeMurmelo(benchmark::State &state)
{
    const std::string out = folder + "/m.wav";
    timeChild(state, "merge/murmelo", {murmelo, "merge", tenMinutes, otherTenMinutes, "-o", out},
              out);
}
void MergeSox(benchmark::State &state)
{
    const std::string out = folder + "/m.wav";
    timeChild(state, "merge/sox", {"sox", tenMinutes, otherTenMinutes, out}, out);
}
void WaveformInProcess(benchmark::State &state)
{
    const QString path = QString::fromStdString(tenMinutes);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const QImage image = murmelo::waveformImage(path, QSizeF(225, 54), 4);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(image);
        state.SetIterationTime(seconds);
        auto [it, fresh] = bestSeconds.emplace("waveform/murmelo", seconds);
        if (!fresh)
            it->second = std::min(it->second, seconds);
    }
}
void ReverseTwoHoursPeakMemory(benchmark::State &state)
{
    const std::string input = folder + "/two-hours.wav";
    const std::string out = folder + "/r2.wav";
    makeNoise(input, 2 * 3600);
    for (auto _ : state) {
        const ChildRun ours = runQuietly({murmelo, "reverse", input, "-o", out});
        std::remove(out.c_str());
        const ChildRun sox = runQuietly({"sox", input, out, "reverse"});
        std::remove(out.c_str());
        state.SetIterationTime(ours.seconds);
        peakKiB["murmelo"] = ours.maxRssKiB;
        peakKiB["sox"] = sox.maxRssKiB;
        bestSeconds["reverse-2h/murmelo"] = ours.seconds;
        bestSeconds["reverse-2h/sox"] = sox.seconds;
        state.counters["murmelo_peak_MiB"] = ours.maxRssKiB / 1024.0;
        state.counters["sox_peak_MiB"] = sox.maxRssKiB / 1024.0;
    }
    std::remove(input.c_str());
}

constexpr int rounds = 3;
BENCHMARK(ReverseMurmelo)->UseManualTime()->Iterations(rounds)->Unit(benchmark::kMillisecond);
BENCHMARK(ReverseSox)->UseManualTime()->Iterations(rounds)->Unit(benchmark::kMillisecond);
BENCHMARK(WaveformInProcess)->UseManualTime()->Iterations(rounds)->Unit(benchmark::kMillisecond);
BENCHMARK(ClipMurmelo)->UseManualTime()->Iterations(rounds)->Unit(benchmark::kMillisecond);
BENCHMARK(ClipSox)->UseManualTime()->Iterations(rounds)->Unit(benchmark::kMillisecond);
BENCHMARK(MergeMurmelo)->UseManualTime()->Iterations(rounds)->Unit(benchmark::kMillisecond);
BENCHMARK(MergeSox)->UseManualTime()->Iterations(rounds)->Unit(benchmark::kMillisecond);
BENCHMARK(ReverseTwoHoursPeakMemory)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void printComparison(const char *what, const std::string &ours, const std::string &peer,
                     const char *target)
{
    if (!bestSeconds.count(ours) || !bestSeconds.count(peer))
        return;
    std::printf("%-22s murmelo %8.3f s   sox %8.3f s   ratio %.2fx   (target %s)\n", what,
                bestSeconds[ours], bestSeconds[peer], bestSeconds[ours] / bestSeconds[peer],
                target);
}

} // namespace

int main(int argc, char **argv)
{
    char pattern[] = "/tmp/murmelo-bench-XXXXXX";
    const char *tmp = std::getenv("TMPDIR");
    std::string base = std::string(tmp ? tmp : "/tmp") + "/murmelo-bench-XXXXXX";
    folder = mkdtemp(base.data()) ? base : std::string(mkdtemp(pattern));
    setenv("TMPDIR", folder.c_str(), 1);
    tenMinutes = folder + "/ten-minutes.wav";
    otherTenMinutes = folder + "/ten-minutes-b.wav";
    makeNoise(tenMinutes, 600);
    makeNoise(otherTenMinutes, 600);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nBest of each (10-minute 44.1 kHz stereo, 16-bit):\n");
    printComparison("reverse", "reverse/murmelo", "reverse/sox", "<= 1.0x");
    printComparison("waveform vs sox reverse", "waveform/murmelo", "reverse/sox", "< 0.25x");
    printComparison("clip 25%..75%", "clip/murmelo", "clip/sox", "<= 1.0x");
    printComparison("merge", "merge/murmelo", "merge/sox", "<= 1.0x");
    printComparison("reverse 2 hours", "reverse-2h/murmelo", "reverse-2h/sox", "<= 1.0x");
    if (peakKiB.count("murmelo"))
        std::printf(
            "peak RSS reversing 2 hours: murmelo %.1f MiB, sox %.1f MiB (target < 64 MiB)\n",
            peakKiB["murmelo"] / 1024.0, peakKiB["sox"] / 1024.0);
    QDir(QString::fromStdString(folder)).removeRecursively();
    return 0;
}
