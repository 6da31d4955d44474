#include "mail/jobs/VCard.h"

#include <QStringDecoder>

namespace murmelo {

namespace {

struct Property {
    QByteArray name; // upper case, group removed
    QList<QByteArray> parameters;
    QByteArray value;
};

// Joins folded lines: a line break followed by a space or a tab continues the line before it.
QList<QByteArray> unfoldedLines(QByteArray data)
{
    data.replace("\r\n", "\n");
    data.replace('\r', '\n');
    QList<QByteArray> lines;
    for (const QByteArray &line : data.split('\n')) {
        if (!lines.isEmpty() && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t'))
            lines.last() += line.mid(1);
        else
            lines << line;
    }
    return lines;
}

bool isQuotedPrintable(const QList<QByteArray> &parameters)
{
    for (const QByteArray &parameter : parameters) {
        const QByteArray upper = parameter.toUpper();
        if (upper == "ENCODING=QUOTED-PRINTABLE" || upper == "QUOTED-PRINTABLE")
            return true;
    }
    return false;
}

QByteArray charsetOf(const QList<QByteArray> &parameters)
{
    for (const QByteArray &parameter : parameters) {
        if (parameter.toUpper().startsWith("CHARSET="))
            return parameter.mid(8);
    }
    return "UTF-8";
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(const QByteArray &value)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size()) {
            const int high = hexValue(value[i + 1]);
            const int low = hexValue(value[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes += char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        bytes += value[i];
    }
    return bytes;
}

// Splits "NAME;PARAM=...:value" at the first colon outside double quotes.
bool parseProperty(const QByteArray &line, Property *property)
{
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        return false;
    QList<QByteArray> head = line.left(colon).split(';');
    QByteArray name = head.takeFirst().trimmed().toUpper();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0)
        name = name.mid(dot + 1);
    property->name = name;
    property->parameters = head;
    property->value = line.mid(colon + 1);
    return true;
}

QString decodeText(const QByteArray &bytes, const QByteArray &charset)
{
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

// Undoes the text escapes: "\\", "\,", "\;", "\n".
QString unescaped(const QString &text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar next = text[++i];
            plain += (next == QLatin1Char('n') || next == QLatin1Char('N'))
                         ? QChar(QLatin1Char('\n'))
                         : next;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

// "Family;Given;Middle;Prefix;Suffix" as a person is addressed: "Given Middle Family".
QString nameFromStructured(const QString &value)
{
    QStringList fields = value.split(QLatin1Char(';'));
    while (fields.size() < 3)
        fields << QString();
    QStringList parts;
    for (const QString &field : {fields[1], fields[2], fields[0]}) {
        const QString part = unescaped(field).trimmed();
        if (!part.isEmpty())
            parts << part;
    }
    return parts.join(QLatin1Char(' '));
}

QString emailFromValue(QString value)
{
    value = unescaped(value).trimmed();
    if (value.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        value = value.mid(7);
    return value;
}

} // namespace

QList<Contact> readVCards(const QByteArray &data)
{
    QList<Contact> contacts;
    const QList<QByteArray> lines = unfoldedLines(data);
    bool inCard = false;
    Contact current;
    QString structuredName;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        Property property;
        if (!parseProperty(lines[i], &property))
            continue;
        // A quoted-printable value ending in "=" goes on on the next line (a soft line break).
        if (isQuotedPrintable(property.parameters)) {
            while (property.value.endsWith('=') && i + 1 < lines.size()) {
                property.value.chop(1);
                property.value += lines[++i];
            }
            property.value = decodeQuotedPrintable(property.value);
        }
        const QString value = decodeText(property.value, charsetOf(property.parameters));
        if (property.name == "BEGIN" &&
            value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0) {
            inCard = true;
            current = Contact();
            structuredName.clear();
        } else if (!inCard) {
            continue;
        } else if (property.name == "END") {
            inCard = false;
            if (current.name.isEmpty())
                current.name = structuredName;
            if (current.name.isEmpty() && !current.emails.isEmpty())
                current.name = current.emails.first();
            if (!current.name.isEmpty())
                contacts << current;
        } else if (property.name == "FN") {
            current.name = unescaped(value).trimmed();
        } else if (property.name == "N") {
            structuredName = nameFromStructured(value);
        } else if (property.name == "EMAIL") {
            const QString email = emailFromValue(value);
            if (!email.isEmpty())
                current.emails << email;
        }
    }
    return contacts;
}

} // namespace murmelo
