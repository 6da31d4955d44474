#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace murmelo {

// One body part of a mail, as the SMTP client takes it: the body text must already be in the
// declared transfer encoding.
struct MailPart {
    QString contentType;
    QString contentDisposition; // empty: no Content-Disposition header
    QString contentTransferEncoding;
    // Text (a QString, sent as UTF-8), or bytes already encoded (a QByteArray, sent as given, so
    // a large attachment is never copied into text).
    QVariant message;
};

// What one of the two mails says, before any relay is involved.
struct MailContents {
    QString toEmail;
    QString subject;
    QList<MailPart> parts;
};

// The fixed texts of the mail jobs and of their progress strip.
namespace MailTexts {
inline constexpr char kReversalSubject[] = "I've discovered a hidden message!";
inline constexpr char kBugReportSubject[] = "Murmelo Bug Report";
inline constexpr char kAttachmentName[] = "murmelo.wav";
inline const QString sendingReversal()
{
    return QStringLiteral("Sending Reversal\u2026");
}
inline const QString sendingBugReport()
{
    return QStringLiteral("Sending Bug Report\u2026");
}
inline const QString reversalSent()
{
    return QStringLiteral("Reversal Sent.");
}
inline const QString reportSent()
{
    return QStringLiteral("Report sent. Thanks for taking the time to report your issue.");
}
inline const QString problemSending()
{
    return QStringLiteral("Problem sending e-mail");
}
inline const QString relayNotReachable()
{
    return QStringLiteral("Mail server is not reachable");
}
inline const QString mailSettingsButton()
{
    return QStringLiteral("Mail Settings\u2026");
}
} // namespace MailTexts

// The largest attachment a reversal mail carries. Mail servers commonly refuse messages much over
// 25 MB, and the attachment grows by a third as Base64 on the way.
inline constexpr qint64 kMaximumAttachmentBytes = 25 * 1000 * 1000;

// Why an attachment of `bytes` cannot be mailed, pointing to what can be done instead; empty when
// it can.
QString attachmentTooLargeText(qint64 bytes);

// Fills each "%@" of `format` in turn with the next argument; text brought in by an argument is
// never filled again. Missing arguments fill as empty text.
QString fillPlaceholders(const QString &format, const QStringList &arguments);

// The reversal mail's text: the localized "message" format with the hidden message, then the
// sender's name.
QString reversalBody(const QString &hiddenMessage, const QString &name);

// The reversal mail: the text, then the WAV file as "murmelo.wav" in 64-column Base64.
MailContents reversalMail(const QString &recipients, const QString &body, const QByteArray &wav);
MailContents bugReportMail(const QString &supportMailbox, const QString &reportText);

} // namespace murmelo
