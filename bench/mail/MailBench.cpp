// The mail path beside its peers, measured in the same run: the 64-column Base64 of 100 MB
// against `openssl base64`, CRC-32 against zlib's, sending a 50 MB attachment to a local aiosmtpd
// against curl sending the same message file, and the peak memory of composing and sending a
// 100 MB attachment.
#include "mail/smtp/MMSMTPMessage.h"
#include "support/ChildProcess.h"
#include "support/ScratchFolders.h"
#include "toolkit/codec/Base64.h"
#include "toolkit/codec/Crc32.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

using namespace murmelo;

namespace {

QString folder;
QByteArray hundredMegabytes;
std::map<std::string, double> best;
// CPU seconds (user and system) beside the wall time: on a shared machine the wall time also
// counts the turns other processes take.
std::map<std::string, double> bestCpu;
std::map<std::string, double> peakMiB;
quint16 relayPort = 0;
QString fiftyMegabyteMessage; // the composed message as curl uploads it
QString hundredMegabyteFile;

using Clock = std::chrono::steady_clock;

void keepBest(const std::string &name, double seconds)
{
    auto [it, fresh] = best.emplace(name, seconds);
    if (!fresh)
        it->second = std::min(it->second, seconds);
}

void keepBestCpu(const std::string &name, double seconds)
{
    auto [it, fresh] = bestCpu.emplace(name, seconds);
    if (!fresh)
        it->second = std::min(it->second, seconds);
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QByteArray bytes(n, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), n / 4);
    return bytes;
}

MMSMTPParts attachmentParts(const QByteArray &encoded)
{
    return {{{kMMSMTPPartContentTypeKey, "text/plain"},
             {kMMSMTPPartContentTransferEncodingKey, "8bit"},
             {kMMSMTPPartMessageKey, QStringLiteral("Listen to this backwards.")}},
            {{kMMSMTPPartContentDispositionKey, "attachment; filename=\"murmelo.wav\""},
             {kMMSMTPPartContentTypeKey, "audio/wave"},
             {kMMSMTPPartContentTransferEncodingKey, "base64"},
             {kMMSMTPPartMessageKey, encoded}}};
}

// Sends on the event loop until the delegate hears the outcome.
class Waiter : public MMSMTPMessageDelegate {
public:
    void messageSent(MMSMTPMessage *) override { finish(true); }
    void messageFailed(MMSMTPMessage *, const MMSMTPError &e) override
    {
        std::fprintf(stderr, "send failed: %d %s\n", e.code, qPrintable(e.localizedDescription));
        finish(false);
    }
    bool run(MMSMTPMessage &message)
    {
        message.setDelegate(this);
        if (!message.send())
            return false;
        loop_.exec();
        return ok_;
    }

private:
    void finish(bool ok)
    {
        ok_ = ok;
        loop_.quit();
    }
    QEventLoop loop_;
    bool ok_ = false;
};

bool sendAttachment(const QByteArray &encoded, quint16 port)
{
    MMSMTPMessage message;
    message.setLogWarnings(false);
    message.setRelayHost(QStringLiteral("127.0.0.1"));
    message.setRelayPorts({port});
    message.setFromEmail(QStringLiteral("me@murmelo.test"));
    message.setToEmail(QStringLiteral("you@murmelo.test"));
    message.setSubject(QStringLiteral("I've discovered a hidden message!"));
    message.setParts(attachmentParts(encoded));
    Waiter waiter;
    return waiter.run(message);
}

void Base64SixtyFourColumns(benchmark::State &state)
{
    for (auto _ : state) {
        const double cpu = processCpuSeconds();
        const auto start = Clock::now();
        QByteArray encoded = base64EncodedString(hundredMegabytes);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        keepBestCpu("base64/murmelo", processCpuSeconds() - cpu);
        benchmark::DoNotOptimize(encoded.data());
        state.SetIterationTime(seconds);
        keepBest("base64/murmelo", seconds);
    }
    state.SetBytesProcessed(state.iterations() * hundredMegabytes.size());
}

