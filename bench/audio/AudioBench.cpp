// Our audio file work beside sox doing the same job, measured in the same run:
// a 10-minute 44.1 kHz stereo file reversed, drawn, clipped and joined, and the peak memory of
// reversing a 2-hour one. Each figure is the median of the rounds, in wall time and in CPU time
// (user and system; the child's for commands, this process's for the in-process waveform): on a
// machine busy with other work the CPU time is the steadier one.
#include "audio/WaveformImage.h"
#include "support/ChildProcess.h"

#include <QDir>
#include <algorithm>
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
// Every round's wall and CPU seconds per benchmark name.
std::map<std::string, std::vector<double>> wallSeconds;
std::map<std::string, std::vector<double>> cpuSeconds;
std::map<std::string, long> peakKiB;

using murmelo::bench::ChildRun;
using murmelo::bench::runQuietly;

double secondsOf(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

void keep(const std::string &name, double wall, double cpu)
{
    wallSeconds[name].push_back(wall);
    cpuSeconds[name].push_back(cpu);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

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
        keep(name, run.seconds, run.cpuSeconds);
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
    const auto processCpu = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    };
    for (auto _ : state) {
        const double cpuBefore = processCpu();
        const auto start = std::chrono::steady_clock::now();
        const QImage image = murmelo::waveformImage(path, QSizeF(225, 54), 4);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(image);
        state.SetIterationTime(wall);
        keep("waveform/murmelo", wall, processCpu() - cpuBefore);
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
        keep("reverse-2h/murmelo", ours.seconds, ours.cpuSeconds);
        keep("reverse-2h/sox", sox.seconds, sox.cpuSeconds);
        state.counters["murmelo_peak_MiB"] = ours.maxRssKiB / 1024.0;
        state.counters["sox_peak_MiB"] = sox.maxRssKiB / 1024.0;
    }
    std::remove(input.c_str());
}

constexpr int rounds = 5;
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
    if (!wallSeconds.count(ours) || !wallSeconds.count(peer))
        return;
    const double wall = median(wallSeconds[ours]), peerWall = median(wallSeconds[peer]);
    const double cpu = median(cpuSeconds[ours]), peerCpu = median(cpuSeconds[peer]);
    std::printf("%-24s murmelo %7.3f s (cpu %7.3f)   sox %7.3f s (cpu %7.3f)   ratio %.2fx "
                "(cpu %.2fx)   target %s\n",
                what, wall, cpu, peerWall, peerCpu, wall / peerWall, cpu / peerCpu, target);
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

    std::printf("\nMedian of each (10-minute 44.1 kHz stereo, 16-bit):\n");
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
