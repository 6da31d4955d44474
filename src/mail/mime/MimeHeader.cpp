#include "mail/mime/MimeHeader.h"

#include "mail/mime/MailAddress.h"

namespace murmelo::MimeHeader {

namespace {

// Lines are kept to this length where there is a place to break them.
constexpr qsizetype kFoldAt = 78;
// "=?UTF-8?B?" and "?=" around at most this many bytes make a word of at most 68 characters, so
// that even the first one fits on the line after "Subject: ".
constexpr qsizetype kBytesPerWord = 42;

bool isPlainAscii(const QString &value)
{
    for (QChar c : value)
        if (c.unicode() >= 0x80 || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    // Text that looks like an encoded word would be decoded by the reader.
    return !value.contains(QLatin1String("=?"));
}

// A display name that needs no quotes: words of letters, digits and the few signs allowed.
bool isAtomPhrase(const QString &value)
{
    if (value.isEmpty())
        return false;
    for (QChar c : value) {
        if (c == QLatin1Char(' ') || c.isLetterOrNumber())
            continue;
        if (!QByteArrayView("!#$%&'*+-/=?^_`{|}~").contains(char(c.unicode())))
            return false;
    }
    return true;
}

QByteArray quotedString(const QString &value)
{
    QByteArray out = "\"";
    for (QChar c : value) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += '\\';
        out += char(c.unicode());
    }
    return out + '"';
}

QByteArray displayName(const QString &name)
{
    if (!isPlainAscii(name))
        return encodedWords(name).join(' ');
    return isAtomPhrase(name) ? name.toLatin1() : quotedString(name);
}

QByteArray mailboxText(const Mailbox &mailbox)
{
    bool asciiDomain = true;
    for (QChar c : mailbox.domain)
        asciiDomain = asciiDomain && c.unicode() < 0x80;
    const QByteArray address = mailbox.needsUtf8() || !asciiDomain ? mailbox.envelopeAddress()
                                                                   : mailbox.address().toLatin1();
    if (mailbox.displayName.isEmpty())
        return address;
    return displayName(mailbox.displayName) + " <" + address + '>';
}

// Puts the pieces on lines no longer than the fold width where possible, each further line
// starting with a blank; `separator` goes between pieces.
QByteArray fold(const QByteArray &name, const QList<QByteArray> &pieces,
                const QByteArray &separator)
{
    QByteArray out = name + ':';
    qsizetype lineLength = out.size();
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QByteArray piece = pieces[i];
        if (i + 1 < pieces.size())
            piece += separator.trimmed();
        if (i > 0 && lineLength + 1 + piece.size() > kFoldAt) {
            out += "\r\n";
            lineLength = 0;
        }
        // Encoded words must stand apart from the header name and from each other.
        out += ' ';
        ++lineLength;
        out += piece;
        lineLength += piece.size();
    }
    return out + "\r\n";
}

} // namespace

QList<QByteArray> encodedWords(const QString &value)
{
    QList<QByteArray> words;
    QByteArray chunk;
    const auto flush = [&] {
        if (!chunk.isEmpty())
            words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    // Whole characters (surrogate pairs together) per word, so each word decodes on its own.
    for (qsizetype i = 0; i < value.size(); ++i) {
        qsizetype length = 1;
        if (value[i].isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate())
            length = 2;
        const QByteArray bytes = value.mid(i, length).toUtf8();
        if (chunk.size() + bytes.size() > kBytesPerWord)
            flush();
        chunk += bytes;
        i += length - 1;
    }
    flush();
    return words;
}

QByteArray text(const QByteArray &name, const QString &value)
{
    if (isPlainAscii(value))
        return name + ':' + value.toLatin1() + "\r\n";
    return fold(name, encodedWords(value), " ");
}

QByteArray addresses(const QByteArray &name, const QList<Mailbox> &mailboxes)
{
    QList<QByteArray> pieces;
    for (const Mailbox &mailbox : mailboxes)
        pieces << mailboxText(mailbox);
    // One plain address keeps the short form "To:a@x".
    if (pieces.size() == 1 && mailboxes.first().displayName.isEmpty() &&
        pieces.first().size() + name.size() < kFoldAt)
        return name + ':' + pieces.first() + "\r\n";
    return fold(name, pieces, ", ");
}

} // namespace murmelo::MimeHeader
