#pragma once

#include <QByteArray>

namespace murmelo {

// What a server's EHLO reply offers. Each line of the reply is recorded as it arrives; a fresh
// value forgets everything, as a new connection or the EHLO under TLS must (capabilities
// announced in clear may have been forged).
struct MMSMTPCapabilities {
    bool authCRAMMD5 = false;
    bool authPLAIN = false;
    bool authLOGIN = false;
    bool authDIGESTMD5 = false;
    bool eightBitMessages = false;
    bool startTLS = false;
    bool smtpUtf8 = false;
    // The largest message the server takes, 0 when it names none.
    qint64 maxSize = 0;

    // "250-STARTTLS", "250 AUTH PLAIN LOGIN", "250-size 1000": the keyword and its parameters,
    // wherever the line stands in the reply, in any case. Other lines change nothing.
    void record(const QByteArray &line);
};

} // namespace murmelo