void Base64OpenSsl(benchmark::State &state)
{
    const std::string in = (folder + "/hundred.bin").toStdString();
    const std::string out = (folder + "/hundred.b64").toStdString();
    for (auto _ : state) {
        const bench::ChildRun run = bench::runChild({"openssl", "base64", "-in", in, "-out", out});
        state.SetIterationTime(run.seconds);
        keepBest("base64/openssl", run.seconds);
        keepBestCpu("base64/openssl", run.cpuSeconds);
        std::remove(out.c_str());
    }
    state.SetBytesProcessed(state.iterations() * hundredMegabytes.size());
}

void Crc32Ours(benchmark::State &state)
{
    for (auto _ : state) {
        const double cpu = processCpuSeconds();
        const auto start = Clock::now();
        benchmark::DoNotOptimize(murmelo::crc32(hundredMegabytes));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        keepBestCpu("crc32/murmelo", processCpuSeconds() - cpu);
        state.SetIterationTime(seconds);
        keepBest("crc32/murmelo", seconds);
    }
    state.SetBytesProcessed(state.iterations() * hundredMegabytes.size());
}

void Crc32Zlib(benchmark::State &state)
{
    for (auto _ : state) {
        const double cpu = processCpuSeconds();
        const auto start = Clock::now();
        benchmark::DoNotOptimize(
            ::crc32(0, reinterpret_cast<const Bytef *>(hundredMegabytes.constData()),
                    uInt(hundredMegabytes.size())));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        keepBestCpu("crc32/zlib", processCpuSeconds() - cpu);
        state.SetIterationTime(seconds);
        keepBest("crc32/zlib", seconds);
    }
    state.SetBytesProcessed(state.iterations() * hundredMegabytes.size());
}

void SendFiftyMegabytesOurs(benchmark::State &state)
{
    const QByteArray wav = hundredMegabytes.left(50 * 1000 * 1000);
    for (auto _ : state) {
        // From the raw attachment to the relay's acceptance: encoding is part of sending.
        const auto start = Clock::now();
        const bool ok = sendAttachment(base64EncodedString(wav), relayPort);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!ok)
            state.SkipWithError("send failed");
        state.SetIterationTime(seconds);
        keepBest("send50/murmelo", seconds);
    }
}

void SendFiftyMegabytesCurl(benchmark::State &state)
{
    const std::string url = "smtp://127.0.0.1:" + std::to_string(relayPort);
    for (auto _ : state) {
        const bench::ChildRun run = bench::runChild(
            {"curl", "-s", "--url", url, "--mail-from", "me@murmelo.test", "--mail-rcpt",
             "you@murmelo.test", "--upload-file", fiftyMegabyteMessage.toStdString()});
        if (!run.ok)
            state.SkipWithError("curl failed");
        state.SetIterationTime(run.seconds);
        keepBest("send50/curl", run.seconds);
    }
}

void PeakMemoryHundredMegabytes(benchmark::State &state)
{
    for (auto _ : state) {
        const bench::ChildRun ours =
            bench::runChild({QCoreApplication::applicationFilePath().toStdString(), "--send-file",
                             hundredMegabyteFile.toStdString(), std::to_string(relayPort)});
        if (!ours.ok)
            state.SkipWithError("sending the 100 MB attachment failed");
        state.SetIterationTime(ours.seconds);
        peakMiB["murmelo"] = ours.maxRssKiB / 1024.0;
        state.counters["peak_MiB"] = ours.maxRssKiB / 1024.0;
    }
}

constexpr int rounds = 3;
BENCHMARK(Base64SixtyFourColumns)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Base64OpenSsl)->UseManualTime()->Iterations(rounds)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32Ours)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32Zlib)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(SendFiftyMegabytesOurs)
    ->UseManualTime()
    ->Iterations(rounds)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(SendFiftyMegabytesCurl)
    ->UseManualTime()
    ->Iterations(rounds)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PeakMemoryHundredMegabytes)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The child of the memory run: reads the file in pieces straight into its Base64 lines, so the
// raw attachment is never held whole, then composes and sends.
int sendFile(const QString &path, quint16 port)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    QByteArray encoded;
    encoded.reserve(qsizetype(Base64LineEncoder::encodedLength(std::size_t(file.size()))));
    Base64LineEncoder encoder;
    QByteArray chunk(48 * 4096, Qt::Uninitialized);
    for (qint64 n; (n = file.read(chunk.data(), chunk.size())) > 0;)
        encoder.append(chunk.constData(), std::size_t(n), encoded);
    encoder.finish(encoded);
    return sendAttachment(encoded, port) ? 0 : 1;
}

