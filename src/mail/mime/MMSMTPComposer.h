#pragma once

#include "mail/mime/MMSMTPPart.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace murmelo {

inline constexpr char kMMSMTPBoundary[] = "MMSMTPMessage--Separator--Delimiter";
inline constexpr char kMMSMTPEndOfData[] = "\r\n.\r\n";
// Longest line SMTP carries, CR LF not counted.
inline constexpr qsizetype kMMSMTPMaxLineLength = 998;

// The header fields of one message.
struct MMSMTPHeaderFields {
    QString fromEmail;
    QString toEmail;
    QString ccEmail;
    QString subject;
    QString relayHost; // right-hand side of the Message-id
};

// A message in the form it travels after DATA: the header block, then the body in pieces (each
// part's headers, its body, the delimiters, the end-of-data marker). Large bodies stay shared
// with the caller's part, never copied.
struct MMSMTPWireMessage {
    QByteArray headers;
    QList<QByteArray> body;
    qint64 size() const;
};

// The name of the first field that carries a CR, LF or NUL (which would end a header or a
// command early and let the rest of the text act as SMTP), or an empty text when none does.
QString mmsmtpUnsafeField(const MMSMTPHeaderFields &fields, const QString &bccEmail,
                          const MMSMTPParts &parts);

// Date in the mail header form, "Tue, 08 Dec 2026 14:05:09 +0100", in English whatever the
// desktop's language, as mail readers expect it.
QString mmsmtpDateText(const QDateTime &date);

// The header block, ending with the empty line. `uuid` is the canonical text of a fresh UUID; its
// hyphens are dropped. A subject and display names beyond ASCII become encoded words, address
// fields are written from the addresses read out of them.
QByteArray composeHeaderBlock(const MMSMTPHeaderFields &fields, const QDateTime &date,
                              const QString &uuid);

// A part's body as it goes on the wire: lines that begin with "." are doubled so that only the
// composer can end the data; a text part's bare CR or LF becomes CR LF; a part sent as is
// (7bit, 8bit, binary) with a line longer than SMTP carries is re-encoded as Base64, and
// `transferEncoding` is changed to say so.
QByteArray mmsmtpTransparentBody(const MMSMTPPart &part, QString *transferEncoding);

// The whole message after DATA: the header block, each part after a delimiter line (a text part's
// type saying charset=UTF-8), the closing delimiter, the end-of-data marker.
MMSMTPWireMessage composeMessage(const MMSMTPHeaderFields &fields, const MMSMTPParts &parts,
                                 const QDateTime &date, const QString &uuid);

} // namespace murmelo
