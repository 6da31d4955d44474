// The telemetry's hot paths beside their peers, measured in the same run:
//  - packing and reading one 175-byte event, ours beside msgpack-cxx on the same dynamic tree;
//  - appending log records with their compression, ours beside a log that feeds every record
//    through one reused zlib level-6 stream into a file;
//  - uploading a 500,000-byte queue file, ours (streamed from disk) beside posting the file read
//    into memory, with CPU time and peak memory growth per upload as counters.
#include "support/ScratchFolders.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/log/VGRemoteLog.h"
#include "telemetry/network/VGNetworkManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <atomic>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <future>
#include <msgpack.hpp>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

using namespace murmelo;

namespace {

const std::string kSessionId = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

// A checkpoint event as the sessions record it: 175 bytes packed.
VGValue ourEvent()
{
    return VGValue::map({{"session_id", kSessionId},
                         {"start_time", VGValue::float64(1765200000.125)},
                         {"timestamp", VGValue::float64(1765200042.5)},
                         {"duration", VGValue::float64(42.375)},
                         {"type", "checkpoint"},
                         {"sequence_number", VGValue::int32(7)},
                         {"checkpoint_id", "recorded phrase"}});
}

// The same event as msgpack-cxx's own dynamic tree, which its reader builds from our bytes.
struct PeerEvent {
    QByteArray bytes = VGMessagePack::pack(ourEvent());
    msgpack::object_handle handle = msgpack::unpack(bytes.constData(), size_t(bytes.size()));
    const msgpack::object &object = handle.get();
};

void BM_PackEvent_Ours(benchmark::State &state)
{
    const VGValue event = ourEvent();
    size_t bytes = 0;
    for (auto _ : state) {
        QByteArray packed = VGMessagePack::pack(event);
        bytes = size_t(packed.size());
        benchmark::DoNotOptimize(packed);
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_PackEvent_Ours);

void BM_PackEvent_MsgpackCxx(benchmark::State &state)
{
    PeerEvent event;
    size_t bytes = 0;
    for (auto _ : state) {
        msgpack::sbuffer buffer;
        msgpack::pack(buffer, event.object);
        bytes = buffer.size();
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_PackEvent_MsgpackCxx);

void BM_UnpackEvent_Ours(benchmark::State &state)
{
    const QByteArray packed = VGMessagePack::pack(ourEvent());
    for (auto _ : state) {
        auto value = VGMessagePack::unpack(packed);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_UnpackEvent_Ours);

void BM_UnpackEvent_MsgpackCxx(benchmark::State &state)
{
    // The peer reads the bytes we write, so both read the same 175 bytes.
    const QByteArray packed = VGMessagePack::pack(ourEvent());
    for (auto _ : state) {
        msgpack::object_handle handle = msgpack::unpack(packed.constData(), size_t(packed.size()));
        benchmark::DoNotOptimize(handle.get());
    }
}
BENCHMARK(BM_UnpackEvent_MsgpackCxx);

QString scratch()
{
    static const QString folder = bench::useScratchFolders();
    return folder;
}

// A log line of about `size` bytes, as the mail client writes them.
QByteArray logRecord(int n, int size)
{
    QByteArray message = "MMSMTPMessage: 250-relay.example.org Hello, pleased to meet you; line " +
                         QByteArray::number(n);
    while (message.size() < size - 24)
        message += " 250-SIZE 35882577 250-8BITMIME 250-AUTH PLAIN LOGIN";
    message.truncate(std::max(0, size - 24));
    QByteArray record(message.size() + qsizetype(kVGRemoteLogRecordOverhead), '\0');
    record.resize(qsizetype(vg_remote_log_record(1765200000 + n, message.constData(),
                                                 uint32_t(message.size()), record.data(),
                                                 size_t(record.size()))));
    return record;
}

void BM_LogAppend_Ours(benchmark::State &state)
{
    const QString base = scratch() + QStringLiteral("/bench-log");
    vg_remote_log log;
    vg_remote_log_init(&log);
    std::vector<QByteArray> records;
    for (int i = 0; i < 1000; ++i)
        records.push_back(logRecord(i, int(state.range(0))));
    size_t i = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        if (log.uncompressed_file < 0 || log.count >= 200000) {
            state.PauseTiming();
            QFile::remove(base + QStringLiteral(".zlog"));
            vg_remote_log_open(&log, QFile::encodeName(base).constData());
            state.ResumeTiming();
        }
        const QByteArray &record = records[i++ % records.size()];
        if (vg_remote_log_append(&log, record.constData(), uint32_t(record.size())) != 0)
            state.SkipWithError("append failed");
        bytes += record.size();
    }
    vg_remote_log_close(&log);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_LogAppend_Ours)->Arg(100)->Arg(1000);

void BM_LogAppend_ZlibLevel6Stream(benchmark::State &state)
{
    const QString path = scratch() + QStringLiteral("/bench-peer.z");
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    z_stream z{};
    deflateInit(&z, 6);
    std::vector<QByteArray> records;
    for (int i = 0; i < 1000; ++i)
        records.push_back(logRecord(i, int(state.range(0))));
    unsigned char out[65536];
    size_t i = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        const QByteArray &record = records[i++ % records.size()];
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(record.constData()));
        z.avail_in = uInt(record.size());
        do {
            z.next_out = out;
            z.avail_out = sizeof out;
            deflate(&z, Z_NO_FLUSH);
            const size_t produced = sizeof out - z.avail_out;
            if (produced && ::write(fd, out, produced) < 0)
                state.SkipWithError("write failed");
        } while (z.avail_out == 0);
        bytes += record.size();
    }
    deflateEnd(&z);
    ::close(fd);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_LogAppend_ZlibLevel6Stream)->Arg(100)->Arg(1000);

// A loopback intake on its own thread: reads each request's body and answers 200.
class Intake : public QThread {
public:
    quint16 port() const { return port_.load(); }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        port_ = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            QTcpSocket *socket = server.nextPendingConnection();
            // Only the head is kept; body bytes are counted and dropped, so the intake adds
            // nothing to the memory measured for the client.
            auto head = std::make_shared<QByteArray>();
            auto bodyLeft = std::make_shared<qint64>(-1);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [=] {
                while (socket->bytesAvailable() > 0) {
                    if (*bodyLeft < 0) {
                        head->append(socket->read(4096));
                        const qsizetype end = head->indexOf("\r\n\r\n");
                        if (end < 0)
                            continue;
                        const QByteArray lower = head->left(end).toLower();
                        const qsizetype at = lower.indexOf("content-length:");
                        const qint64 length =
                            at < 0 ? 0
                                   : lower.mid(at + 15).split('\r').first().trimmed().toLongLong();
                        *bodyLeft = length - (head->size() - end - 4);
                        head->clear();
                    } else {
                        *bodyLeft -= socket->skip(*bodyLeft);
                    }
                    if (*bodyLeft == 0) {
                        *bodyLeft = -1;
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
                    }
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
        exec();
    }

private:
    std::atomic<quint16> port_{0};
};

Intake &intake()
{
    static Intake *server = [] {
        auto *s = new Intake;
        s->start();
        while (s->port() == 0)
            QThread::msleep(1);
        return s;
    }();
    return *server;
}

QString uploadFile()
{
    const QString path = scratch() + QStringLiteral("/upload-source.msgpack");
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly)) {
        QByteArray bytes(500000, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 31);
        file.write(bytes);
    }
    return path;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident-set peak since the last reset, in kB.
long peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// `prepare` runs before each upload outside the measured time; `upload` returns when the
// upload is done.
template <typename Prepare, typename Upload>
void measureUploads(benchmark::State &state, Prepare prepare, Upload upload)
{
    const QString source = uploadFile();
    const QUrl url(
        QStringLiteral("http://127.0.0.1:%1/intake/1.0/sessions.mpack").arg(intake().port()));
    prepare(source);
    upload(source, url); // warm the connection and the allocator
    double cpu = 0;
    long peakGrowth = 0;
    int64_t count = 0;
    for (auto _ : state) {
        state.PauseTiming();
        prepare(source);
        resetPeak();
        const long before = residentKb();
        state.ResumeTiming();
        const double start = cpuSeconds();
        upload(source, url);
        cpu += cpuSeconds() - start;
        peakGrowth = std::max(peakGrowth, peakKb() - before);
        ++count;
    }
    state.counters["cpu_ms_per_upload"] = 1000 * cpu / double(std::max<int64_t>(count, 1));
    state.counters["peak_rss_growth_kB"] = double(peakGrowth);
    state.SetBytesProcessed(count * 500000);
}

void BM_Upload500k_Ours(benchmark::State &state)
{
    VGNetworkManager &manager = VGNetworkManager::sharedManager();
    manager.watchReachability(QString());
    const QString path = scratch() + QStringLiteral("/upload.msgpack");
    measureUploads(
        state,
        [&](const QString &source) {
            // The manager deletes what it delivered, so each upload sends a fresh copy.
            QFile::remove(path);
            QFile::copy(source, path);
        },
        [&](const QString &, const QUrl &url) {
            // The upload is done when the manager deletes the delivered file. Waiting for that
            // by inotify rather than by polling keeps the waiting out of the CPU measured.
            const int events = inotify_init1(IN_CLOEXEC);
            inotify_add_watch(events, QFile::encodeName(scratch()).constData(), IN_DELETE);
            manager.sendFile(path, url);
            while (QFile::exists(path)) {
                pollfd ready{events, POLLIN, 0};
                if (::poll(&ready, 1, 1000) > 0) {
                    char buffer[4096];
                    [[maybe_unused]] const ssize_t n = ::read(events, buffer, sizeof buffer);
                }
            }
            ::close(events);
        });
}
BENCHMARK(BM_Upload500k_Ours)->UseRealTime();

void BM_Upload500k_InMemoryPost(benchmark::State &state)
{
    QThread thread;
    thread.start();
    QNetworkAccessManager *network = nullptr;
    QObject context;
    context.moveToThread(&thread);
    QMetaObject::invokeMethod(
        &context,
        [&] {
            network = new QNetworkAccessManager;
            network->setProxy(QNetworkProxy::NoProxy);
        },
        Qt::BlockingQueuedConnection);
    measureUploads(
        state, [](const QString &) {},
        [&](const QString &source, const QUrl &url) {
            std::promise<void> done;
            QMetaObject::invokeMethod(&context, [&] {
                QFile file(source);
                file.open(QIODevice::ReadOnly);
                QNetworkRequest request(url);
                request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
                QNetworkReply *reply = network->post(request, file.readAll());
                QObject::connect(reply, &QNetworkReply::finished, [&, reply] {
                    reply->deleteLater();
                    done.set_value();
                });
            });
            done.get_future().wait();
        });
    QMetaObject::invokeMethod(
        &context, [&] { delete network; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}
BENCHMARK(BM_Upload500k_InMemoryPost)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    scratch();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir(scratch()).removeRecursively();
    return 0;
}
