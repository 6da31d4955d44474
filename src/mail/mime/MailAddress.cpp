#include "mail/mime/MailAddress.h"

#include <QUrl>

namespace murmelo {

namespace {

constexpr qsizetype kMaximumLocalPart = 64;
constexpr qsizetype kMaximumDomain = 255;

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

// Characters an unquoted local part or domain label may hold; letters beyond ASCII are allowed
// as international addresses write them.
bool isAtext(QChar c)
{
    if (c.unicode() >= 0x80)
        return !c.isSpace() && !isControl(c);
    if (c.isLetterOrNumber())
        return true;
    return QByteArrayView("!#$%&'*+-/=?^_`{|}~").contains(char(c.unicode()));
}

bool isDotAtom(const QString &text)
{
    if (text.isEmpty() || text.startsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char('.')) ||
        text.contains(QLatin1String("..")))
        return false;
    for (QChar c : text)
        if (c != QLatin1Char('.') && !isAtext(c))
            return false;
    return true;
}

// The end of a quoted string that opens at `from`, or -1 when it never closes.
qsizetype quotedEnd(const QString &text, qsizetype from)
{
    for (qsizetype i = from + 1; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\'))
            ++i;
        else if (text[i] == QLatin1Char('"'))
            return i;
    }
    return -1;
}

// `text` with its comments, "(...)" outside quotes, made blanks; false when one never closes.
bool blankComments(QString &text)
{
    int depth = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (depth == 0 && c == QLatin1Char('"')) {
            const qsizetype end = quotedEnd(text, i);
            if (end < 0)
                return false;
            i = end;
        } else if (depth > 0 && c == QLatin1Char('\\')) {
            text[i] = QLatin1Char(' ');
            if (i + 1 < text.size())
                text[++i] = QLatin1Char(' ');
        } else if (c == QLatin1Char('(')) {
            ++depth;
            text[i] = QLatin1Char(' ');
        } else if (depth > 0 && c == QLatin1Char(')')) {
            --depth;
            text[i] = QLatin1Char(' ');
        } else if (depth > 0) {
            text[i] = QLatin1Char(' ');
        }
    }
    return depth == 0;
}

bool isValidDomain(const QString &domain)
{
    if (domain.startsWith(QLatin1Char('[')))
        return domain.endsWith(QLatin1Char(']')) && domain.size() > 2 &&
               !domain.mid(1, domain.size() - 2).contains(QLatin1Char('[')) &&
               !domain.mid(1, domain.size() - 2).contains(QLatin1Char(']')) &&
               !domain.mid(1, domain.size() - 2).contains(QLatin1Char('\\'));
    if (!isDotAtom(domain) || domain.toUtf8().size() > kMaximumDomain)
        return false;
    for (QChar c : domain)
        if (c.unicode() >= 0x80)
            return !QUrl::toAce(domain).isEmpty();
    return true;
}

bool isValidQuotedLocal(const QString &local)
{
    for (qsizetype i = 1; i + 1 < local.size(); ++i) {
        const QChar c = local[i];
        if (isControl(c) && c != QLatin1Char('\t'))
            return false;
        if (c == QLatin1Char('\\'))
            ++i;
        else if (c == QLatin1Char('"'))
            return false;
    }
    return local.size() >= 2;
}

// "local@domain", nothing around it.
bool parseAddrSpec(const QString &text, Mailbox &mailbox)
{
    qsizetype at = -1;
    if (text.startsWith(QLatin1Char('"'))) {
        const qsizetype end = quotedEnd(text, 0);
        if (end < 0 || end + 1 >= text.size() || text[end + 1] != QLatin1Char('@'))
            return false;
        at = end + 1;
        mailbox.localPart = text.left(at);
        if (!isValidQuotedLocal(mailbox.localPart))
            return false;
    } else {
        at = text.indexOf(QLatin1Char('@'));
        if (at <= 0)
            return false;
        mailbox.localPart = text.left(at);
        if (!isDotAtom(mailbox.localPart))
            return false;
    }
    mailbox.domain = text.mid(at + 1);
    return mailbox.localPart.toUtf8().size() <= kMaximumLocalPart && isValidDomain(mailbox.domain);
}

