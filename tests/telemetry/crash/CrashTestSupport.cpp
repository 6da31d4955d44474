#include "CrashTestSupport.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtEndian>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace murmelo::test {

namespace {
const char kDecoder[] = R"(
import json, sys, msgpack
def text(v):
    if isinstance(v, bytes):
        return v.decode('utf-8', 'replace')
    if isinstance(v, dict):
        return {text(k): text(x) for k, x in v.items()}
    if isinstance(v, list):
        return [text(x) for x in v]
    return v
body = open(sys.argv[1], 'rb').read()
report = msgpack.unpackb(body, raw=True, strict_map_key=False)
for event in report.get(b'events', []):
    log = event.get(b'log')
    if isinstance(log, bytes):
        event[b'log'] = {b'records': msgpack.unpackb(log, raw=True)}
print(json.dumps(text(report)))
)";
} // namespace

Intake::Intake(const QString &answer)
{
    store_ = scratchRoot() + QStringLiteral("/intake-") +
             QString::number(std::chrono::steady_clock::now().time_since_epoch().count());
    QDir().mkpath(store_);
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(INTAKE_SCRIPT), QStringLiteral("--store"), store_,
                     QStringLiteral("--answer"), answer});
    if (!process_->waitForStarted(10000))
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline && !process_->canReadLine())
        process_->waitForReadyRead(200);
    const QByteArray line = process_->readLine().trimmed();
    if (line.startsWith("listening on "))
        port_ = line.mid(13).toInt();
}

Intake::~Intake()
{
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

QString Intake::url() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(port_);
}

QStringList Intake::sessionBodies() const
{
    QStringList bodies;
    const QStringList names =
        QDir(store_).entryList({QStringLiteral("*-sessions.mpack")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        bodies.append(store_ + QLatin1Char('/') + name);
    return bodies;
}

ChildEnd runCrashChild(const QString &sdkFolder, const QString &mode, const QString &intakeUrl)
{
    return runCrashChild(sdkFolder, mode, intakeUrl, QStringLiteral(CRASH_CHILD), QString());
}

ChildEnd runCrashChild(const QString &sdkFolder, const QString &mode, const QString &intakeUrl,
                       const QString &childProgram, const QString &home)
{
    std::vector<std::string> environment;
    for (char **entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "MURMELO_TELEMETRY_URL=", 22) != 0 &&
            (home.isEmpty() || std::strncmp(*entry, "HOME=", 5) != 0))
            environment.emplace_back(*entry);
    }
    if (!intakeUrl.isEmpty())
        environment.push_back("MURMELO_TELEMETRY_URL=" + intakeUrl.toStdString());
    if (!home.isEmpty())
        environment.push_back("HOME=" + home.toStdString());
    std::vector<char *> envp;
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = childProgram.toStdString(), folder = sdkFolder.toStdString(),
                how = mode.toStdString();
    char *argv[] = {program.data(), folder.data(), how.data(), nullptr};

    QTemporaryDir outputFolder;
    const std::string outputPath = (outputFolder.path() + QStringLiteral("/out")).toStdString();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0)
            ::dup2(fd, STDOUT_FILENO);
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }
    ChildEnd end;
    if (pid < 0)
        return end;
    // The child's process descriptor becomes readable when it ends.
    const int exited = int(::syscall(SYS_pidfd_open, pid, 0));
    pollfd ending{exited, POLLIN, 0};
    const bool ended = exited >= 0 && ::poll(&ending, 1, 30 * 1000) == 1;
    if (exited >= 0)
        ::close(exited);
    int status = 0;
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return end; // hung: neither signalled by itself nor exited
    }
    ::waitpid(pid, &status, 0);
    end.signalled = WIFSIGNALED(status);
    end.signal = end.signalled ? WTERMSIG(status) : 0;
    end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    end.out = QString::fromUtf8(readFile(QString::fromStdString(outputPath)));
    return end;
}

QJsonObject decodeReport(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(kDecoder), path});
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray packRaw(const QByteArray &text)
{
    QByteArray out;
    if (text.size() < 32) {
        out.append(char(0xa0 | text.size()));
    } else {
        out.append(char(0xda));
        out.append(char(text.size() >> 8)).append(char(text.size() & 0xff));
    }
    return out + text;
}

QByteArray packDouble(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray out(9, '\0');
    out[0] = char(0xcb);
    qToBigEndian(bits, out.data() + 1);
    return out;
}

QByteArray packInt32(int32_t value)
{
    QByteArray out(5, '\0');
    out[0] = char(0xd2);
    qToBigEndian(value, out.data() + 1);
    return out;
}

} // namespace murmelo::test
