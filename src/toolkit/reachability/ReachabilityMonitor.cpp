#include "toolkit/reachability/ReachabilityMonitor.h"

#include <QSocketNotifier>
#include <cerrno>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace murmelo {

ReachabilityMonitor::ReachabilityMonitor(QObject *parent) : QObject(parent) {}

ReachabilityMonitor::~ReachabilityMonitor()
{
    stop();
}

bool ReachabilityMonitor::start()
{
    if (isRunning())
        return true;
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return false;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE |
                        RTMGRP_IPV6_ROUTE;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ReachabilityMonitor::readMessages);
    return true;
}

void ReachabilityMonitor::stop()
{
    if (!isRunning())
        return;
    delete notifier_;
    notifier_ = nullptr;
    ::close(fd_);
    fd_ = -1;
}

void ReachabilityMonitor::readMessages()
{
    // The contents do not matter: any change may change what a target's flags are, and the
    // flags are read afresh when asked. Draining keeps one burst to one notification.
    alignas(nlmsghdr) char buffer[8192];
    bool any = false;
    for (;;) {
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            any = true;
            continue;
        }
        // ENOBUFS means the kernel dropped messages for us: something changed all the same.
        if (n < 0 && errno == ENOBUFS) {
            any = true;
            continue;
        }
        break;
    }
    if (any)
        emit changed();
}

} // namespace murmelo
