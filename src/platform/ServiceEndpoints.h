#pragma once

#include <QString>
#include <QUrl>

namespace murmelo {

// The network services the application talks to. Each is compiled in and can be overridden by
// an environment variable, so that a test or a private deployment points it elsewhere.
namespace ServiceEndpoints {

// MURMELO_MAIL_RELAY, "host" or "host:port".
inline constexpr char kMailRelayVariable[] = "MURMELO_MAIL_RELAY";
inline constexpr char kDefaultMailRelayHost[] = "smtp.murmelo.org";
inline constexpr quint16 kDefaultMailRelayPort = 587; // mail submission with STARTTLS

// MURMELO_TELEMETRY_URL, the base URL uploads go below. It must be an absolute http or https
// address; anything else is refused rather than quietly replaced by the compiled-in service.
inline constexpr char kTelemetryUrlVariable[] = "MURMELO_TELEMETRY_URL";
inline constexpr char kDefaultTelemetryUrl[] = "https://telemetry.murmelo.org/";

QString mailRelayHost();
quint16 mailRelayPort();
// The telemetry's base address; empty when MURMELO_TELEMETRY_URL is set but refused.
QUrl telemetryUrl();
// Why MURMELO_TELEMETRY_URL is refused; empty when it is unset or usable.
QString telemetryUrlProblem();

} // namespace ServiceEndpoints

} // namespace murmelo
