#pragma once

#include "toolkit/reachability/ReachabilityRoutes.h"

#include <QByteArray>
#include <chrono>
#include <optional>

namespace murmelo {

// Resolves a host name with getaddrinfo, waiting at most `timeout`. getaddrinfo cannot be
// interrupted, so it runs on a detached thread that may finish after the caller gave up; its
// result is then dropped. None on failure or timeout.
std::optional<QList<IpAddress>> resolveHost(const QByteArray &host,
                                            std::chrono::milliseconds timeout);

} // namespace murmelo
