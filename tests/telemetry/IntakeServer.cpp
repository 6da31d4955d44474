#include "IntakeServer.h"

#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QTcpServer>

namespace murmelo::test {

namespace {

QString keyPath()
{
    return scratchRoot() + QStringLiteral("/intake-key.pem");
}

} // namespace

QString IntakeServer::certificatePath()
{
    static const QString path = [] {
        const QString certificate = scratchRoot() + QStringLiteral("/intake-cert.pem");
        runShell(
            QStringLiteral("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                           "-nodes -days 2 -subj /CN=127.0.0.1 -addext "
                           "subjectAltName=IP:127.0.0.1,DNS:telemetry.invalid "
                           "-keyout '%1' -out '%2' >/dev/null 2>&1")
                .arg(keyPath(), certificate));
        return certificate;
    }();
    return path;
}

IntakeServer::IntakeServer(const QString &actions, Transport transport) : tls_(transport == Tls)
{
    QStringList arguments{QStringLiteral(MURMELO_TELEMETRY_TEST_DIR "/intake_server.py"), actions};
    if (tls_)
        arguments << certificatePath() << keyPath();
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!process_.waitForStarted())
        return;
    waitUntil([&] {
        process_.waitForReadyRead(50);
        readLines();
        return port_ != 0 || process_.state() != QProcess::Running;
    });
}

IntakeServer::~IntakeServer()
{
    process_.closeWriteChannel();
    if (!process_.waitForFinished(2000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

QUrl IntakeServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(tls_ ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(port_)
                    .arg(path));
}

void IntakeServer::readLines()
{
    while (process_.canReadLine()) {
        const QByteArray line = process_.readLine().trimmed();
        if (line.startsWith("PORT "))
            port_ = quint16(line.mid(5).toUInt());
        else if (line.startsWith("CLOSED "))
            closed_.push_back(line.mid(7).toInt());
        else if (line.startsWith("CONNECT "))
            tunnels_.push_back(line.mid(8));
        else
            requests_.push_back(QJsonDocument::fromJson(line).object());
    }
}

const std::vector<QJsonObject> &IntakeServer::requests()
{
    process_.waitForReadyRead(0);
    readLines();
    return requests_;
}

bool IntakeServer::waitForRequests(size_t count, int timeoutMs)
{
    return waitForLines([&] { return requests_.size() >= count; }, timeoutMs);
}

bool IntakeServer::waitForClosedConnections(size_t count, int timeoutMs)
{
    return waitForLines([&] { return closed_.size() >= count; }, timeoutMs);
}

const std::vector<int> &IntakeServer::closedConnections()
{
    process_.waitForReadyRead(0);
    readLines();
    return closed_;
}

bool IntakeServer::waitForLines(const std::function<bool()> &enough, int timeoutMs)
{
    return waitUntil(
        [&] {
            process_.waitForReadyRead(20);
            readLines();
            return enough();
        },
        std::chrono::milliseconds(timeoutMs));
}

const std::vector<QByteArray> &IntakeServer::tunnels()
{
    process_.waitForReadyRead(0);
    readLines();
    return tunnels_;
}

quint16 refusingPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort(); // closed again when the server goes out of scope
}

} // namespace murmelo::test
