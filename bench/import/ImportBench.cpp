// Importing a five-minute song, beside the ffmpeg command line doing the same conversion: FLAC,
// MP3 and AAC (m4a) at the 44.1 kHz the import writes, and a 48 kHz FLAC that must be resampled.
// Wall time and CPU time (all threads of ours; the ffmpeg child's) are both printed: on a busy
// machine the CPU time is the steadier figure.
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
#include <sys/resource.h>
#include <utility>

namespace {

std::string g_folder;
std::map<std::string, double> g_seconds; // mean wall time per benchmark name
std::map<std::string, double> g_cpu;     // mean CPU time per benchmark name

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

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
    bool ok = true;
    for (const char *rate : {"44100", "48000"}) {
        const std::string wav = g_folder + "/source" + rate + ".wav";
        ok = ok && run(std::string("sox -n -r ") + rate + " -c 2 -b 16 '" + wav +
                       "' synth 300 pinknoise synth 300 sine mix 440 vol 0.3");
    }
    const auto encode = [&](const char *rate, const std::string &kind, const char *codec) {
        return run("ffmpeg -nostdin -loglevel error -y -i '" + g_folder + "/source" + rate +
                   ".wav' " + codec + " '" + songPath(kind) + "'");
    };
    return ok && encode("48000", "48k.flac", "-c:a flac") && encode("44100", "flac", "-c:a flac") &&
           encode("44100", "mp3", "-c:a libmp3lame -b:a 192k") &&
           encode("44100", "m4a", "-c:a aac -b:a 256k");
}

void record(benchmark::State &state, const std::string &key, double seconds, double cpu)
{
    g_seconds[key] += seconds / double(state.max_iterations);
    g_cpu[key] += cpu / double(state.max_iterations);
    state.SetIterationTime(seconds);
}

void ours(benchmark::State &state, const std::string &kind)
{
    const QString out = QString::fromStdString(g_folder + "/ours.wav");
    std::atomic<bool> cancelled{false};
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        const auto start = std::chrono::steady_clock::now();
        const murmelo::MediaImportError error = murmelo::MediaImport::exportToWav(
            QString::fromStdString(songPath(kind)), out, cancelled);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!error.ok())
            state.SkipWithError(error.description.toStdString().c_str());
        record(state, "ours/" + kind, took.count(), cpuSeconds(RUSAGE_SELF) - cpuBefore);
    }
}

void ffmpegCommand(benchmark::State &state, const std::string &kind)
{
    const std::string command = "ffmpeg -nostdin -loglevel error -y -i '" + songPath(kind) +
                                "' -ar 44100 -ac 2 -sample_fmt s16 '" + g_folder + "/peer.wav'";
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
        const auto start = std::chrono::steady_clock::now();
        if (!run(command))
            state.SkipWithError("ffmpeg failed");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        record(state, "ffmpeg/" + kind, took.count(), cpuSeconds(RUSAGE_CHILDREN) - cpuBefore);
    }
}

const char *const kKinds[] = {"flac", "mp3", "m4a", "48k.flac"};

} // namespace

void registerAll()
{
    for (const char *kind : kKinds) {
        for (const auto &[name, function] :
             {std::pair{"ours/", &ours}, std::pair{"ffmpegCommand/", &ffmpegCommand}}) {
            benchmark::RegisterBenchmark((std::string(name) + kind).c_str(), function,
                                         std::string(kind))
                ->UseManualTime()
                ->Iterations(3)
                ->Unit(benchmark::kMillisecond);
        }
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!makeSongs()) {
        std::fprintf(stderr, "could not make the songs (sox and ffmpeg are needed)\n");
        return 1;
    }
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    std::printf(
        "\nFive-minute stereo songs to a 44.1 kHz WAV (target <= 0.8x the ffmpeg command):\n");
    for (const std::string kind : kKinds) {
        const std::string mine = "ours/" + kind, peer = "ffmpeg/" + kind;
        if (g_seconds[mine] > 0 && g_seconds[peer] > 0)
            std::printf("  %-9s ours %7.1f ms (cpu %7.1f)   ffmpeg command %7.1f ms (cpu %7.1f)   "
                        "ratio %.2fx (cpu %.2fx)\n",
                        kind.c_str(), g_seconds[mine] * 1000, g_cpu[mine] * 1000,
                        g_seconds[peer] * 1000, g_cpu[peer] * 1000,
                        g_seconds[mine] / g_seconds[peer], g_cpu[mine] / g_cpu[peer]);
    }
    benchmark::Shutdown();
    QDir(QString::fromStdString(g_folder)).removeRecursively();
    return 0;
}
