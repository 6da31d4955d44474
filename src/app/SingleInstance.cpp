#include "app/SingleInstance.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace murmelo {

namespace {

constexpr int kHandOverMilliseconds = 10000;

// org.freedesktop.Application: what desktops call to bring an application forward or have it
// open files.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(SingleInstance *instance)
        : QDBusAbstractAdaptor(instance), instance_(instance)
    {
    }

public Q_SLOTS:
    void Activate(const QVariantMap &) { instance_->activate(); }
    void Open(const QStringList &uris, const QVariantMap &) { instance_->open(uris); }
    void ActivateAction(const QString &, const QVariantList &, const QVariantMap &)
    {
        instance_->activate();
    }

private:
    SingleInstance *instance_;
};

} // namespace

SingleInstance::SingleInstance(QDBusConnection bus, QObject *parent)
    : QObject(parent), bus_(std::move(bus))
{
    new ApplicationAdaptor(this);
}

SingleInstance::~SingleInstance()
{
    if (registered_) {
        bus_.unregisterService(serviceName());
        bus_.unregisterObject(objectPath());
    }
}

SingleInstance::Claim SingleInstance::claim()
{
    if (!bus_.isConnected() || !bus_.interface())
        return Claim::NoSession;
    // The object first, so that no call can find the name without it.
    if (!bus_.registerObject(objectPath(), this, QDBusConnection::ExportAdaptors))
        return Claim::NoSession;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus_.interface()->registerService(serviceName(), QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        registered_ = true;
        return Claim::First;
    }
    bus_.unregisterObject(objectPath());
    return reply.isValid() ? Claim::Taken : Claim::NoSession;
}

bool SingleInstance::handOver(const QString &path, QString *error)
{
    QDBusMessage call =
        path.isEmpty()
            ? QDBusMessage::createMethodCall(serviceName(), objectPath(),
                                             QStringLiteral("org.freedesktop.Application"),
                                             QStringLiteral("Activate"))
            : QDBusMessage::createMethodCall(serviceName(), objectPath(),
                                             QStringLiteral("org.freedesktop.Application"),
                                             QStringLiteral("Open"));
    if (!path.isEmpty())
        call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)};
    call << QVariantMap();
    // The loop keeps turning while the answer is awaited, so a caller in the same process as the
    // owner (a test) is answered too.
    const QDBusMessage reply = bus_.call(call, QDBus::BlockWithGui, kHandOverMilliseconds);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error)
        *error = reply.errorMessage();
    return false;
}

void SingleInstance::activate()
{
    emit activated();
}

void SingleInstance::open(const QStringList &uris)
{
    emit activated();
    // The window imports one file at a time, as with a drop: the first local one.
    for (const QString &uri : uris) {
        const QString path = localPath(uri);
        if (!path.isEmpty()) {
            emit openRequested(path);
            return;
        }
    }
}

QString SingleInstance::localPath(const QString &argument)
{
    if (argument.isEmpty())
        return {};
    if (argument.startsWith(QLatin1String("file:"))) {
        const QUrl url(argument);
        return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
    }
    // Any other scheme ("https://...") names nothing on this machine.
    const int colon = int(argument.indexOf(QLatin1String("://")));
    if (colon > 0 && !argument.left(colon).contains(QLatin1Char('/')))
        return {};
    return QDir::cleanPath(QFileInfo(argument).absoluteFilePath());
}

} // namespace murmelo

#include "SingleInstance.moc"
