#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace murmelo {

// Form encoding: " " as "+", everything outside the URL-safe characters percent-escaped as UTF-8.
// "+", "&", "=", "#" and "%" are escaped too, so that a key or value holding them survives a
// query string.
QString stringByEncodingURLFormat(const QString &text);
// "+" as " ", percent escapes resolved as UTF-8. A null text when an escape is malformed or the
// bytes are not UTF-8.
QString stringByDecodingURLFormat(const QString &text);

// "k=v&k2=v2" from a dictionary; a list value gives one pair per element. Null when empty.
QString stringFromQueryComponents(const QVariantMap &components);
// Every key with its values in order of appearance; pieces without "=" or with a malformed
// escape are left out.
QMap<QString, QStringList> dictionaryFromQueryComponents(const QString &query);

} // namespace murmelo
