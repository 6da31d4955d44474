#pragma once

#include <QByteArray>
#include <QString>

namespace murmelo {

// Digest texts: 40 (SHA-1) or 32 (MD5) lower-case hex digits of a string's UTF-8 bytes. A null
// string counts as empty.
namespace VGCrypto {

QString sha1(const QString &text);
QString md5(const QString &text);
// A digest of a machine-specific secret mixed with a purpose, so that the secret itself never
// leaves the machine and digests made for different purposes cannot be joined.
QByteArray saltedDigest(const QByteArray &secret, const QByteArray &salt);

} // namespace VGCrypto

} // namespace murmelo
