#pragma once

#include "telemetry/network/VGReachability.h"

#include <QObject>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

class Reachability;

// Lets the telemetry see the network as the rest of the application does: its uploads ask the
// application's reachability (routes, interfaces and name resolution) whether the service can be
// reached, and look again as soon as the machine's links, addresses or routes change, so that
// uploads pause while the network is down and resume when it returns.
class TelemetryReachability : public QObject {
    Q_OBJECT
public:
    using FlagsReader = std::function<std::optional<quint32>(const VGReachability::Target &)>;

    // The application's flag word for a target; nothing when the target makes no handle or the
    // machine's network state cannot be read.
    static std::optional<quint32> applicationFlags(const VGReachability::Target &target);

    // Installs `reader` as the telemetry's source of flags and listens for the application's
    // reachability changes. Installing happens before the telemetry looks for the first time.
    explicit TelemetryReachability(FlagsReader reader = applicationFlags,
                                   QObject *parent = nullptr);
    // Gives the telemetry back its own source.
    ~TelemetryReachability() override;

private:
    // Hears of kernel network changes even when no other reachability is being watched.
    std::unique_ptr<Reachability> internet_;
};

} // namespace murmelo
