#pragma once

#include <QString>
#include <QUrl>

namespace murmelo {

// Where the telemetry service is reached for one application: the service's base address with
// the lower-case hex SHA-1 of the application token put in front of its host name. The base
// address comes from ServiceEndpoints::telemetryUrl(); a base address whose host is a literal
// IP address or "localhost" (a private or test intake) is used as it is.
namespace VGServiceAddress {

QString tokenDigest(const QString &applicationToken);
// True when the host cannot take a name in front of it.
bool isLiteralHost(const QString &host);
// "https://<digest>.<host>/"; without a token, the base address itself.
QUrl baseUrl(const QString &applicationToken);
QUrl sessionsUrl(const QString &applicationToken); // base + "intake/1.0/sessions.mpack"
QUrl tokensUrl(const QString &applicationToken);   // base + "intake/1.0/tokens.mpack"

} // namespace VGServiceAddress

} // namespace murmelo
