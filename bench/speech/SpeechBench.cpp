// Finding phrases and the forward words, each beside a peer on the same audio in the same run:
// the phrases of a one-hour 44.1 kHz stereo song beside sox's own silence detector reading the
// same file, and recognising a minute of speech beside pocketsphinx_continuous on the same
// 16 kHz file (its time includes loading the model, so ours is shown both ways).
#include "audio/SpeechRecogniser.h"
#include "audio/WavFile.h"
#include "playback/PhraseSegmenter.h"
#include "support/PeerReport.h"

#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace murmelo;

namespace {

std::string folder;
QString song;      // one hour, 44.1 kHz stereo 16-bit
QString speech16k; // a minute of speech, 16 kHz mono
constexpr double kSongSeconds = 3600;

int shell(const std::string &command)
{
    return std::system(command.c_str());
}

// A minute of espeak-ng sentences with pauses over a quiet hiss, repeated to an hour.
void makeAudio()
{
    const std::string minute = folder + "/minute.wav";
    std::string parts;
    const char *sentences[] = {"the quick brown fox jumps over the lazy dog",
                               "please call stella and ask her to bring these things",
                               "we also need a small plastic snake and a big toy frog",
                               "she can scoop these things into three red bags"};
    for (int i = 0; i < 4; ++i) {
        const std::string part = folder + "/s" + std::to_string(i) + ".wav";
        shell("espeak-ng -w '" + part + ".raw' '" + sentences[i] + "' && sox '" + part +
              ".raw' -r 44100 -c 2 '" + part + "' pad 0.3 0.6");
        parts += " '" + part + "'";
    }
    shell("sox" + parts + " '" + folder + "/round.wav'");
    // Rounds of the sentences to a minute, then a minute to an hour.
    shell("sox '" + folder + "/round.wav' '" + folder + "/long.wav' repeat 7 trim 0 60");
    shell("sox -m '" + folder + "/long.wav' -n -r 44100 -c 2 '" + minute +
          "' synth 60 pinknoise vol 0.01 2>/dev/null || cp '" + folder + "/long.wav' '" + minute +
          "'");
    song = QString::fromStdString(folder + "/hour.wav");
    shell("sox '" + minute + "' '" + song.toStdString() + "' repeat 59");
    speech16k = QString::fromStdString(folder + "/minute-16k.wav");
    shell("sox '" + minute + "' -r 16000 -c 1 -b 16 '" + speech16k.toStdString() + "'");
}

void SegmentHourOurs(benchmark::State &state)
{
    for (auto _ : state) {
        QString error;
        const auto phrases = suggestPhrases(song, std::nullopt, {}, error);
        if (!phrases || phrases->isEmpty())
            state.SkipWithError("no phrases");
        else
            state.counters["phrases"] = double(phrases->size());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(kSongSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void SegmentHourSox(benchmark::State &state)
{
    // sox's silence effect splitting the same file at its pauses (a quarter-second at 1 %).
    const std::string command =
        "sox '" + song.toStdString() + "' -n silence 1 0.1 1% -1 0.25 1% 2>/dev/null";
    for (auto _ : state)
        if (shell(command) != 0)
            state.SkipWithError("sox failed");
}

void RecogniseOursWarm(benchmark::State &state)
{
    QString why;
    const auto recogniser = defaultSpeechRecogniserFactory()(why);
    QString error;
    const auto samples = speechSamples(speech16k, 0, qint64(1) << 40, error);
    if (!recogniser || !samples) {
        state.SkipWithError("no recogniser or audio");
        return;
    }
    const std::atomic<bool> cancel{false};
    for (auto _ : state)
        benchmark::DoNotOptimize(recogniser->recognise(*samples, cancel, error));
}

void RecogniseOursWithModel(benchmark::State &state)
{
    const std::atomic<bool> cancel{false};
    for (auto _ : state) {
        QString why;
        QString error;
        const auto recogniser = defaultSpeechRecogniserFactory()(why);
        const auto samples = speechSamples(speech16k, 0, qint64(1) << 40, error);
        if (!recogniser || !samples) {
            state.SkipWithError("no recogniser or audio");
            return;
        }
        benchmark::DoNotOptimize(recogniser->recognise(*samples, cancel, error));
    }
}

void RecognisePeer(benchmark::State &state)
{
    const std::string command =
        "pocketsphinx_continuous -infile '" + speech16k.toStdString() + "' >/dev/null 2>&1";
    for (auto _ : state)
        if (shell(command) != 0)
            state.SkipWithError("pocketsphinx_continuous failed");
}

} // namespace

BENCHMARK(SegmentHourOurs)
    ->Name("segment/ours")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(SegmentHourSox)
    ->Name("segment/sox")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();
BENCHMARK(RecogniseOursWarm)
    ->Name("recognise/ours-warm")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(RecogniseOursWithModel)
    ->Name("recognise/ours-with-model")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(RecognisePeer)
    ->Name("recognise/pocketsphinx_continuous")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

int main(int argc, char **argv)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string base = std::string(tmp ? tmp : "/tmp") + "/murmelo-bench-XXXXXX";
    if (!mkdtemp(base.data()))
        return 1;
    folder = base;
    makeAudio();

    murmelo::bench::PeerReport report;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();

    std::printf("\n");
    // Runs are named with their settings after the name given here.
    const auto named = [&](const std::string &prefix) {
        for (const auto &[name, times] : report.times())
            if (name.rfind(prefix, 0) == 0)
                return name;
        return std::string();
    };
    if (const auto ours = report.times().find(named("segment/ours")); ours != report.times().end())
        std::printf("segmentation of one hour: %.0fx real time (wall), %.0fx (cpu)   target >= "
                    "300x on one core\n",
                    kSongSeconds * 1000 / ours->second.real,
                    kSongSeconds * 1000 / ours->second.cpu);
    report.compare("segmentation, beside sox silence", named("segment/ours"), named("segment/sox"),
                   "ms", 1.0);
    report.compare("recognition with model load", named("recognise/ours-with-model"),
                   named("recognise/pocketsphinx"), "ms", 1.1);
    report.compare("recognition, model loaded", named("recognise/ours-warm"),
                   named("recognise/pocketsphinx"), "ms", 1.1);
    QDir(QString::fromStdString(folder)).removeRecursively();
    return 0;
}
