#include "toolkit/reachability/Reachability.h"

#include "platform/SystemLog.h"
#include "toolkit/reachability/ReachabilityMonitor.h"
#include "toolkit/reachability/ReachabilityResolver.h"

#include <QRegularExpression>
#include <QUrl>
#include <arpa/inet.h>
#include <netinet/in.h>

namespace murmelo {

namespace {
// The ASCII form of a host name, or empty when it cannot name a host.
QByteArray hostHandle(const QString &hostName)
{
    if (IpAddress::fromText(hostName))
        return hostName.toUtf8();
    const QByteArray ace = QUrl::toAce(hostName);
    if (ace.isEmpty() || ace.size() > 253)
        return {};
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_-]{0,62})$"));
    QList<QByteArray> labels = ace.split('.');
    if (labels.size() > 1 && labels.last().isEmpty())
        labels.removeLast(); // a fully qualified name's trailing dot
    for (const QByteArray &part : labels) {
        if (!label.match(QString::fromLatin1(part)).hasMatch())
            return {};
    }
    return ace;
}

std::unique_ptr<Reachability> makeForIPv4(quint32 hostOrderAddress)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(hostOrderAddress);
    return Reachability::reachabilityWithAddress(reinterpret_cast<sockaddr *>(&address));
}
} // namespace

ReachabilityNotificationCenter &ReachabilityNotificationCenter::defaultCenter()
{
    static ReachabilityNotificationCenter center;
    return center;
}

Reachability::~Reachability()
{
    stopNotifier();
}

std::unique_ptr<Reachability> Reachability::reachabilityWithHostName(const QString &hostName)
{
    QByteArray handle = hostHandle(hostName);
    if (handle.isEmpty())
        return nullptr;
    std::unique_ptr<Reachability> reachability(new Reachability);
    reachability->host_ = std::move(handle);
    return reachability;
}

std::unique_ptr<Reachability> Reachability::reachabilityWithAddress(const sockaddr *address)
{
    const auto ip = IpAddress::fromSockaddr(address);
    if (!ip)
        return nullptr;
    std::unique_ptr<Reachability> reachability(new Reachability);
    reachability->address_ = ip;
    return reachability;
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection()
{
    return makeForIPv4(INADDR_ANY); // only a default route leads there
}

std::unique_ptr<Reachability> Reachability::reachabilityForLocalWiFi()
{
    auto reachability = makeForIPv4(0xA9FE0000); // 169.254.0.0, the link-local network
    if (reachability)
        reachability->localWiFi_ = true;
    return reachability;
}

bool Reachability::startNotifier()
{
    if (!monitor_) {
        monitor_ = new ReachabilityMonitor(this);
        connect(monitor_, &ReachabilityMonitor::changed, this, [this] {
            emit ReachabilityNotificationCenter::defaultCenter().posted(
                QString::fromLatin1(kNetworkReachabilityChangedNotification), this);
        });
    }
    return monitor_->start();
}

void Reachability::stopNotifier()
{
    if (monitor_)
        monitor_->stop();
}

bool Reachability::flags(quint32 *flags) const
{
    const auto network = readNetworkSnapshot();
    if (!network)
        return false;
    QList<IpAddress> targets;
    if (address_) {
        targets << *address_;
    } else if (const auto resolved = resolveHost(host_, resolveTimeout_)) {
        targets = *resolved;
    }
    // A name that does not resolve (in time) is as unreachable as one with no route.
    *flags = 0;
    for (const IpAddress &target : targets) {
        *flags = flagsForAddress(target, *network);
        if (*flags & ReachabilityFlag::Reachable)
            break;
    }
    return true;
}

NetworkStatus Reachability::currentReachabilityStatus() const
{
    quint32 word = 0;
    if (!flags(&word))
        return NotReachable;
    return localWiFi_ ? localWiFiStatusForFlags(word) : networkStatusForFlags(word);
}

bool Reachability::connectionRequired() const
{
    quint32 word = 0;
    return flags(&word) && (word & ReachabilityFlag::ConnectionRequired);
}

NetworkStatus Reachability::networkStatusForFlags(quint32 flags)
{
    systemLog(reachabilityTraceLine(flags, "networkStatusForFlags"));
    return statusForFlags(flags);
}

NetworkStatus Reachability::localWiFiStatusForFlags(quint32 flags)
{
    systemLog(reachabilityTraceLine(flags, "localWiFiStatusForFlags"));
    return localStatusForFlags(flags);
}

NetworkStatus Reachability::statusOf(const Reachability *reachability)
{
    return reachability ? reachability->currentReachabilityStatus() : NotReachable;
}

} // namespace murmelo
