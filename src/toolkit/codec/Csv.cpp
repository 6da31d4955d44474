#include "toolkit/codec/Csv.h"

#include <QFile>
#include <QStringDecoder>
#include <QVariantMap>

namespace murmelo {

namespace {

bool isNewline(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isNewline(text[i])) {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.mid(start));
    return lines;
}

QStringList splitFields(const QString &line, const QString &delimiter)
{
    // An empty delimiter separates nothing: the line is one field.
    if (delimiter.isEmpty())
        return {line};
    return line.split(delimiter);
}

} // namespace

QVariantList arrayWithContentsOfCSVString(const QString &text, const QString &delimiter,
                                          const QStringList &keyArray, bool firstLineKey)
{
    QVariantList rows;
    QStringList lines = splitLines(text);
    QStringList keys = keyArray;
    if (keys.isEmpty() && firstLineKey && !lines.isEmpty())
        keys = splitFields(lines.takeFirst(), delimiter);
    for (const QString &line : lines) {
        if (line.isEmpty())
            continue;
        const QStringList fields = splitFields(line, delimiter);
        if (keys.isEmpty()) {
            rows.append(fields);
            continue;
        }
        QVariantMap row;
        for (qsizetype i = 0; i < std::min(keys.size(), fields.size()); ++i)
            row.insert(keys[i], fields[i]);
        rows.append(row);
    }
    return rows;
}

QVariantList arrayWithContentsOfCSVData(const QByteArray &data, const QString &delimiter,
                                        const QStringList &keyArray, bool firstLineKey,
                                        QStringConverter::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(data);
    if (decoder.hasError())
        return {};
    return arrayWithContentsOfCSVString(text, delimiter, keyArray, firstLineKey);
}

QVariantList arrayWithContentsOfCSVFile(const QString &path, const QString &delimiter,
                                        const QStringList &keyArray, bool firstLineKey,
                                        QStringConverter::Encoding encoding)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return arrayWithContentsOfCSVData(file.readAll(), delimiter, keyArray, firstLineKey, encoding);
}

QVariantList arrayWithContentsOfCSVURL(const QUrl &url, const QString &delimiter,
                                       const QStringList &keyArray, bool firstLineKey,
                                       QStringConverter::Encoding encoding)
{
    // Only local files: reading a remote source would block the caller on the network.
    if (!url.isLocalFile())
        return {};
    return arrayWithContentsOfCSVFile(url.toLocalFile(), delimiter, keyArray, firstLineKey,
                                      encoding);
}

QString writeToCSVString(const QList<QVariantList> &rows)
{
    QString out;
    for (const QVariantList &row : rows) {
        QString separator;
        for (const QVariant &value : row) {
            out.append(separator + value.toString());
            separator = QStringLiteral(",");
        }
        out.append(QLatin1Char('\n'));
    }
    return out;
}

} // namespace murmelo