// The display name as a reader shows it: quotes and escapes gone, blanks collapsed. False when
// it holds what only an address may ("@", "<", ":" outside quotes...).
bool parseDisplayName(const QString &text, QString &name)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"')) {
            const qsizetype end = quotedEnd(text, i);
            if (end < 0)
                return false;
            for (qsizetype j = i + 1; j < end; ++j) {
                if (text[j] == QLatin1Char('\\'))
                    ++j;
                out += text[j];
            }
            i = end;
        } else if (QByteArrayView("<>@:;,[]\\").contains(char(c.unicode())) && c.unicode() < 0x80) {
            return false;
        } else {
            out += c;
        }
    }
    name = out.simplified();
    return true;
}

bool parseItem(const QString &typed, Mailbox &mailbox)
{
    for (QChar c : typed)
        if (isControl(c) && c != QLatin1Char('\t'))
            return false;
    QString text = typed;
    if (!blankComments(text))
        return false;
    text = text.trimmed();
    // The "<" that opens the address: the first one outside quotes.
    qsizetype open = -1;
    for (qsizetype i = 0; i < text.size() && open < 0; ++i) {
        if (text[i] == QLatin1Char('"')) {
            i = quotedEnd(text, i);
            if (i < 0)
                return false;
        } else if (text[i] == QLatin1Char('<')) {
            open = i;
        }
    }
    if (open < 0)
        return parseAddrSpec(text, mailbox);
    if (!text.endsWith(QLatin1Char('>')) || text.size() - 1 <= open)
        return false;
    const QString inside = text.mid(open + 1, text.size() - open - 2).trimmed();
    return parseDisplayName(text.left(open), mailbox.displayName) && parseAddrSpec(inside, mailbox);
}

} // namespace

bool Mailbox::needsUtf8() const
{
    for (QChar c : localPart)
        if (c.unicode() >= 0x80)
            return true;
    return false;
}

QByteArray Mailbox::envelopeAddress() const
{
    bool ascii = true;
    for (QChar c : domain)
        ascii = ascii && c.unicode() < 0x80;
    return localPart.toUtf8() + '@' + (ascii ? domain.toUtf8() : QUrl::toAce(domain));
}

AddressList parseAddressList(const QString &text)
{
    AddressList list;
    // Items end at a "," or ";" outside quotes, angle brackets and comments.
    QList<QString> items;
    qsizetype start = 0;
    int angle = 0;
    int comment = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const QChar c = i < text.size() ? text[i] : QLatin1Char(',');
        if (i < text.size() && comment == 0 && c == QLatin1Char('"')) {
            const qsizetype end = quotedEnd(text, i);
            if (end < 0) {
                list.offending = text.mid(start).trimmed();
                return list;
            }
            i = end;
        } else if (comment > 0 && c == QLatin1Char('\\')) {
            ++i;
        } else if (c == QLatin1Char('(')) {
            ++comment;
        } else if (comment > 0 && c == QLatin1Char(')')) {
            --comment;
        } else if (comment == 0 && c == QLatin1Char('<')) {
            ++angle;
        } else if (comment == 0 && c == QLatin1Char('>')) {
            angle = std::max(0, angle - 1);
        } else if ((c == QLatin1Char(',') || c == QLatin1Char(';')) &&
                   ((angle == 0 && comment == 0) || i == text.size())) {
            items << text.mid(start, i - start);
            start = i + 1;
        }
    }
    for (const QString &item : std::as_const(items)) {
        if (item.trimmed().isEmpty())
            continue;
        Mailbox mailbox;
        if (!parseItem(item, mailbox)) {
            list.offending = item.trimmed();
            list.mailboxes.clear();
            return list;
        }
        list.mailboxes << mailbox;
    }
    return list;
}

AddressList parseMailbox(const QString &text)
{
    AddressList list;
    Mailbox mailbox;
    if (parseItem(text, mailbox) && !text.trimmed().isEmpty())
        list.mailboxes << mailbox;
    else
        list.offending = text.trimmed().isEmpty() ? text : text.trimmed();
    return list;
}

} // namespace murmelo
