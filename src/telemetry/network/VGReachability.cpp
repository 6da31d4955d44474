#include "telemetry/network/VGReachability.h"

#include <QNetworkInterface>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

namespace murmelo {

namespace {

std::mutex g_sourceMutex;
VGReachability::FlagsSource g_source;

bool isLoopbackName(const QString &host)
{
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

// Without the application's analysis: a target is reachable when some interface other than
// loopback is up with an address, and directly when it shares a link-local address.
std::optional<uint32_t> interfaceFlags(const VGReachability::Target &target)
{
    if (isLoopbackName(target.hostName) || target.address.isLoopback())
        return VGReachability::Reachable | VGReachability::IsDirect;
    uint32_t flags = 0;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const auto state = interface.flags();
        if (!(state & QNetworkInterface::IsUp) || !(state & QNetworkInterface::IsRunning) ||
            (state & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip().isLoopback())
                continue;
            flags |= VGReachability::Reachable;
            if (entry.ip().isLinkLocal())
                flags |= VGReachability::IsDirect;
        }
    }
    return flags;
}

} // namespace

struct VGReachability::Watcher {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool lookNow = false;
};

namespace {
std::mutex g_watchersMutex;
// Every watcher started, for flagsMayHaveChanged; ended ones drop out as they expire.
std::vector<std::weak_ptr<void>> g_watchers;
} // namespace

void VGReachability::registerWatcher(const std::shared_ptr<Watcher> &watcher)
{
    std::lock_guard lock(g_watchersMutex);
    std::erase_if(g_watchers, [](const std::weak_ptr<void> &w) { return w.expired(); });
    g_watchers.push_back(watcher);
}

void VGReachability::flagsMayHaveChanged()
{
    std::lock_guard lock(g_watchersMutex);
    for (const std::weak_ptr<void> &entry : g_watchers) {
        if (const auto watcher = std::static_pointer_cast<Watcher>(entry.lock())) {
            std::lock_guard watcherLock(watcher->mutex);
            watcher->lookNow = true;
            watcher->wake.notify_all();
        }
    }
}

void VGReachability::setFlagsSource(FlagsSource source)
{
    std::lock_guard lock(g_sourceMutex);
    g_source = std::move(source);
}

VGReachability::VGReachability(Target target, bool localWifi)
    : target_(std::move(target)), localWifi_(localWifi)
{
}

VGReachability::~VGReachability()
{
    setReachabilityStatusUpdateBlock({}, {});
}

std::unique_ptr<VGReachability> VGReachability::reachabilityWithHostName(const QString &host)
{
    if (host.isEmpty())
        return nullptr;
    return std::unique_ptr<VGReachability>(new VGReachability({host, {}}, false));
}

std::unique_ptr<VGReachability> VGReachability::reachabilityWithAddress(const QHostAddress &address,
                                                                        bool localWifiRef)
{
    if (address.isNull())
        return nullptr;
    return std::unique_ptr<VGReachability>(new VGReachability({{}, address}, localWifiRef));
}

std::unique_ptr<VGReachability> VGReachability::reachabilityForInternetConnection()
{
    return reachabilityWithAddress(QHostAddress(QStringLiteral("0.0.0.0")), false);
}

std::unique_ptr<VGReachability> VGReachability::reachabilityForLocalWiFi()
{
    return reachabilityWithAddress(QHostAddress(QStringLiteral("169.254.0.0")), true);
}

int VGReachability::statusForFlags(uint32_t flags, bool localWifiRef)
{
    if (localWifiRef)
        return (flags & Reachable) && (flags & IsDirect) ? ReachableViaWiFi : NotReachable;
    if (!(flags & Reachable))
        return NotReachable;
    if (flags & IsWWAN)
        return ReachableViaWWAN;
    if (!(flags & ConnectionRequired))
        return ReachableViaWiFi;
    if ((flags & (ConnectionOnDemand | ConnectionOnTraffic)) && !(flags & InterventionRequired))
        return ReachableViaWiFi;
    return NotReachable;
}

int VGReachability::statusForFlags(uint32_t flags) const
{
    return statusForFlags(flags, localWifi_);
}

int VGReachability::status() const
{
    FlagsSource source;
    {
        std::lock_guard lock(g_sourceMutex);
        source = g_source;
    }
    const std::optional<uint32_t> flags = source ? source(target_) : interfaceFlags(target_);
    return flags ? statusForFlags(*flags) : NotReachable;
}

void VGReachability::setPollInterval(std::chrono::milliseconds interval)
{
    pollInterval_ = interval;
}

void VGReachability::setReachabilityStatusUpdateBlock(std::function<void(int)> block,
                                                      Deliver deliver)
{
    if (watcher_) {
        std::lock_guard lock(watcher_->mutex);
        watcher_->stop = true;
        watcher_->wake.notify_all();
        watcher_.reset();
    }
    if (!block || !deliver)
        return;
    auto watcher = std::make_shared<Watcher>();
    watcher_ = watcher;
    registerWatcher(watcher);
    // The watcher owns copies of what it needs, so it may outlive this object by one look.
    std::thread([watcher, target = target_, localWifi = localWifi_, interval = pollInterval_,
                 block = std::move(block), deliver = std::move(deliver)] {
        pthread_setname_np(pthread_self(), "VGReachability");
        VGReachability probe(target, localWifi);
        // The first look is always told: the status may have changed since the caller read it.
        int last = probe.status();
        deliver([block, last] { block(last); });
        std::unique_lock lock(watcher->mutex);
        for (;;) {
            watcher->wake.wait_for(lock, interval,
                                   [&] { return watcher->stop || watcher->lookNow; });
            if (watcher->stop)
                break;
            watcher->lookNow = false;
            lock.unlock();
            const int now = probe.status();
            if (now != last) {
                last = now;
                deliver([block, now] { block(now); });
            }
            lock.lock();
        }
    }).detach();
}

} // namespace murmelo
