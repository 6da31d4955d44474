#pragma once

#include <QByteArray>
#include <QString>
#include <QStringConverter>
#include <QStringList>
#include <QUrl>
#include <QVariantList>

namespace murmelo {

// Plain CSV: lines split at any newline character, fields at the delimiter, no quoting. Each row
// is a QStringList of fields, or, with keys (given, or the first line when `firstLineKey` is set
// and none are given), a QVariantMap of key i -> field i for as many as both have.
QVariantList arrayWithContentsOfCSVString(const QString &text, const QString &delimiter,
                                          const QStringList &keyArray, bool firstLineKey);
// The same after reading the whole source as text in `encoding`; an unreadable source, or bytes
// that are not text in that encoding, give no rows.
QVariantList arrayWithContentsOfCSVData(const QByteArray &data, const QString &delimiter,
                                        const QStringList &keyArray, bool firstLineKey,
                                        QStringConverter::Encoding encoding);
QVariantList arrayWithContentsOfCSVFile(const QString &path, const QString &delimiter,
                                        const QStringList &keyArray, bool firstLineKey,
                                        QStringConverter::Encoding encoding);
QVariantList arrayWithContentsOfCSVURL(const QUrl &url, const QString &delimiter,
                                       const QStringList &keyArray, bool firstLineKey,
                                       QStringConverter::Encoding encoding);

// Values joined by ",", every row (an empty one too) ended by a line feed; no quoting.
QString writeToCSVString(const QList<QVariantList> &rows);

} // namespace murmelo
