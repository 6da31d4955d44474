// The spectrogram beside sox's, measured in the same run: `murmelo spectrogram` and
// `sox FILE -n spectrogram -r` drawing a 10-minute stereo song at the same picture size (time and
// peak memory of each process), and the playback screen's pane scrolled through an hour-long song
// at several zoom levels (peak memory above the idle process, and the main thread's time per
// repaint, which is all the pane ever takes from playback).
#include "audio/SpectrogramImage.h"
#include "playback/WaveformTimeline.h"
#include "screens/playback/SpectrogramPane.h"
#include "support/ChildProcess.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace {

std::string folder;
std::string tenMinutes;
std::map<std::string, double> bestSeconds;
std::map<std::string, long> peakKiB;
double paneRepaintMs = 0;
double paneFirstViewSeconds = 0;
double panePeakMiB = 0;
size_t paneCacheMiB = 0;

using murmelo::bench::ChildRun;
using murmelo::bench::resetPeak;
using murmelo::bench::runQuietly;
using murmelo::bench::statusKb;

void timeChild(benchmark::State &state, const std::string &name,
               const std::vector<std::string> &argv, const std::string &output)
{
    for (auto _ : state) {
        const ChildRun run = runQuietly(argv);
        state.SetIterationTime(run.seconds);
        auto [it, fresh] = bestSeconds.emplace(name, run.seconds);
        if (!fresh)
            it->second = std::min(it->second, run.seconds);
        peakKiB[name] = run.maxRssKiB;
        std::remove(output.c_str());
    }
}

const std::string murmelo = MURMELO_EXECUTABLE;
constexpr int kWidth = 1000;
constexpr int kHeight = 513; // sox's fastest heights are a power of two plus one

void PictureMurmelo(benchmark::State &state)
{
    const std::string out = folder + "/m.png";
    timeChild(state, "picture/murmelo",
              {murmelo, "spectrogram", tenMinutes, "-o", out, "--size",
               std::to_string(kWidth) + "x" + std::to_string(kHeight)},
              out);
}
// The same picture drawn inside this process: the command less its start-up.
void PictureInProcess(benchmark::State &state)
{
    const QString path = QString::fromStdString(tenMinutes);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QString error;
        const QImage image = murmelo::SpectrogramImage::draw(
            path, QSize(kWidth, kHeight), murmelo::FrequencyAxis::Scale::Linear, error);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (image.isNull())
            return state.SkipWithError(error.toStdString().c_str());
        state.SetIterationTime(seconds);
        auto [it, fresh] = bestSeconds.emplace("picture/in-process", seconds);
        if (!fresh)
            it->second = std::min(it->second, seconds);
    }
}
void PictureSox(benchmark::State &state)
{
    const std::string out = folder + "/s.png";
    timeChild(state, "picture/sox",
              {"sox", tenMinutes, "-n", "spectrogram", "-r", "-x", std::to_string(kWidth), "-y",
               std::to_string(kHeight), "-o", out},
              out);
}

// An hour of 44.1 kHz 16-bit stereo: a voice-like buzz gliding in pitch, written a second at a
// time.
QString writeHour(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    const qint64 frames = 3600LL * 44100;
    const qint64 bytes = frames * 4;
    QByteArray header("RIFF");
    const auto le32 = [&header](quint32 v) {
        for (int i = 0; i < 4; ++i)
            header.append(char((v >> (8 * i)) & 0xff));
    };
    const auto le16 = [&header](quint16 v) {
        header.append(char(v & 0xff));
        header.append(char(v >> 8));
    };
    le32(quint32(36 + bytes));
    header.append("WAVEfmt ");
    le32(16);
    le16(1);
    le16(2);
    le32(44100);
    le32(44100 * 4);
    le16(4);
    le16(16);
    header.append("data");
    le32(quint32(bytes));
    file.write(header);
    std::vector<qint16> second(44100 * 2);
    double phase = 0;
    for (int s = 0; s < 3600; ++s) {
        for (int i = 0; i < 44100; ++i) {
            const double pitch = 120 + 80 * std::sin(2 * std::numbers::pi * (s + i / 44100.0) / 7);
            phase = std::fmod(phase + pitch / 44100, 1.0);
            const auto v = qint16(6000 * (1 - 2 * phase));
            second[size_t(2 * i)] = v;
            second[size_t(2 * i + 1)] = v;
        }
        file.write(reinterpret_cast<const char *>(second.data()), qint64(second.size() * 2));
    }
    return file.error() == QFile::NoError ? path : QString();
}

