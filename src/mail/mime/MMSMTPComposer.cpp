#include "mail/mime/MMSMTPComposer.h"

#include "mail/mime/MailAddress.h"
#include "mail/mime/MimeHeader.h"
#include "toolkit/codec/Base64.h"

#include <QLocale>
#include <QVariant>
#include <cstring>

namespace murmelo {

namespace {

const QByteArray &delimiterLine()
{
    static const QByteArray line = QByteArray("--") + kMMSMTPBoundary + "\r\n";
    return line;
}

// Ends the multipart body: readers that find none take whatever follows the last part for one
// more, empty part.
const QByteArray &closingDelimiterLine()
{
    static const QByteArray line = QByteArray("--") + kMMSMTPBoundary + "--\r\n";
    return line;
}

bool hasLineBreakOrNul(const QString &text)
{
    for (QChar c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0)
            return true;
    return false;
}

// A part header may continue on a further line (CR LF, then a space or a tab, then more text), as
// an attachment's disposition does; any other line break or a NUL would start a header of its own.
bool isUnsafePartHeader(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() == 0 || c == QLatin1Char('\n'))
            return true;
        if (c != QLatin1Char('\r'))
            continue;
        const bool folded = i + 3 < text.size() && text[i + 1] == QLatin1Char('\n') &&
                            (text[i + 2] == QLatin1Char(' ') || text[i + 2] == QLatin1Char('\t')) &&
                            !text[i + 3].isSpace();
        if (!folded)
            return true;
        i += 2;
    }
    return false;
}

// What the platform writes for a missing value.
QString valueText(const MMSMTPPart &part, const char *key)
{
    const auto it = part.constFind(QLatin1String(key));
    return it == part.cend() || !it->isValid() ? QStringLiteral("(null)") : it->toString();
}

QByteArray toAsciiLossy(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text)
        out.append(c.unicode() < 0x80 ? char(c.unicode()) : '?');
    return out;
}

bool isTextPart(const MMSMTPPart &part)
{
    return valueText(part, kMMSMTPPartContentTypeKey)
        .trimmed()
        .startsWith(QLatin1String("text/"), Qt::CaseInsensitive);
}

// Text goes out as UTF-8, so a text part says so unless its type names a charset already.
QString contentType(const MMSMTPPart &part)
{
    const QString type = valueText(part, kMMSMTPPartContentTypeKey);
    if (!isTextPart(part) || type.contains(QLatin1String("charset="), Qt::CaseInsensitive))
        return type;
    return type + QStringLiteral("; charset=UTF-8");
}

bool sentAsIs(const QString &transferEncoding)
{
    const QString e = transferEncoding.trimmed().toLower();
    return e == QLatin1String("7bit") || e == QLatin1String("8bit") ||
           e == QLatin1String("binary") || e == QLatin1String("(null)") || e.isEmpty();
}

QByteArray normalizeLineEnds(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size() + in.size() / 32);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '\r') {
            out.append("\r\n");
            if (i + 1 < in.size() && in[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out.append("\r\n");
        } else {
            out.append(c);
        }
    }
    return out;
}

qsizetype longestLine(const QByteArray &bytes)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    const char *data = bytes.constData();
    while (start <= bytes.size()) {
        const void *hit = std::memchr(data + start, '\n', size_t(bytes.size() - start));
        const qsizetype end = hit ? static_cast<const char *>(hit) - data : bytes.size();
        qsizetype length = end - start;
        if (hit && length > 0 && data[end - 1] == '\r')
            --length;
        longest = std::max(longest, length);
        start = end + 1;
    }
    return longest;
}

// Doubles every "." that begins a line; returns the input itself when there is none, so a
// large Base64 body is not copied.
QByteArray stuffDots(const QByteArray &in)
{
    const auto lineStartsWithDot = [&](qsizetype i) {
        // Lines end in CR LF on the wire; a bare LF or CR inside a binary body ends none.
        return in[i] == '.' && (i == 0 || (i >= 2 && in[i - 1] == '\n' && in[i - 2] == '\r'));
    };
    const char *data = in.constData();
    bool any = !in.isEmpty() && in[0] == '.';
    for (const char *p = data; !any;) {
        p = static_cast<const char *>(std::memchr(p, '.', size_t(in.constData() + in.size() - p)));
        if (!p)
            break;
        any = lineStartsWithDot(p - data);
        ++p;
    }
    if (!any)
        return in;
    QByteArray out;
    out.reserve(in.size() + 64);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (lineStartsWithDot(i))
            out.append('.');
        out.append(in[i]);
    }
    return out;
}

} // namespace

qint64 MMSMTPWireMessage::size() const
{
    qint64 total = headers.size();
    for (const QByteArray &piece : body)
        total += piece.size();
    return total;
}

QString mmsmtpUnsafeField(const MMSMTPHeaderFields &fields, const QString &bccEmail,
                          const MMSMTPParts &parts)
{
    const std::pair<const char *, const QString *> named[] = {
        {"fromEmail", &fields.fromEmail}, {"toEmail", &fields.toEmail},
        {"ccEmail", &fields.ccEmail},     {"bccEmail", &bccEmail},
        {"subject", &fields.subject},     {"relayHost", &fields.relayHost}};
    for (const auto &[name, value] : named)
        if (hasLineBreakOrNul(*value))
            return QString::fromLatin1(name);
    for (const MMSMTPPart &part : parts)
        for (const char *key : {kMMSMTPPartContentDispositionKey, kMMSMTPPartContentTypeKey,
                                kMMSMTPPartContentTransferEncodingKey})
            if (isUnsafePartHeader(part.value(QLatin1String(key)).toString()))
                return QString::fromLatin1(key);
    return QString();
}

