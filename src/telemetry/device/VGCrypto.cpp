#include "telemetry/device/VGCrypto.h"

#include <QCryptographicHash>

namespace murmelo::VGCrypto {

QString sha1(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString md5(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QByteArray saltedDigest(const QByteArray &secret, const QByteArray &salt)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(salt);
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(secret);
    return hash.result();
}

} // namespace murmelo::VGCrypto
