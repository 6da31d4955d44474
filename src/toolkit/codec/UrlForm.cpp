#include "toolkit/codec/UrlForm.h"

#include <QStringDecoder>

namespace murmelo {

namespace {

bool keptAsIs(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '\'':
    case '(':
    case ')':
    case '*':
    case ',':
    case '/':
    case ':':
    case ';':
    case '?':
    case '@':
        return true;
    default:
        return false;
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

QString stringByEncodingURLFormat(const QString &text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QString out;
    out.reserve(utf8.size());
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out.append(QLatin1Char('+'));
        } else if (keptAsIs(c)) {
            out.append(QLatin1Char(ch));
        } else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(kHex[c >> 4]));
            out.append(QLatin1Char(kHex[c & 15]));
        }
    }
    return out;
}

QString stringByDecodingURLFormat(const QString &text)
{
    const QByteArray in = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '+') {
            bytes.append(' ');
        } else if (c == '%') {
            const int hi = i + 2 < in.size() ? hexValue(in[i + 1]) : -1;
            const int lo = hi >= 0 ? hexValue(in[i + 2]) : -1;
            if (lo < 0)
                return QString();
            bytes.append(char(hi * 16 + lo));
            i += 2;
        } else {
            bytes.append(c);
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return QString();
    if (decoded.isNull())
        decoded = QLatin1String("");
    return decoded;
}

QString stringFromQueryComponents(const QVariantMap &components)
{
    QString query;
    for (auto it = components.cbegin(); it != components.cend(); ++it) {
        const QString key = stringByEncodingURLFormat(it.key());
        const QVariantList values = it.value().typeId() == QMetaType::QVariantList
                                        ? it.value().toList()
                                    : it.value().typeId() == QMetaType::QStringList
                                        ? QVariant(it.value().toStringList()).toList()
                                        : QVariantList{it.value()};
        for (const QVariant &value : values) {
            if (!query.isNull())
                query.append(QLatin1Char('&'));
            query.append(key + QLatin1Char('=') + stringByEncodingURLFormat(value.toString()));
        }
    }
    return query;
}

QMap<QString, QStringList> dictionaryFromQueryComponents(const QString &query)
{
    QMap<QString, QStringList> result;
    for (const QString &piece : query.split(QLatin1Char('&'))) {
        const QStringList parts = piece.split(QLatin1Char('='));
        if (parts.size() < 2)
            continue;
        const QString key = stringByDecodingURLFormat(parts[0]);
        const QString value = stringByDecodingURLFormat(parts[1]);
        if (key.isNull() || value.isNull())
            continue;
        result[key].append(value);
    }
    return result;
}

} // namespace murmelo
