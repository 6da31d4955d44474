#include "mail/jobs/MailContents.h"

#include "platform/Localized.h"

#include <QStringList>

namespace murmelo {

QString fillPlaceholders(const QString &format, const QStringList &arguments)
{
    QString filled;
    qsizetype from = 0;
    qsizetype next = 0;
    for (;;) {
        const qsizetype at = format.indexOf(QLatin1String("%@"), from);
        if (at < 0)
            break;
        filled += format.mid(from, at - from);
        filled += next < arguments.size() ? arguments[next] : QString();
        ++next;
        from = at + 2;
    }
    return filled + format.mid(from);
}

QString reversalBody(const QString &hiddenMessage, const QString &name)
{
    return fillPlaceholders(localized("message"), {hiddenMessage, name});
}

QByteArray attachmentText(const QByteArray &bytes)
{
    constexpr qsizetype kLine = 64;
    const QByteArray encoded = bytes.toBase64();
    QByteArray lines;
    lines.reserve(encoded.size() + encoded.size() / kLine * 2 + 2);
    for (qsizetype at = 0; at < encoded.size(); at += kLine) {
        if (at > 0)
            lines += "\r\n";
        lines += QByteArrayView(encoded).sliced(at, qMin(kLine, encoded.size() - at));
    }
    return lines;
}

MailContents reversalMail(const QString &recipients, const QString &body, const QByteArray &wav)
{
    MailContents mail;
    mail.toEmail = recipients;
    mail.subject = QLatin1String(MailTexts::kReversalSubject);
    mail.parts << MailPart{QStringLiteral("text/plain"), QString(), QStringLiteral("8bit"), body};
    mail.parts << MailPart{QStringLiteral("audio/wave"),
                           QStringLiteral("attachment;\r\n\tfilename=\"%1\"")
                               .arg(QLatin1String(MailTexts::kAttachmentName)),
                           QStringLiteral("base64"), attachmentText(wav)};
    return mail;
}

MailContents bugReportMail(const QString &supportMailbox, const QString &reportText)
{
    MailContents mail;
    mail.toEmail = supportMailbox;
    mail.subject = QLatin1String(MailTexts::kBugReportSubject);
    mail.parts << MailPart{QStringLiteral("text/plain"), QString(), QStringLiteral("8bit"),
                           reportText};
    return mail;
}

} // namespace murmelo
