#include "toolkit/reachability/ReachabilityResolver.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>

namespace murmelo {

namespace {
struct Lookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<QList<IpAddress>> addresses;
};

std::optional<QList<IpAddress>> lookUp(const QByteArray &host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *results = nullptr;
    if (getaddrinfo(host.constData(), nullptr, &hints, &results) != 0)
        return std::nullopt;
    QList<IpAddress> addresses;
    for (addrinfo *entry = results; entry; entry = entry->ai_next) {
        const auto address = IpAddress::fromSockaddr(entry->ai_addr);
        if (address && !addresses.contains(*address))
            addresses << *address;
    }
    freeaddrinfo(results);
    return addresses;
}
} // namespace

std::optional<QList<IpAddress>> resolveHost(const QByteArray &host,
                                            std::chrono::milliseconds timeout)
{
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host] {
        auto addresses = lookUp(host);
        const std::lock_guard lock(lookup->mutex);
        lookup->addresses = std::move(addresses);
        lookup->done = true;
        lookup->finished.notify_all();
    }).detach();
    std::unique_lock lock(lookup->mutex);
    if (!lookup->finished.wait_for(lock, timeout, [&] { return lookup->done; }))
        return std::nullopt;
    return lookup->addresses;
}

} // namespace murmelo
