#pragma once

#include <QHostAddress>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

// Whether the telemetry service (or the internet, or the link-local network) can be reached:
// 0 not reachable, 1 through Wi-Fi (any link that is not cellular), 2 through the cellular
// network. The status follows the reachability flag word; where that word comes from is a seam,
// so the application can hand in the machine's full route and name analysis.
class VGReachability {
public:
    enum Status : int { NotReachable = 0, ReachableViaWiFi = 1, ReachableViaWWAN = 2 };
    enum Flag : uint32_t {
        Reachable = 0x2,
        ConnectionRequired = 0x4,
        ConnectionOnTraffic = 0x8,
        InterventionRequired = 0x10,
        ConnectionOnDemand = 0x20,
        IsDirect = 0x20000,
        IsWWAN = 0x40000,
    };

    // What is asked about: a host name, or an address.
    struct Target {
        QString hostName;
        QHostAddress address;
    };
    // Reads the flags for a target; nothing when they cannot be read.
    using FlagsSource = std::function<std::optional<uint32_t>(const Target &)>;
    // Replaces the flags source for every reachability (null restores the built-in one, which
    // looks at the machine's interfaces only).
    static void setFlagsSource(FlagsSource source);
    // Tells every watching reachability to look again now rather than at its next poll, for a
    // flags source that hears of network changes as they happen.
    static void flagsMayHaveChanged();

    ~VGReachability();
    static std::unique_ptr<VGReachability> reachabilityWithHostName(const QString &host);
    static std::unique_ptr<VGReachability> reachabilityWithAddress(const QHostAddress &address,
                                                                   bool localWifiRef);
    static std::unique_ptr<VGReachability> reachabilityForInternetConnection();
    static std::unique_ptr<VGReachability> reachabilityForLocalWiFi();

    int status() const;
    int statusForFlags(uint32_t flags) const;
    static int statusForFlags(uint32_t flags, bool localWifiRef);
    bool localWifiRef() const { return localWifi_; }

    // Watches the status and hands it to `block` through `deliver` (the caller's queue): once
    // when watching starts, then on each change. Setting an empty block stops watching.
    using Deliver = std::function<void(std::function<void()>)>;
    void setReachabilityStatusUpdateBlock(std::function<void(int)> block, Deliver deliver);
    // How often the watcher looks again. For tests.
    void setPollInterval(std::chrono::milliseconds interval);

private:
    VGReachability(Target target, bool localWifi);
    struct Watcher;
    static void registerWatcher(const std::shared_ptr<Watcher> &watcher);
    Target target_;
    bool localWifi_;
    std::chrono::milliseconds pollInterval_{5000};
    std::shared_ptr<Watcher> watcher_;
};

} // namespace murmelo
