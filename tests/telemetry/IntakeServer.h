#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QUrl>
#include <functional>
#include <vector>

namespace murmelo::test {

// The scripted telemetry intake (intake_server.py) on a loopback port, for upload tests.
class IntakeServer {
public:
    enum Transport { Plain, Tls };
    // Actions as the script takes them: "503,200", "hang,201", "404". Under TLS the intake shows
    // certificatePath(), which nothing trusts unless a test adds it.
    explicit IntakeServer(const QString &actions, Transport transport = Plain);
    // A certificate for 127.0.0.1 and telemetry.invalid, made once per test run by openssl.
    static QString certificatePath();
    ~IntakeServer();
    bool isRunning() const { return port_ != 0; }
    QUrl url(const QString &path = QStringLiteral("/intake/1.0/sessions.mpack")) const;
    // Requests seen so far, oldest first.
    const std::vector<QJsonObject> &requests();
    bool waitForRequests(size_t count, int timeoutMs = 10000);
    // Waits until the connections of `count` requests have ended.
    bool waitForClosedConnections(size_t count, int timeoutMs = 10000);
    // The numbers (from 1) of the requests whose connections have ended, in the order they ended.
    const std::vector<int> &closedConnections();
    // The "host:port" of each CONNECT it tunnelled as a proxy.
    const std::vector<QByteArray> &tunnels();

private:
    void readLines();
    bool waitForLines(const std::function<bool()> &enough, int timeoutMs);
    QProcess process_;
    quint16 port_ = 0;
    bool tls_ = false;
    std::vector<QJsonObject> requests_;
    std::vector<int> closed_;
    std::vector<QByteArray> tunnels_;
};

// A loopback port with nothing listening: connections to it are refused.
quint16 refusingPort();

} // namespace murmelo::test
