#include "toolkit/codec/TextExtras.h"

#include <QStringDecoder>
#include <QUuid>

namespace murmelo {

QString stringWithUUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString XORWithKey(const QString &text, const QString &key)
{
    // An empty key has no byte to combine with.
    if (key.isEmpty())
        return QString();
    QByteArray bytes = text.toUtf8();
    const QByteArray keyBytes = key.toUtf8();
    const qsizetype k = std::min(key.size(), keyBytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes[i] ^ keyBytes[i % k]);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString result = decoder.decode(bytes);
    if (decoder.hasError())
        return QString();
    return result.isNull() ? QString(QLatin1String("")) : result;
}

QString stringGroupByFirstInitial(const QString &text)
{
    if (text.size() <= 1)
        return text.toUpper();
    // A character outside the basic plane is two UTF-16 units; half of one is no label.
    const qsizetype length = text[0].isHighSurrogate() && text[1].isLowSurrogate() ? 2 : 1;
    return text.left(length).toUpper();
}

} // namespace murmelo