QString mmsmtpDateText(const QDateTime &date)
{
    const int offset = date.offsetFromUtc() / 60;
    const int magnitude = std::abs(offset);
    return QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")) +
           QString::asprintf("%c%02d%02d", offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
}

namespace {
QByteArray foldHeader(const QByteArray &line)
{
    // A long address list or subject is folded: the line continues after CR LF and a space,
    // broken after the last space or separator that keeps it short enough, or hard at the limit
    // when there is none.
    QByteArray out;
    QByteArray rest = line;
    while (rest.size() > kMMSMTPMaxLineLength) {
        qsizetype cut = -1;
        for (qsizetype i = kMMSMTPMaxLineLength - 1; i > 0 && cut < 0; --i)
            if (rest[i] == ' ' || rest[i] == ',' || rest[i] == ';')
                cut = rest[i] == ' ' ? i : i + 1;
        if (cut <= 0)
            cut = kMMSMTPMaxLineLength - 1;
        out += rest.left(cut) + "\r\n";
        rest = rest.mid(cut);
        if (!rest.startsWith(' '))
            rest.prepend(' ');
    }
    return out + rest + "\r\n";
}
} // namespace

QByteArray composeHeaderBlock(const MMSMTPHeaderFields &fields, const QDateTime &date,
                              const QString &uuid)
{
    QByteArray h;
    const auto add = [&h](const QString &line) { h += foldHeader(toAsciiLossy(line)); };
    // Address fields are written from the addresses read out of them; a field that is not an
    // address list (the client refuses to send one) goes out reduced to ASCII as it is.
    const auto addAddresses = [&](const QByteArray &name, const QString &value) {
        const AddressList list = parseAddressList(value);
        if (list.ok() && !list.mailboxes.isEmpty())
            h += MimeHeader::addresses(name, list.mailboxes);
        else
            add(QString::fromLatin1(name) + QLatin1Char(':') + value);
    };
    add(QStringLiteral("Date: %1").arg(mmsmtpDateText(date)));
    add(QStringLiteral("Message-id: <%1@%2>")
            .arg(QString(uuid).remove(QLatin1Char('-')), fields.relayHost));
    addAddresses("From", fields.fromEmail);
    if (!fields.toEmail.isEmpty())
        addAddresses("To", fields.toEmail);
    if (!fields.ccEmail.isEmpty())
        addAddresses("Cc", fields.ccEmail);
    add(QStringLiteral("Content-Type: multipart/mixed; boundary=%1")
            .arg(QLatin1String(kMMSMTPBoundary)));
    add(QStringLiteral("Mime-Version: 1.0 (MMSMTPMessage 1.0)"));
    const QByteArray subject = MimeHeader::text("Subject", fields.subject);
    h += subject.contains("=?UTF-8?") ? subject : foldHeader(subject.chopped(2));
    return h + "\r\n";
}

QByteArray mmsmtpTransparentBody(const MMSMTPPart &part, QString *transferEncoding)
{
    const QVariant message = part.value(QLatin1String(kMMSMTPPartMessageKey));
    QByteArray bytes = !message.isValid()                          ? QByteArray("(null)")
                       : message.typeId() == QMetaType::QByteArray ? message.toByteArray()
                                                                   : message.toString().toUtf8();
    if (sentAsIs(*transferEncoding)) {
        if (isTextPart(part))
            bytes = normalizeLineEnds(bytes);
        if (longestLine(bytes) > kMMSMTPMaxLineLength) {
            // Base64 carries the same bytes in short lines; the reader decodes them back.
            bytes = base64EncodedString(bytes);
            *transferEncoding = QStringLiteral("base64");
        }
    }
    return stuffDots(bytes);
}

MMSMTPWireMessage composeMessage(const MMSMTPHeaderFields &fields, const MMSMTPParts &parts,
                                 const QDateTime &date, const QString &uuid)
{
    MMSMTPWireMessage wire;
    wire.headers = composeHeaderBlock(fields, date, uuid);
    for (const MMSMTPPart &part : parts) {
        QString transferEncoding = valueText(part, kMMSMTPPartContentTransferEncodingKey);
        const QByteArray body = mmsmtpTransparentBody(part, &transferEncoding);
        QString head = QString::fromLatin1(delimiterLine());
        if (part.contains(QLatin1String(kMMSMTPPartContentDispositionKey)))
            head += QStringLiteral("Content-Disposition: %1\r\n")
                        .arg(valueText(part, kMMSMTPPartContentDispositionKey));
        head += QStringLiteral("Content-Type: %1\r\n").arg(contentType(part));
        head += QStringLiteral("Content-Transfer-Encoding: %1\r\n\r\n").arg(transferEncoding);
        wire.body.append(head.toUtf8());
        wire.body.append(body);
        wire.body.append(QByteArrayLiteral("\r\n"));
    }
    wire.body.append(closingDelimiterLine() + kMMSMTPEndOfData);
    return wire;
}

} // namespace murmelo
