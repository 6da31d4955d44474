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
    if (value.isEmpty())
        return QUrl(QString::fromLatin1(kDefaultTelemetryUrl));
    if (!telemetryUrlProblem().isEmpty())
        return {};
    return QUrl(value, QUrl::StrictMode);
}

QString telemetryUrlProblem()
{
    const QString value = qEnvironmentVariable(kTelemetryUrlVariable).trimmed();
    if (value.isEmpty())
        return {};
    const QUrl url(value, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
        !url.host().isEmpty())
        return {};
    return QStringLiteral("%1 is not an absolute http or https address (\"%2\"): usage and crash "
                          "reports are not sent.")
        .arg(QLatin1String(kTelemetryUrlVariable), value);
}

} // namespace murmelo::ServiceEndpoints
