#include "LoopbackPeers.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>

namespace murmelo::test {

namespace {
constexpr char kBoundaryLine[] = "--MMSMTPMessage--Separator--Delimiter";

bool makeCertificate(const QString &folder)
{
    return runShell(QStringLiteral("cd '%1' && openssl req -x509 -newkey rsa:2048 -nodes "
                                   "-keyout key.pem -out cert.pem -days 1 -subj /CN=localhost "
                                   "-addext subjectAltName=IP:127.0.0.1,DNS:localhost "
                                   ">/dev/null 2>&1")
                        .arg(folder)) == 0;
}

void stop(QProcess *process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
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
    QStringList arguments{QStringLiteral(MURMELO_SOURCE_DIR "/scripts/local-mail-relay.py"),
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
        stop(process_.get());
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

PrivateKeyring &PrivateKeyring::shared()
{
    static PrivateKeyring keyring;
    return keyring;
}

PrivateKeyring::PrivateKeyring()
{
    bus_ = std::make_unique<QProcess>();
    bus_->start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    if (!bus_->waitForStarted(10000))
        return;
    waitUntil([&] { return bus_->canReadLine(); }, std::chrono::seconds(10));
    const QByteArray address = bus_->readLine().trimmed();
    if (address.isEmpty())
        return;
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    keyring_ = std::make_unique<QProcess>();
    keyring_->start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                     QStringLiteral("--components=secrets")});
    if (!keyring_->waitForStarted(10000))
        return;
    // The password given on its input creates and unlocks the login keyring.
    keyring_->write("murmelo-test");
    keyring_->closeWriteChannel();
    running_ = waitUntil(
        [] {
            return runShell(QStringLiteral(
                       "dbus-send --session --print-reply --dest=org.freedesktop.DBus "
                       "/org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "
                       "string:org.freedesktop.secrets 2>/dev/null | grep -q true")) == 0;
        },
        std::chrono::seconds(15));
}

PrivateKeyring::~PrivateKeyring()
{
    stop(keyring_.get());
    stop(bus_.get());
}

QByteArray headerValue(const QByteArray &message, const QByteArray &name)
{
    QByteArray text = message;
    text.replace("\r\n", "\n");
    const QByteArray headers = text.left(text.indexOf("\n\n"));
    for (const QByteArray &line : headers.split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    }
    return QByteArray();
}

QList<ReceivedPart> mimeParts(const QByteArray &message)
{
    QByteArray text = message;
    text.replace("\r\n", "\n");
    QList<QByteArray> pieces = text.split('\n');
    QList<ReceivedPart> parts;
    QByteArray current;
    bool inPart = false;
    for (const QByteArray &line : pieces) {
        if (line == kBoundaryLine) {
            if (inPart) {
                ReceivedPart part;
                const qsizetype blank = current.indexOf("\n\n");
                part.headers = current.left(blank);
                part.body = current.mid(blank + 2);
                part.body.chop(1); // the line break before the delimiter
                parts << part;
            }
            inPart = true;
            current.clear();
            continue;
        }
        if (inPart)
            current += line + '\n';
    }
    return parts;
}

} // namespace murmelo::test
