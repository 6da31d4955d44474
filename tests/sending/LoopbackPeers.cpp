#include "LoopbackPeers.h"

#include "support/TestSupport.h"

namespace murmelo::test {

namespace {
constexpr char kBoundaryLine[] = "--MMSMTPMessage--Separator--Delimiter";
} // namespace

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
    stopProcess(keyring_.get());
    stopProcess(bus_.get());
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
        // The closing delimiter ends the last part like any other.
        if (line == kBoundaryLine || line == kBoundaryLine + QByteArray("--")) {
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
