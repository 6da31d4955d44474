#include "mail/jobs/MailContents.h"

#include "mail/smtp/MMSMTPError.h"
#include "platform/Localized.h"
#include "toolkit/codec/Base64.h"

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

QString attachmentTooLargeText(qint64 bytes)
{
    if (bytes <= kMaximumAttachmentBytes)
        return QString();
    return localized("This recording is %1. Crop it to the part that matters, or publish it "
                     "instead (Publish\u2026) and send the link.")
        .arg(mmsmtpTooLargeText(bytes, kMaximumAttachmentBytes));
}

QString reversalBody(const QString &hiddenMessage, const QString &name)
{
    return fillPlaceholders(localized("message"), {hiddenMessage, name});
}

MailContents reversalMail(const QString &recipients, const QString &body, const QByteArray &wav)
{
    MailContents mail;
    mail.toEmail = recipients;
    mail.subject = QLatin1String(MailTexts::kReversalSubject);
    mail.parts << MailPart{QStringLiteral("text/plain; charset=UTF-8"), QString(),
                           QStringLiteral("8bit"), body};
    mail.parts << MailPart{QStringLiteral("audio/wave"),
                           QStringLiteral("attachment;\r\n\tfilename=\"%1\"")
                               .arg(QLatin1String(MailTexts::kAttachmentName)),
                           QStringLiteral("base64"), base64EncodedString(wav)};
    return mail;
}

MailContents bugReportMail(const QString &supportMailbox, const QString &reportText)
{
    MailContents mail;
    mail.toEmail = supportMailbox;
    mail.subject = QLatin1String(MailTexts::kBugReportSubject);
    mail.parts << MailPart{QStringLiteral("text/plain; charset=UTF-8"), QString(),
                           QStringLiteral("8bit"), reportText};
    return mail;
}

} // namespace murmelo
