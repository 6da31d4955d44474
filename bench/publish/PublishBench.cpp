// Publishing a 5-minute reversal with 10 marked phrases as one page, beside the ffmpeg command
// that encodes the same 22 clips (the whole recording forward and reversed, each phrase and its
// forward twin) to MP3 at the same bit rate in one run. Prints both times and the page's size.
#include "publish/Mp3Encoder.h"
#include "publish/PagePublisher.h"
#include "support/ChildProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
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

constexpr int kRate = 44100;
constexpr int kSeconds = 300;
QString folder;
murmelo::PublishSource source;
std::map<std::string, double> bestSeconds;
std::map<std::string, double> bestCpuSeconds; // user + system, every thread of the process
double cpuSeconds(const rusage &usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
qint64 pageBytes = 0;

double run(std::vector<std::string> argv, double *cpu = nullptr)
{
    const murmelo::bench::ChildRun child = murmelo::bench::runQuietly(std::move(argv));
    if (cpu)
        *cpu = child.cpuSeconds;
    return child.seconds;
}

void keepBest(const std::string &name, double seconds, double cpu)
{
    for (auto [best, value] : {std::pair{&bestSeconds, seconds}, std::pair{&bestCpuSeconds, cpu}}) {
        auto [it, fresh] = best->emplace(name, value);
        if (!fresh)
            it->second = std::min(it->second, value);
    }
}

void PublishPage(benchmark::State &state)
{
    const QString page = folder + QStringLiteral("/page.html");
    const std::atomic<bool> never{false};
    for (auto _ : state) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        const murmelo::PublishResult result =
            murmelo::PagePublisher::publish(source, {}, page, never);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        getrusage(RUSAGE_SELF, &after);
        if (!result.published()) {
            state.SkipWithError(result.error.toUtf8().constData());
            return;
        }
        pageBytes = result.bytes;
        state.SetIterationTime(seconds);
        keepBest("murmelo publish", seconds, cpuSeconds(after) - cpuSeconds(before));
    }
}

void FfmpegClips(benchmark::State &state)
{
    const std::string bitRate = std::to_string(murmelo::Mp3Encoder::monoBitRate);
    std::vector<std::string> argv = {"ffmpeg",
                                     "-nostdin",
                                     "-y",
                                     "-i",
                                     source.forwardPath.toStdString(),
                                     "-i",
                                     source.reversePath.toStdString()};
    const auto output = [&](int input, double from, double to, const std::string &name) {
        for (const std::string &arg :
             {std::string("-map"), std::to_string(input) + ":a", std::string("-ss"),
              std::to_string(from), std::string("-to"), std::to_string(to), std::string("-c:a"),
              std::string("libmp3lame"), std::string("-b:a"), bitRate,
              (folder + "/" + QString::fromStdString(name)).toStdString()})
            argv.push_back(arg);
    };
    output(0, 0, kSeconds, "whole-f.mp3");
    output(1, 0, kSeconds, "whole-r.mp3");
    for (int i = 0; i < source.markers.size(); ++i) {
        const double start = double(source.markers[i].frames.start) / kRate;
        const double end = double(source.markers[i].frames.end) / kRate;
        output(1, start, end, "p" + std::to_string(i) + "-r.mp3");
        output(0, kSeconds - end, kSeconds - start, "p" + std::to_string(i) + "-f.mp3");
    }
    for (auto _ : state) {
        double cpu = 0;
        const double seconds = run(argv, &cpu);
        state.SetIterationTime(seconds);
        keepBest("ffmpeg, same clips", seconds, cpu);
    }
}

BENCHMARK(PublishPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(FfmpegClips)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir scratch;
    folder = scratch.path();
    source.title = QStringLiteral("Benchmark");
    source.message = QStringLiteral("ten phrases");
    source.forwardPath = folder + QStringLiteral("/forward.wav");
    source.reversePath = folder + QStringLiteral("/reversal.wav");
    // Mono speech-band noise that rises and falls like talk, as a microphone records it.
    run({"sox", "-R", "-n", "-r", std::to_string(kRate), "-c", "1", "-b", "16",
         source.forwardPath.toStdString(), "synth", std::to_string(kSeconds), "pinknoise",
         "tremolo", "3", "80", "vol", "0.4"});
    run({"sox", source.forwardPath.toStdString(), source.reversePath.toStdString(), "reverse"});
    for (int i = 0; i < 10; ++i) {
        const double start = 10 + i * 28.5;
        const double length = 3 + (i % 4);
        source.markers.append({0,
                               {qint64(start * kRate), qint64((start + length) * kRate)},
                               QStringLiteral("phrase %1").arg(i + 1)});
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double ours = bestSeconds["murmelo publish"];
    const double peer = bestSeconds["ffmpeg, same clips"];
    std::printf("\nPublishing a %d-minute mono reversal with 10 phrases (22 clips), best of 3:\n",
                kSeconds / 60);
    const double oursCpu = bestCpuSeconds["murmelo publish"];
    const double peerCpu = bestCpuSeconds["ffmpeg, same clips"];
    std::printf("  %-22s %8.0f ms (cpu %6.0f ms)   page %.2f MB\n", "murmelo publish", ours * 1000,
                oursCpu * 1000, pageBytes / 1e6);
    std::printf("  %-22s %8.0f ms (cpu %6.0f ms)   (MP3 files only)\n", "ffmpeg, same clips",
                peer * 1000, peerCpu * 1000);
    if (peer > 0 && peerCpu > 0)
        std::printf("  ratio %.2fx ffmpeg's time, cpu %.2fx (target: at most 1.2x)\n", ours / peer,
                    oursCpu / peerCpu);
    return 0;
}
