// Importing a five-minute song, beside the ffmpeg command line doing the same conversion.
#include "audio/MediaImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

std::string g_folder;
std::map<std::string, double> g_seconds; // mean wall time per benchmark name

std::string songPath(const std::string &kind)
{
    return g_folder + "/song." + kind;
}

bool run(const std::string &command)
{
    return std::system(command.c_str()) == 0;
}

bool makeSongs()
{
    char pattern[] = "/tmp/murmelo-import-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return false;
    g_folder = pattern;
    // Noise under a tone, so the encoders have real work and the files a realistic size.
    const std::string wav = g_folder + "/source.wav";
    return run("sox -n -r 48000 -c 2 -b 16 '" + wav +
               "' synth 300 pinknoise synth 300 sine mix 440 vol 0.3") &&
           run("ffmpeg -nostdin -loglevel error -y -i '" + wav + "' -c:a flac '" +
               songPath("flac") + "'") &&
           run("ffmpeg -nostdin -loglevel error -y -i '" + wav + "' -c:a aac -b:a 256k '" +
               songPath("m4a") + "'");
}

void record(benchmark::State &state, const std::string &key, double seconds)
{
    g_seconds[key] += seconds / double(state.max_iterations);
    state.SetIterationTime(seconds);
}

void ours(benchmark::State &state, const std::string &kind)
{
    const QString out = QString::fromStdString(g_folder + "/ours.wav");
    std::atomic<bool> cancelled{false};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const murmelo::MediaImportError error = murmelo::MediaImport::exportToWav(
            QString::fromStdString(songPath(kind)), out, cancelled);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!error.ok())
            state.SkipWithError(error.description.toStdString().c_str());
        record(state, "ours/" + kind, took.count());
    }
}

void ffmpegCommand(benchmark::State &state, const std::string &kind)
{
    const std::string command = "ffmpeg -nostdin -loglevel error -y -i '" + songPath(kind) +
                                "' -ar 44100 -ac 2 -sample_fmt s16 '" + g_folder + "/peer.wav'";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!run(command))
            state.SkipWithError("ffmpeg failed");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        record(state, "ffmpeg/" + kind, took.count());
    }
}

} // namespace

BENCHMARK_CAPTURE(ours, flac_48k_stereo_5min, std::string("flac"))
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ffmpegCommand, flac_48k_stereo_5min, std::string("flac"))
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ours, aac_m4a_5min, std::string("m4a"))
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ffmpegCommand, aac_m4a_5min, std::string("m4a"))
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!makeSongs()) {
        std::fprintf(stderr, "could not make the songs (sox and ffmpeg are needed)\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    for (const std::string kind : {"flac", "m4a"}) {
        const double mine = g_seconds["ours/" + kind], peer = g_seconds["ffmpeg/" + kind];
        if (mine > 0 && peer > 0)
            std::printf("5-minute %-4s  ours %7.1f ms   ffmpeg command %7.1f ms   ratio %.2fx\n",
                        kind.c_str(), mine * 1000, peer * 1000, mine / peer);
    }
    benchmark::Shutdown();
    QDir(QString::fromStdString(g_folder)).removeRecursively();
    return 0;
}
