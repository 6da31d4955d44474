#include "SoundServer.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtEndian>
#include <cmath>

namespace murmelo::test {

namespace {
constexpr int rate = 44100;
constexpr int startMilliseconds = 10000;

QString pcmTone(const QString &path)
{
    if (QFile::exists(path))
        return path;
    // Long enough to outlast every recording a test makes; pacat plays raw PCM as it is.
    constexpr int seconds = 60;
    QByteArray pcm(seconds * rate * 2, Qt::Uninitialized);
    for (int i = 0; i < seconds * rate; ++i) {
        const double value = 0.5 * std::sin(2 * M_PI * SoundServer::toneHz * i / rate);
        qToLittleEndian<qint16>(qint16(std::lround(value * 32767)), pcm.data() + 2 * i);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(pcm) != pcm.size())
        return {};
    return path;
}

QStringList rawFormat()
{
    return {QStringLiteral("--raw"), QStringLiteral("--rate=44100"), QStringLiteral("--channels=1"),
            QStringLiteral("--format=s16le"),
            // The null sink renders in blocks as long as its clients allow, up to two seconds;
            // a short latency keeps the fake microphone as prompt as a real one.
            QStringLiteral("--latency-msec=20")};
}

void finish(std::unique_ptr<QProcess> &process)
{
    if (!process)
        return;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    process.reset();
}
} // namespace

SoundServer::SoundServer()
{
    folder_ = scratchRoot() + QStringLiteral("/pulse");
    socket_ = folder_ + QStringLiteral("/native");
    // Every client of the test, Qt included, must find this server and no other.
    qputenv("PULSE_SERVER", QByteArray("unix:") + QFile::encodeName(socket_));
}

SoundServer::~SoundServer()
{
    stop();
}

QString SoundServer::start()
{
    for (const char *tool : {"pulseaudio", "pacat", "pactl"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
    QDir().mkpath(folder_ + QStringLiteral("/home"));
    QDir().mkpath(folder_ + QStringLiteral("/runtime"));
    QFile::setPermissions(folder_ + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::remove(socket_);

    QFile script(folder_ + QStringLiteral("/server.pa"));
    if (!script.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1").arg(script.fileName());
    script.write(
        QStringLiteral("load-module module-native-protocol-unix socket=%1 auth-anonymous=1\n"
                       "load-module module-null-sink sink_name=murmelo_test\n"
                       "load-module module-remap-source master=murmelo_test.monitor "
                       "source_name=murmelo_mic\n"
                       "set-default-sink murmelo_test\n"
                       "set-default-source murmelo_mic\n")
            .arg(socket_)
            .toUtf8());
    script.close();

    server_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Its state and runtime files go to the scratch folder, not to the user's (or root's) own.
    environment.insert(QStringLiteral("HOME"), folder_ + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder_ + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder_ + QStringLiteral("/home"));
    server_->setProcessEnvironment(environment);
    server_->setProcessChannelMode(QProcess::MergedChannels);
    server_->setStandardOutputFile(folder_ + QStringLiteral("/server.log"), QIODevice::Append);
    // -n: nothing but our script, so no hardware and no suspend-on-idle.
    server_->start(QStringLiteral("pulseaudio"),
                   {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                    QStringLiteral("--disallow-exit"), QStringLiteral("-n"), QStringLiteral("-F"),
                    script.fileName(), QStringLiteral("--log-target=stderr")});
    if (!server_->waitForStarted(startMilliseconds)) {
        server_.reset();
        return QStringLiteral("pulseaudio did not start");
    }
    const bool ready = waitUntil(
        [&] {
            return server_->state() != QProcess::Running ||
                   (QFile::exists(socket_) &&
                    runShell(QStringLiteral("pactl info >/dev/null")) == 0);
        },
        std::chrono::milliseconds(startMilliseconds));
    if (!ready || server_->state() != QProcess::Running) {
        stop();
        QFile log(folder_ + QStringLiteral("/server.log"));
        log.open(QIODevice::ReadOnly);
        return QStringLiteral("pulseaudio did not come up: %1")
            .arg(QString::fromLocal8Bit(log.readAll().right(400)));
    }
    return {};
}

void SoundServer::stop()
{
    stopTone();
    finish(server_);
}

bool SoundServer::running() const
{
    return server_ && server_->state() == QProcess::Running;
}

QString SoundServer::startTone()
{
    stopTone();
    const QString tone = pcmTone(scratchRoot() + QStringLiteral("/tone.raw"));
    if (tone.isEmpty())
        return QStringLiteral("cannot write the tone");
    tone_ = std::make_unique<QProcess>();
    tone_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tone_->start(QStringLiteral("pacat"),
                 QStringList{QStringLiteral("--playback"), QStringLiteral("--device=murmelo_test")}
                     << rawFormat() << tone);
    if (!tone_->waitForStarted(startMilliseconds))
        return QStringLiteral("pacat did not start");
    return waitForMicrophone();
}

void SoundServer::stopTone()
{
    finish(tone_);
}

QString SoundServer::waitForMicrophone()
{
    // Until the null sink has finished the long block it was rendering before the tone came,
    // nothing reaches the fake microphone; a recording started earlier would miss its start.
    QProcess probe;
    probe.start(QStringLiteral("pacat"),
                QStringList{QStringLiteral("--record"), QStringLiteral("--device=murmelo_mic")}
                    << rawFormat());
    QByteArray heard;
    const auto loud = [&] {
        heard += probe.readAllStandardOutput();
        if (heard.size() < rate / 5)
            return false;
        const auto *samples = reinterpret_cast<const qint16 *>(heard.constData());
        const qsizetype count = heard.size() / 2;
        return std::any_of(samples + count - 100, samples + count,
                           [](qint16 s) { return std::abs(int(s)) > 8000; });
    };
    const bool ok = probe.waitForStarted(startMilliseconds) &&
                    waitUntil(loud, std::chrono::milliseconds(startMilliseconds));
    probe.terminate();
    if (!probe.waitForFinished(5000)) {
        probe.kill();
        probe.waitForFinished(5000);
    }
    return ok ? QString() : QStringLiteral("the tone never reached the fake microphone");
}

} // namespace murmelo::test
