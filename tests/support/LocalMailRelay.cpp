#include "support/LocalMailRelay.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>

namespace murmelo::test {

namespace {
bool makeCertificate(const QString &folder)
{
    return runShell(QStringLiteral("cd '%1' && openssl req -x509 -newkey rsa:2048 -nodes "
                                   "-keyout key.pem -out cert.pem -days 1 -subj /CN=localhost "
                                   "-addext subjectAltName=IP:127.0.0.1,DNS:localhost "
                                   ">/dev/null 2>&1")
                        .arg(folder)) == 0;
}
} // namespace

LocalMailRelay::LocalMailRelay(const QString &user, const QString &password, Security security)
    : folder_(scratchRoot() + QStringLiteral("/relay-") +
              QUuid::createUuid().toString(QUuid::Id128))
{
    QDir().mkpath(folder_);
    if (!makeCertificate(folder_))
        return;
    certificate_ = folder_ + QStringLiteral("/cert.pem");
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral(MURMELO_SUPPORT_SOURCE_DIR "/scripts/local-mail-relay.py"),
                          QStringLiteral("--maildir"),
                          folder_ + QStringLiteral("/maildir"),
                          QStringLiteral("--cert"),
                          certificate_,
                          QStringLiteral("--key"),
                          folder_ + QStringLiteral("/key.pem"),
                          QStringLiteral("--user"),
                          user,
                          QStringLiteral("--password"),
                          password};
    if (security == Security::ImplicitTls)
        arguments << QStringLiteral("--implicit-tls");
    process_->start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!process_->waitForStarted(10000))
        return;
    waitUntil([&] { return process_->canReadLine() || process_->state() == QProcess::NotRunning; },
              std::chrono::seconds(20));
    const QList<QByteArray> ready = process_->readLine().trimmed().split(' ');
    if (ready.size() == 2 && ready[0] == "ready")
        port_ = quint16(ready[1].toUInt());
}

LocalMailRelay::~LocalMailRelay()
{
    if (process_)
        process_->closeWriteChannel();
    if (process_ && !process_->waitForFinished(5000))
        stopProcess(process_.get());
}

QList<QByteArray> LocalMailRelay::messages() const
{
    QList<QByteArray> messages;
    QFileInfoList files = QDir(folder_ + QStringLiteral("/maildir/new")).entryInfoList(QDir::Files);
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.birthTime() != b.birthTime() ? a.birthTime() < b.birthTime()
                                              : a.fileName() < b.fileName();
    });
    for (const QFileInfo &info : std::as_const(files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            messages << file.readAll();
    }
    return messages;
}

void LocalMailRelay::useForApplication() const
{
    qputenv("MURMELO_MAIL_RELAY", QStringLiteral("127.0.0.1:%1").arg(port_).toUtf8());
    qputenv("MURMELO_MAIL_CA_FILE", certificate_.toUtf8());
}

} // namespace murmelo::test