void settle(murmelo::SpectrogramPane &pane)
{
    const QDeadlineTimer deadline(600000);
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    while (pane.tiles().pending() > 0 && !deadline.hasExpired());
    QCoreApplication::processEvents();
}

// The pane 1200 points wide over an hour: the whole hour, then one minute and five seconds at
// a time scrolled from start to end and back a stretch, as a listener looks through a song.
void PaneScrollingAnHour(benchmark::State &state)
{
    const QString hour = writeHour(QString::fromStdString(folder) + QStringLiteral("/hour.wav"));
    if (hour.isEmpty())
        return state.SkipWithError("could not write the hour");
    for (auto _ : state) {
        murmelo::SpectrogramPane pane;
        pane.resize(1200 + murmelo::SpectrogramPane::kLeftMargin +
                        murmelo::SpectrogramPane::kRightMargin,
                    240);
        pane.show();
        QCoreApplication::processEvents();
        resetPeak();
        const long idle = statusKb("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        pane.setSource(hour);
        murmelo::WaveformTimeline timeline;
        timeline.setDuration(3600);
        pane.setTimeline(timeline);
        settle(pane);
        paneFirstViewSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        int repaints = 0;
        double repaintSeconds = 0;
        const auto repaint = [&] {
            const auto before = std::chrono::steady_clock::now();
            pane.repaint();
            repaintSeconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
            ++repaints;
        };
        for (double span : {60.0, 5.0}) {
            timeline.showAll();
            timeline.zoom(3600 / span, 0);
            const double step = span / 2;
            // A minute at a time through the hour; five seconds at a time through ten minutes.
            const double end = span >= 60 ? 3600 : 600;
            for (double at = 0; at + span <= end; at += step) {
                timeline.scrollTo(at);
                pane.setTimeline(timeline);
                settle(pane);
                repaint();
            }
        }
        panePeakMiB = double(statusKb("VmHWM:") - idle) / 1024.0;
        paneCacheMiB = pane.tiles().cachedBytes() >> 20;
        paneRepaintMs = 1000 * repaintSeconds / std::max(1, repaints);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["peak_above_idle_MiB"] = panePeakMiB;
    state.counters["repaint_ms"] = paneRepaintMs;
}

} // namespace

BENCHMARK(PictureMurmelo)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(PictureInProcess)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(PictureSox)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(PaneScrollingAnHour)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    folder = scratch.path().toStdString();
    tenMinutes = folder + "/ten-minutes.wav";
    // A stereo song of ten minutes: a sweeping tone on one side, pink noise on the other.
    runQuietly({"sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", tenMinutes, "synth", "600",
                "sine", "100-4000", "pinknoise", "vol", "0.5"});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n");
    const auto ours = bestSeconds.find("picture/murmelo");
    const auto sox = bestSeconds.find("picture/sox");
    if (ours != bestSeconds.end() && sox != bestSeconds.end())
        std::printf("10-minute stereo song as a %dx%d spectrogram: murmelo %.3f s (peak %.1f MiB), "
                    "sox %.3f s (peak %.1f MiB), ratio %.2fx (target <= 0.5x)\n",
                    kWidth, kHeight, ours->second, peakKiB["picture/murmelo"] / 1024.0, sox->second,
                    peakKiB["picture/sox"] / 1024.0, ours->second / sox->second);
    const auto inside = bestSeconds.find("picture/in-process");
    if (inside != bestSeconds.end() && sox != bestSeconds.end())
        std::printf("the same drawn inside this process (no start-up): %.3f s, ratio %.2fx\n",
                    inside->second, inside->second / sox->second);
    if (panePeakMiB > 0)
        std::printf("pane scrolling an hour: first whole view %.2f s, peak %.1f MiB above idle "
                    "(target < 64), tiles kept %zu MiB, main thread %.2f ms per repaint\n",
                    paneFirstViewSeconds, panePeakMiB, paneCacheMiB, paneRepaintMs);
    return 0;
}
