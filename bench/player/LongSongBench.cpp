// A one-hour stereo song on the two players (forward and reversed), streamed from the disk beside
// the same players with both files decoded into memory first, as playback used to work: peak
// memory above the idle process while playing, and how long a seek takes to be heard.
#include "audio/AudioOutputNull.h"
#include "audio/Player.h"
#include "support/ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

using namespace murmelo;
using namespace std::chrono_literals;

namespace {

QString g_forward;
QString g_reversed;
double g_peakMiB[2] = {0, 0};       // streamed, decoded
double g_seekMeanUs[3] = {0, 0, 0}; // streamed from the page cache, streamed from the disk, decoded
double g_seekMaxUs[3] = {0, 0, 0};

// The whole file as interleaved floats in memory: the peer.
class DecodedAudio : public PlayerAudio {
public:
    explicit DecodedAudio(PlayerAudio &file)
        : PlayerAudio(file.sampleRate(), file.channels(), file.frames()),
          samples_(size_t(file.frames() * file.channels()))
    {
        file.read(0, file.frames(), samples_.data());
    }

    qint64 read(qint64 first, qint64 count, float *out) override
    {
        count = std::clamp<qint64>(frames() - first, 0, count);
        std::copy_n(samples_.data() + first * channels(), count * channels(), out);
        return count;
    }

private:
    std::vector<float> samples_;
};

std::shared_ptr<PlayerAudio> openAudio(const QString &path, bool decoded)
{
    QString error;
    auto audio = PlayerAudio::open(path, error);
    if (!audio) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(error));
        return nullptr;
    }
    if (decoded)
        return std::make_shared<DecodedAudio>(*audio);
    return audio;
}

using murmelo::bench::resetPeak;
using murmelo::bench::statusKb;

struct SongPlayer {
    NullAudioOutput *output = nullptr;
    std::unique_ptr<Player> player;

    SongPlayer(const QString &path, bool decoded)
    {
        auto audio = openAudio(path, decoded);
        if (!audio)
            return;
        auto out = std::make_unique<NullAudioOutput>();
        output = out.get();
        player = Player::open(std::move(audio), std::move(out));
        player->setEnableRate(true);
    }
};

// Listening as a user of a long song does: the forward song from start to end, with a switch to
// the reversal and back every few minutes, and the reversal played in stretches at 1.5x.
void BM_PlayingAnHourWithBothPlayers(benchmark::State &state)
{
    const bool decoded = state.range(0) == 1;
    for (auto _ : state) {
        resetPeak();
        const long idle = statusKb("VmRSS:");
        {
            SongPlayer forward(g_forward, decoded);
            SongPlayer reversed(g_reversed, decoded);
            if (!forward.player || !reversed.player)
                return state.SkipWithError("no input");
            reversed.player->setRate(1.5f);
            const double duration = forward.player->duration();
            forward.player->play();
            while (forward.output->isRunning()) {
                forward.output->advance(100ms);
                const double at = forward.player->currentTime();
                if (std::fmod(at, 300.0) < 0.1 && at + 30 < duration) {
                    forward.player->pause();
                    reversed.player->setCurrentTime(duration - at);
                    reversed.player->play();
                    for (int i = 0; i < 200; ++i)
                        reversed.output->advance(100ms);
                    reversed.player->pause();
                    forward.player->setCurrentTime(at + 0.2);
                    forward.player->play();
                }
            }
        }
        g_peakMiB[decoded] = double(statusKb("VmHWM:") - idle) / 1024.0;
        state.SetIterationTime(1);
    }
    state.counters["peak_above_idle_MiB"] = g_peakMiB[decoded];
}
BENCHMARK(BM_PlayingAnHourWithBothPlayers)
    ->ArgName("decoded")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Evicts the file from the page cache, so that the next read comes from the disk.
void dropFromPageCache(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// From setCurrentTime on a playing player to the first frame rendered at the new place, for
// seeks to places spread over the hour.
void BM_SeekLatency(benchmark::State &state)
{
    const int kind = int(state.range(0)); // 0 streamed (cached), 1 streamed (disk), 2 decoded
    const float rate = float(state.range(1)) / 100.0f;
    SongPlayer song(g_forward, kind == 2);
    if (!song.player)
        return state.SkipWithError("no input");
    using Clock = std::chrono::steady_clock;
    Clock::time_point heard;
    bool rendered = false;
    song.output->setSink([&](const float *, qint64, int) {
        if (!rendered)
            heard = Clock::now();
        rendered = true;
    });
    song.player->setRate(rate);
    song.player->play();
    song.output->advance(100ms);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> place(0, song.player->duration() - 60);
    double sum = 0, worst = 0;
    int seeks = 0;
    for (auto _ : state) {
        const double target = place(random);
        if (kind == 1) {
            state.PauseTiming();
            dropFromPageCache(g_forward);
            state.ResumeTiming();
        }
        rendered = false;
        const Clock::time_point asked = Clock::now();
        song.player->setCurrentTime(target);
        while (!rendered && song.output->isRunning())
            song.output->advance(1ms);
        const double seconds = std::chrono::duration<double>(heard - asked).count();
        state.SetIterationTime(seconds);
        sum += seconds;
        worst = std::max(worst, seconds);
        ++seeks;
    }
    const int slot = kind;
    if (rate == 1.0f) {
        g_seekMeanUs[slot] = sum / seeks * 1e6;
        g_seekMaxUs[slot] = worst * 1e6;
    }
    state.counters["mean_us"] = sum / seeks * 1e6;
    state.counters["max_us"] = worst * 1e6;
}
BENCHMARK(BM_SeekLatency)
    ->ArgNames({"kind", "rate_pct"})
    ->ArgsProduct({{0, 1, 2}, {100, 150}})
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMicrosecond);

bool makeSong(const QString &path, const char *tones)
{
    // Stereo CD audio with movement in it, an hour long: 635 MB.
    const QString command =
        QStringLiteral("sox -n -r 44100 -c 2 -b 16 '%1' synth 3600 %2 tremolo 3 60 gain -6")
            .arg(path, QLatin1String(tones));
    return std::system(command.toLocal8Bit().constData()) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = QDir::tempPath() + QStringLiteral("/murmelo-bench-longsong");
    QDir().mkpath(folder);
    g_forward = folder + QStringLiteral("/song.wav");
    g_reversed = folder + QStringLiteral("/reversal.wav");
    // The reversal only has to be as long as the song for these figures; two syntheses are much
    // quicker than reversing an hour.
    if (!makeSong(g_forward, "sine 220 sine 330") || !makeSong(g_reversed, "sine 330 sine 220")) {
        std::fprintf(stderr, "could not make the songs with sox\n");
        QDir(folder).removeRecursively();
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nan hour of stereo on both players, peak memory above idle: streamed %.1f MiB, "
                "decoded into memory %.1f MiB (target: under 64 MiB)\n",
                g_peakMiB[0], g_peakMiB[1]);
    std::printf("seek to the first frame heard at 1.0x, mean / worst: streamed %.0f / %.0f us "
                "(from the disk %.0f / %.0f us), decoded into memory %.0f / %.0f us\n",
                g_seekMeanUs[0], g_seekMaxUs[0], g_seekMeanUs[1], g_seekMaxUs[1], g_seekMeanUs[2],
                g_seekMaxUs[2]);
    QDir(folder).removeRecursively();
    return 0;
}
