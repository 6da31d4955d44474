#include "mail/smtp/MMSMTPCapabilities.h"

#include "mail/smtp/MMSMTPReplyReader.h"

#include <QList>

namespace murmelo {

void MMSMTPCapabilities::record(const QByteArray &line)
{
    if (MMSMTPReplyReader::replyCode(line) != 250 || line.size() < 5)
        return;
    const QList<QByteArray> words = line.mid(4).trimmed().toUpper().simplified().split(' ');
    const QByteArray keyword = words.first();
    if (keyword == "AUTH" || keyword.startsWith("AUTH=")) {
        QList<QByteArray> mechanisms = words.mid(1);
        if (keyword.startsWith("AUTH="))
            mechanisms << keyword.mid(5);
        for (const QByteArray &mechanism : std::as_const(mechanisms)) {
            authCRAMMD5 |= mechanism == "CRAM-MD5";
            authPLAIN |= mechanism == "PLAIN";
            authLOGIN |= mechanism == "LOGIN";
            authDIGESTMD5 |= mechanism == "DIGEST-MD5";
        }
    } else if (keyword == "8BITMIME") {
        eightBitMessages = true;
    } else if (keyword == "STARTTLS") {
        startTLS = true;
    } else if (keyword == "SMTPUTF8") {
        smtpUtf8 = true;
    } else if (keyword == "SIZE") {
        bool ok = false;
        const qint64 size = words.value(1).toLongLong(&ok);
        maxSize = ok && size > 0 ? size : 0;
    }
}

} // namespace murmelo