double ratio(const std::string &a, const std::string &b)
{
    return best.count(a) && best.count(b) ? best[a] / best[b] : 0.0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "--send-file") {
        QCoreApplication app(argc, argv);
        return sendFile(QString::fromLocal8Bit(argv[2]), quint16(std::stoi(argv[3])));
    }
    folder = bench::useScratchFolders();
    QCoreApplication app(argc, argv);

    hundredMegabytes = randomBytes(100 * 1000 * 1000, 7);
    hundredMegabyteFile = folder + "/hundred.bin";
    {
        QFile file(hundredMegabyteFile);
        file.open(QIODevice::WriteOnly);
        file.write(hundredMegabytes);
    }
    // The very message our client sends, as curl uploads it (curl ends the data itself).
    {
        const MMSMTPWireMessage wire = composeMessage(
            {"me@murmelo.test", "you@murmelo.test", "", "I've discovered a hidden message!",
             "127.0.0.1"},
            attachmentParts(base64EncodedString(hundredMegabytes.left(50 * 1000 * 1000))),
            QDateTime::currentDateTime(), QStringLiteral("BENCH"));
        fiftyMegabyteMessage = folder + "/fifty.eml";
        QFile file(fiftyMegabyteMessage);
        file.open(QIODevice::WriteOnly);
        file.write(wire.headers);
        for (qsizetype i = 0; i + 1 < wire.body.size(); ++i)
            file.write(wire.body[i]);
    }

    QProcess relay;
    QDir().mkpath(folder + "/relay");
    relay.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(MURMELO_RELAY_SCRIPT), "--plain", "--folder", folder + "/relay"});
    if (relay.waitForReadyRead(20000)) {
        const QByteArray line = relay.readLine().trimmed();
        if (line.startsWith("READY "))
            relayPort = quint16(line.mid(6).toUInt());
    }
    if (relayPort == 0)
        std::fprintf(stderr, "aiosmtpd did not start; the send benchmarks will fail\n");

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    relay.closeWriteChannel();
    relay.waitForFinished(5000);

    std::printf("\nBest of each:\n");
    if (best.count("base64/murmelo") && best.count("base64/openssl"))
        std::printf("base64 64-column, 100 MB  murmelo %.2f GB/s (%.2f per CPU second)   "
                    "openssl base64 %.2f GB/s (%.2f per CPU second, file to file)   "
                    "(target >= 1.5 GB/s and faster than openssl)\n",
                    0.1 / best["base64/murmelo"], 0.1 / bestCpu["base64/murmelo"],
                    0.1 / best["base64/openssl"], 0.1 / bestCpu["base64/openssl"]);
    if (best.count("crc32/murmelo") && best.count("crc32/zlib"))
        std::printf("crc32, 100 MB             murmelo %.2f GB/s (%.2f per CPU second)   "
                    "zlib crc32 %.2f GB/s (%.2f per CPU second)   speed %.2fx of zlib "
                    "(target >= 0.9x)\n",
                    0.1 / best["crc32/murmelo"], 0.1 / bestCpu["crc32/murmelo"],
                    0.1 / best["crc32/zlib"], 0.1 / bestCpu["crc32/zlib"],
                    ratio("crc32/zlib", "crc32/murmelo"));
    if (best.count("send50/murmelo") && best.count("send50/curl"))
        std::printf("send 50 MB attachment     murmelo %.2f s   curl %.2f s   time %.2fx of curl "
                    "(target <= 1.2x)\n",
                    best["send50/murmelo"], best["send50/curl"],
                    ratio("send50/murmelo", "send50/curl"));
    if (peakMiB.count("murmelo"))
        std::printf("peak RSS composing and sending 100 MB: %.1f MiB = %.2fx the file "
                    "(target < 2.5x)\n",
                    peakMiB["murmelo"], peakMiB["murmelo"] * 1048576.0 / 100e6);
    QDir(folder).removeRecursively();
    return 0;
}
