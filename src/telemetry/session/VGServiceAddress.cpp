#include "telemetry/session/VGServiceAddress.h"

#include "platform/ServiceEndpoints.h"

#include <QCryptographicHash>
#include <QHostAddress>

namespace murmelo::VGServiceAddress {

QString tokenDigest(const QString &applicationToken)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(applicationToken.toUtf8(), QCryptographicHash::Sha1).toHex());
}

bool isLiteralHost(const QString &host)
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           !QHostAddress(host).isNull();
}

QUrl baseUrl(const QString &applicationToken)
{
    QUrl url = ServiceEndpoints::telemetryUrl();
    if (!applicationToken.isEmpty() && !isLiteralHost(url.host()))
        url.setHost(tokenDigest(applicationToken) + QLatin1Char('.') + url.host());
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    return url;
}

QUrl sessionsUrl(const QString &applicationToken)
{
    return baseUrl(applicationToken).resolved(QUrl(QStringLiteral("intake/1.0/sessions.mpack")));
}

QUrl tokensUrl(const QString &applicationToken)
{
    return baseUrl(applicationToken).resolved(QUrl(QStringLiteral("intake/1.0/tokens.mpack")));
}

} // namespace murmelo::VGServiceAddress
