#include "platform/ServiceEndpoints.h"

#include <QtGlobal>

namespace murmelo::ServiceEndpoints {

namespace {
struct HostPort {
    QString host;
    quint16 port;
};

HostPort mailRelay()
{
    const QString value = qEnvironmentVariable(kMailRelayVariable).trimmed();
    if (value.isEmpty())
        return {QString::fromLatin1(kDefaultMailRelayHost), kDefaultMailRelayPort};
    // A bracketed IPv6 literal may carry a port after the bracket; a bare one may not.
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    const bool bareIPv6 = value.count(QLatin1Char(':')) > 1 && !value.startsWith(QLatin1Char('['));
    if (colon > 0 && !bareIPv6) {
        bool ok = false;
        const uint port = value.mid(colon + 1).toUInt(&ok);
        if (ok && port > 0 && port <= 65535) {
            QString host = value.left(colon);
            if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
                host = host.mid(1, host.size() - 2);
            return {host, quint16(port)};
        }
    }
    return {value, kDefaultMailRelayPort};
}
} // namespace

QString mailRelayHost()
{
    return mailRelay().host;
}

quint16 mailRelayPort()
{
    return mailRelay().port;
}

QUrl telemetryUrl()
{
    const QString value = qEnvironmentVariable(kTelemetryUrlVariable).trimmed();
    const QUrl url(value, QUrl::StrictMode);
    if (!value.isEmpty() && url.isValid() && !url.scheme().isEmpty())
        return url;
    return QUrl(QString::fromLatin1(kDefaultTelemetryUrl));
}

} // namespace murmelo::ServiceEndpoints
