#include "mail/smtp/MMSMTPMessage.h"

#include "mail/smtp/MMSMTPLog.h"
#include "platform/Localized.h"
#include "toolkit/codec/Base64.h"
#include "toolkit/codec/TextExtras.h"

#include <QRegularExpression>
#include <QSslCipher>
#include <QSslConfiguration>

namespace murmelo {

namespace {

// Qt's own read buffer stays this small, so a flooding server cannot make the client hold more.
constexpr qint64 kSocketReadBuffer = 16 * 1024;
constexpr qsizetype kReadChunk = 1024;
// Bytes handed to the socket ahead of the network; the rest of a large body waits in place.
constexpr qint64 kOutputHighWater = 256 * 1024;
constexpr qsizetype kWriteSlice = 64 * 1024;

bool isReplyEnd(const QByteArray &line)
{
    // "250-..." continues a reply; anything else ends it.
    return !(line.size() >= 4 && line[3] == '-');
}

} // namespace

MMSMTPMessage::MMSMTPMessage(QObject *parent) : QObject(parent), relayPorts_(defaultRelayPorts())
{
    for (QTimer *timer : {&connectTimer_, &shortWatchdogTimer_, &longWatchdogTimer_})
        timer->setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this, &MMSMTPMessage::connectionConnectedCheck);
    connect(&shortWatchdogTimer_, &QTimer::timeout, this, &MMSMTPMessage::connectionWatchdog);
    connect(&longWatchdogTimer_, &QTimer::timeout, this, &MMSMTPMessage::connectionWatchdog);
}

MMSMTPMessage::~MMSMTPMessage()
{
    connectTimer_.stop();
    stopWatchdog();
    cleanUpStreams();
}

QList<quint16> MMSMTPMessage::defaultRelayPorts()
{
    static const QList<quint16> ports{587, 25, 564};
    return ports;
}

void MMSMTPMessage::setWatchdogDurations(std::chrono::milliseconds shortWait,
                                         std::chrono::milliseconds longWait)
{
    shortWatchdogDuration_ = shortWait;
    longWatchdogDuration_ = longWait;
}

void MMSMTPMessage::setTrustedCertificates(const QList<QSslCertificate> &certificates)
{
    trustedCertificates_ = certificates;
}

std::unique_ptr<MMSMTPMessage> MMSMTPMessage::copy() const
{
    auto other = std::make_unique<MMSMTPMessage>();
    other->delegate_ = delegate_;
    other->fromEmail_ = fromEmail_;
    other->login_ = login_;
    other->parts_ = parts_;
    other->password_ = password_;
    other->relayHost_ = relayHost_;
    other->requiresAuth_ = requiresAuth_;
    other->subject_ = subject_;
    other->toEmail_ = toEmail_;
    other->wantsSecure_ = wantsSecure_;
    other->implicitTLS_ = implicitTLS_;
    other->validateSSLChain_ = validateSSLChain_;
    other->ccEmail_ = ccEmail_;
    other->bccEmail_ = bccEmail_;
    other->trustedCertificates_ = trustedCertificates_;
    return other;
}

QString MMSMTPMessage::formatAnAddress(const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.contains(QLatin1Char('<')) || trimmed.contains(QLatin1Char('>')))
        return QStringLiteral("RCPT TO:%1\r\n").arg(trimmed);
    return QStringLiteral("RCPT TO:<%1>\r\n").arg(trimmed);
}

QString MMSMTPMessage::formatAddresses(const QString &addresses)
{
    if (addresses.isEmpty())
        return QString();
    static const QRegularExpression separators(QStringLiteral("[;,]"));
    if (!addresses.contains(separators))
        return formatAnAddress(addresses);
    QString lines;
    for (const QString &piece : addresses.split(separators))
        lines += formatAnAddress(piece);
    return lines;
}

bool MMSMTPMessage::send()
{
    trace(QStringLiteral("*** send"));
    finished_ = false;
    errorRecorded_ = false;
    recipientsBuilt_ = false;
    multipleRcptTo_.clear();
    const MMSMTPHeaderFields fields{fromEmail_, toEmail_, ccEmail_, subject_, relayHost_};
    // What a user typed must not end a command or a header early.
    const QString unsafe = mmsmtpUnsafeField(fields, bccEmail_, parts_);
    if (!unsafe.isEmpty()) {
        trace(QStringLiteral("refused: %1 holds a line break").arg(unsafe));
        reportFailed(mmsmtpError(kMMSMTPErrorInvalidHeader));
        return false;
    }
    // Composed once, so that its size can be checked against the server's limit before DATA.
    wire_ = composeMessage(fields, parts_, QDateTime::currentDateTime(), stringWithUUID());
    return attempt();
}

bool MMSMTPMessage::attempt()
{
    if (relayPorts_.isEmpty()) {
        reportFailed(mmsmtpError(kMMSMTPErrorConnect));
        return false;
    }
    const quint16 port = relayPorts_.takeFirst();
    trace(QStringLiteral("connecting to %1:%2%3")
              .arg(relayHost_)
              .arg(port)
              .arg(implicitTLS_ ? QStringLiteral(" over TLS") : QString()));
    connectTimer_.start(std::chrono::milliseconds(qint64(connectTimeout_ * 1000.0)));

    cleanUpStreams();
    socket_ = new QSslSocket;
    socket_->setReadBufferSize(kSocketReadBuffer);
    QSslConfiguration tls = socket_->sslConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    if (!trustedCertificates_.isEmpty())
        tls.addCaCertificates(trustedCertificates_);
    tls.setPeerVerifyMode(validateSSLChain_ ? QSslSocket::VerifyPeer : QSslSocket::VerifyNone);
    socket_->setSslConfiguration(tls);
    connect(socket_, &QSslSocket::connected, this, &MMSMTPMessage::connected);
    connect(socket_, &QSslSocket::readyRead, this, &MMSMTPMessage::readAvailable);
    connect(socket_, &QSslSocket::disconnected, this, &MMSMTPMessage::streamEnded);
    connect(socket_, &QSslSocket::errorOccurred, this, &MMSMTPMessage::socketError);
    connect(socket_, &QSslSocket::sslErrors, this, &MMSMTPMessage::sslErrors);
    connect(socket_, &QSslSocket::encrypted, this, &MMSMTPMessage::encryptionStarted);
    connect(socket_, &QSslSocket::bytesWritten, this, &MMSMTPMessage::outputDrained);
    connect(socket_, &QSslSocket::encryptedBytesWritten, this, &MMSMTPMessage::outputDrained);

    sendState_ = kMMSMTPConnecting;
    isSecure_ = false;
    tlsHandshaking_ = false;
    certificateProblem_.clear();
    serverAuthCRAMMD5_ = serverAuthPLAIN_ = serverAuthLOGIN_ = serverAuthDIGESTMD5_ = false;
    server8bitMessages_ = serverOffersTLS_ = false;
    serverMaxSize_ = 0;
    inputString_.clear();
    replyBytes_ = 0;
    output_.clear();
    outputOffset_ = 0;
    bodyPending_ = false;
    if (implicitTLS_)
        socket_->connectToHostEncrypted(relayHost_, port);
    else
        socket_->connectToHost(relayHost_, port);
    return true;
}

void MMSMTPMessage::cancel()
{
    trace(QStringLiteral("*** cancel"));
    cleanUpStreams();
    connectTimer_.stop();
    stopWatchdog();
    finished_ = true;
}

void MMSMTPMessage::cleanUpStreams()
{
    if (!socket_)
        return;
    // The socket may be the sender of the signal being handled: disconnect now, delete later.
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
    socket_ = nullptr;
}

void MMSMTPMessage::connectionConnectedCheck()
{
    if (sendState_ != kMMSMTPConnecting || finished_)
        return;
    trace(QStringLiteral("no greeting, trying the next port"));
    cleanUpStreams();
    sendState_ = kMMSMTPIdle;
    attempt();
}

void MMSMTPMessage::startShortWatchdog()
{
    longWatchdogTimer_.stop();
    shortWatchdogTimer_.start(shortWatchdogDuration_);
}

void MMSMTPMessage::startLongWatchdog()
{
    shortWatchdogTimer_.stop();
    longWatchdogTimer_.start(longWatchdogDuration_);
}

void MMSMTPMessage::stopWatchdog()
{
    shortWatchdogTimer_.stop();
    longWatchdogTimer_.stop();
}

void MMSMTPMessage::connectionWatchdog()
{
    if (finished_)
        return;
    trace(QStringLiteral("watchdog fired in state %1").arg(int(sendState_)));
    // A QUIT that goes unanswered still means the server took the message.
    if (sendState_ == kMMSMTPWaitingQuitReply)
        reportSent();
    else
        reportFailed(mmsmtpError(kMMSMTPErrorTimeout));
}

void MMSMTPMessage::readAvailable()
{
    // The delegate may delete this message when it hears the outcome.
    const QPointer<MMSMTPMessage> alive(this);
    while (alive && socket_ && !finished_ && socket_->bytesAvailable() > 0) {
        const QByteArray chunk = socket_->read(kReadChunk);
        if (chunk.isEmpty())
            break;
        inputString_.append(chunk);
        peakBufferedReply_ = std::max(peakBufferedReply_, inputString_.size());
        parseBuffer();
    }
}

void MMSMTPMessage::streamEnded()
{
    if (finished_)
        return;
    trace(QStringLiteral("connection closed by the server"));
    if (sendState_ == kMMSMTPMessageSent)
        reportSent();
    else
        reportFailed(mmsmtpError(kMMSMTPErrorInterrupted));
}

void MMSMTPMessage::connected()
{
    // Under implicit TLS the handshake begins as soon as the connection stands; from here on a
    // failure is the secure connection's, not a port to skip.
    if (implicitTLS_ && !finished_)
        tlsHandshaking_ = true;
}

void MMSMTPMessage::socketError(QAbstractSocket::SocketError error)
{
    if (finished_ || !socket_)
        return;
    trace(QStringLiteral("socket error %1: %2").arg(int(error)).arg(socket_->errorString()));
    if (tlsHandshaking_ || error == QAbstractSocket::SslHandshakeFailedError) {
        MMSMTPError failed = mmsmtpError(kMMSMTPErrorTLSFailed);
        failed.localizedFailureReason =
            certificateProblem_.isEmpty() ? socket_->errorString() : certificateProblem_;
        reportFailed(failed);
    } else if (error == QAbstractSocket::RemoteHostClosedError) {
        streamEnded();
    } else if (sendState_ == kMMSMTPConnecting) {
        // Refused or unresolvable: no use waiting for this port's greeting.
        connectTimer_.stop();
        cleanUpStreams();
        sendState_ = kMMSMTPIdle;
        attempt();
    } else {
        reportFailed(socketErrorValue());
    }
}

void MMSMTPMessage::sslErrors(const QList<QSslError> &errors)
{
    QStringList problems;
    for (const QSslError &error : errors) {
        trace(QStringLiteral("certificate: %1").arg(error.errorString()));
        problems << error.errorString();
    }
    certificateProblem_ = problems.join(QStringLiteral("; "));
    if (!validateSSLChain_ && socket_)
        socket_->ignoreSslErrors();
}

void MMSMTPMessage::encryptionStarted()
{
    if (finished_)
        return;
    tlsHandshaking_ = false;
    trace(QStringLiteral("TLS started: %1").arg(socket_->sessionCipher().name()));
    if (sendState_ == kMMSMTPConnecting) {
        // Implicit TLS: the server greets only now, under encryption.
        isSecure_ = true;
        return;
    }
    writeCommand(QByteArrayLiteral("EHLO localhost\r\n"));
    if (errorRecorded_)
        reportFailed(pendingError_);
}

void MMSMTPMessage::outputDrained()
{
    pumpOutput();
    if (errorRecorded_ && !finished_)
        reportFailed(pendingError_);
}

void MMSMTPMessage::parseBuffer()
{
    qsizetype pos = 0;
    while (!finished_ && !errorRecorded_) {
        while (pos < inputString_.size() &&
               QByteArrayView(" \t\r\n").contains(inputString_.at(pos)))
            ++pos;
        qsizetype end = pos;
        while (end < inputString_.size() && inputString_[end] != '\r' && inputString_[end] != '\n')
            ++end;
        if (end - pos > kMaxReplyLine) {
            recordError(mmsmtpError(kMMSMTPErrorBadReply));
            break;
        }
        // A line is only taken once its line break has arrived: a reply split across reads
        // is still one line.
        if (end == inputString_.size())
            break;
        const QByteArray line = inputString_.mid(pos, end - pos);
        pos = end;
        replyBytes_ += line.size();
        if (replyBytes_ > kMaxReplyBytes) {
            recordError(mmsmtpError(kMMSMTPErrorBadReply));
            break;
        }
        if (isReplyEnd(line))
            replyBytes_ = 0;
        const MMSMTPSendState before = sendState_;
        handleLine(line);
        if (tlsHandshaking_ && before == kMMSMTPWaitingTLSReply) {
            // Whatever came with or after the server's go-ahead was sent in clear, where anyone
            // on the path could have put it: only what the server says under TLS counts.
            pos = inputString_.size();
            break;
        }
    }
    if (finished_)
        return;
    inputString_.remove(0, std::min(pos, inputString_.size()));
    if (sendState_ == kMMSMTPMessageSent)
        reportSent();
    else if (errorRecorded_)
        reportFailed(pendingError_);
}

void MMSMTPMessage::handleLine(const QByteArray &line)
{
    trace(QStringLiteral("S: %1").arg(QString::fromLatin1(line)));
    switch (sendState_) {
    case kMMSMTPConnecting:
        if (line.startsWith("220 ")) {
            sendState_ = kMMSMTPWaitingEHLOReply;
            writeCommand(QByteArrayLiteral("EHLO localhost\r\n"));
        }
        break;
    case kMMSMTPWaitingEHLOReply:
        handleEhloLine(line);
        break;
    case kMMSMTPWaitingTLSReply:
        if (line.startsWith("220 "))
            startTls();
        break;
    case kMMSMTPWaitingLOGINUserNameReply:
        // "Username:" is the usual challenge; servers that word it otherwise still ask for the
        // user name first, so any challenge is answered rather than left to time out.
        if (line.startsWith("334 VXNlcm5hbWU6") || line.startsWith("334 ")) {
            sendState_ = kMMSMTPWaitingLOGINPasswordReply;
            writeCommand(encodeBase64ForData(login_.toUtf8()).toLatin1() + "\r\n",
                         QStringLiteral("C: (user name)"));
        }
        break;
    case kMMSMTPWaitingLOGINPasswordReply:
        if (line.startsWith("334 UGFzc3dvcmQ6") || line.startsWith("334 ")) {
            sendState_ = kMMSMTPWaitingAuthSuccess;
            writeCommand(encodeBase64ForData(password_.toUtf8()).toLatin1() + "\r\n",
                         QStringLiteral("C: (password)"));
        }
        break;
    case kMMSMTPWaitingAuthSuccess:
        if (line.startsWith("235 "))
            sendMailFrom(true);
        else if (line.startsWith("535 "))
            recordError(mmsmtpError(kMMSMTPErrorBadLogin));
        break;
    case kMMSMTPWaitingFromReply:
        if (line.startsWith("250 "))
            sendNextRecipient();
        break;
    case kMMSMTPWaitingToReply:
        if (line.startsWith("250 ")) {
            sendState_ = kMMSMTPWaitingForEnterMail;
            writeCommand(QByteArrayLiteral("DATA\r\n"));
        } else if (line.startsWith("530 ")) {
            recordError(mmsmtpError(kMMSMTPErrorRelayRejected));
        } else if (line.startsWith("550 ") || line.startsWith("553 ")) {
            recordError(mmsmtpError(kMMSMTPErrorToRejected));
        }
        break;
    case kMMSMTPWaitingForEnterMail:
        if (line.startsWith("354 ")) {
            sendState_ = kMMSMTPWaitingSendSuccess;
            sendParts();
        }
        break;
    case kMMSMTPWaitingSendSuccess:
        if (line.startsWith("250 ")) {
            sendState_ = kMMSMTPWaitingQuitReply;
            writeCommand(QByteArrayLiteral("QUIT\r\n"));
        } else if (line.startsWith("550 ")) {
            recordError(mmsmtpError(kMMSMTPErrorLogoutFailed));
        }
        break;
    case kMMSMTPWaitingQuitReply:
        if (line.startsWith("221 "))
            sendState_ = kMMSMTPMessageSent;
        break;
    case kMMSMTPIdle:
    case kMMSMTPMessageSent:
        break;
    }
}

void MMSMTPMessage::handleEhloLine(const QByteArray &line)
{
    if (line.startsWith("250-SIZE") || line.startsWith("250 SIZE")) {
        bool ok = false;
        const qint64 size = line.mid(8).trimmed().toLongLong(&ok);
        serverMaxSize_ = ok ? size : 0;
    }
    if (line.startsWith("250-AUTH")) {
        serverAuthCRAMMD5_ |= line.contains("CRAM-MD5");
        serverAuthPLAIN_ |= line.contains("PLAIN");
        serverAuthLOGIN_ |= line.contains("LOGIN");
        serverAuthDIGESTMD5_ |= line.contains("DIGEST-MD5");
    } else if (line.startsWith("250-8BITMIME")) {
        server8bitMessages_ = true;
    } else if (line.startsWith("250-STARTTLS") && !isSecure_ && wantsSecure_) {
        serverOffersTLS_ = true;
        sendState_ = kMMSMTPWaitingTLSReply;
        writeCommand(QByteArrayLiteral("STARTTLS\r\n"));
    } else if (line.startsWith("250 ")) {
        if (wantsSecure_ && !isSecure_) {
            // Going on in clear would hand the password and the addresses to anyone on the path.
            recordError(mmsmtpError(kMMSMTPErrorNotSecure));
        } else if (serverMaxSize_ > 0 && wire_.size() > serverMaxSize_) {
            recordError(mmsmtpError(kMMSMTPErrorTooLarge));
        } else if (!requiresAuth_) {
            sendMailFrom(false);
        } else if (serverAuthPLAIN_) {
            sendState_ = kMMSMTPWaitingAuthSuccess;
            const QByteArray plain =
                QByteArray(1, '\0') + login_.toUtf8() + '\0' + password_.toUtf8();
            writeCommand("AUTH PLAIN " + encodeBase64ForData(plain).toLatin1() + "\r\n",
                         QStringLiteral("C: AUTH PLAIN (credentials)"));
        } else if (serverAuthLOGIN_) {
            sendState_ = kMMSMTPWaitingLOGINUserNameReply;
            writeCommand(QByteArrayLiteral("AUTH LOGIN\r\n"));
        } else {
            recordError(mmsmtpError(kMMSMTPErrorUnsupportedLogin));
        }
    }
}

void MMSMTPMessage::startTls()
{
    sendState_ = kMMSMTPWaitingEHLOReply;
    isSecure_ = true;
    tlsHandshaking_ = true;
    // Capabilities announced in clear may have been forged; the EHLO under TLS tells them anew.
    serverAuthCRAMMD5_ = serverAuthPLAIN_ = serverAuthLOGIN_ = serverAuthDIGESTMD5_ = false;
    server8bitMessages_ = false;
    serverMaxSize_ = 0;
    inputString_.clear();
    socket_->readAll();
    startShortWatchdog();
    socket_->startClientEncryption();
}

void MMSMTPMessage::sendMailFrom(bool afterAuth)
{
    sendState_ = kMMSMTPWaitingFromReply;
    const QString format = afterAuth && server8bitMessages_
                               ? QStringLiteral("MAIL FROM:<%1> BODY=8BITMIME\r\n")
                               : QStringLiteral("MAIL FROM:<%1>\r\n");
    const QString command = format.arg(fromEmail_);
    if (!afterAuth) {
        writeCommand(command.toUtf8());
        return;
    }
    // After authentication the sender goes out as ASCII; one that is not cannot be sent.
    for (QChar c : command) {
        if (c.unicode() >= 0x80) {
            recordError(mmsmtpError(kMMSMTPErrorInvalidHeader));
            return;
        }
    }
    writeCommand(command.toLatin1());
}

void MMSMTPMessage::sendNextRecipient()
{
    if (!recipientsBuilt_) {
        const QString all =
            formatAddresses(toEmail_) + formatAddresses(ccEmail_) + formatAddresses(bccEmail_);
        multipleRcptTo_ = all.split(QStringLiteral("\r\n"));
        multipleRcptTo_.removeLast();
        recipientsBuilt_ = true;
    }
    if (multipleRcptTo_.isEmpty()) {
        sendState_ = kMMSMTPWaitingToReply;
        return;
    }
    const QString line = multipleRcptTo_.takeFirst();
    if (multipleRcptTo_.isEmpty())
        sendState_ = kMMSMTPWaitingToReply;
    writeCommand((line + QStringLiteral("\r\n")).toUtf8());
}

void MMSMTPMessage::writeCommand(const QByteArray &command, const QString &traceText)
{
    trace(traceText.isEmpty() ? QStringLiteral("C: %1").arg(QString::fromUtf8(command).trimmed())
                              : traceText);
    if (command.isEmpty())
        return;
    output_.append(command);
    pumpOutput();
    if (!errorRecorded_)
        startShortWatchdog();
}

void MMSMTPMessage::sendParts()
{
    for (const MMSMTPPart &part : parts_) {
        const bool text = part.value(QLatin1String(kMMSMTPPartContentTypeKey)).toString() ==
                          QLatin1String("text/plain");
        trace(text ? QStringLiteral("part: text") : QStringLiteral("part: attachment"));
    }
    trace(QStringLiteral("C: (message, %1 bytes)").arg(wire_.size()));
    output_.append(wire_.headers);
    output_.append(wire_.body);
    bodyPending_ = true;
    startShortWatchdog();
    pumpOutput();
}

void MMSMTPMessage::pumpOutput()
{
    if (!socket_ || finished_ || errorRecorded_)
        return;
    bool progressed = false;
    while (!output_.isEmpty() &&
           socket_->bytesToWrite() + socket_->encryptedBytesToWrite() < kOutputHighWater) {
        const QByteArray &piece = output_.first();
        const qsizetype length = std::min(kWriteSlice, piece.size() - outputOffset_);
        const qint64 written =
            length > 0 ? socket_->write(piece.constData() + outputOffset_, length) : 0;
        if (written < 0) {
            // Reported by whoever started this write, once its own work is done.
            recordError(socketErrorValue());
            return;
        }
        outputOffset_ += written;
        progressed = progressed || written > 0;
        if (outputOffset_ >= piece.size()) {
            output_.removeFirst();
            outputOffset_ = 0;
        }
    }
    if (!bodyPending_)
        return;
    // While a large body drains, each step forward re-arms the short wait; once all of it is
    // with the socket, the server gets the long wait to take it.
    if (output_.isEmpty()) {
        bodyPending_ = false;
        startLongWatchdog();
    } else if (progressed) {
        startShortWatchdog();
    }
}

void MMSMTPMessage::recordError(const MMSMTPError &error)
{
    trace(QStringLiteral("error %1: %2").arg(error.code).arg(error.localizedDescription));
    pendingError_ = error;
    errorRecorded_ = true;
}

MMSMTPError MMSMTPMessage::socketErrorValue() const
{
    MMSMTPError error;
    error.domain = QStringLiteral("QAbstractSocket");
    error.code = socket_ ? int(socket_->error()) : int(QAbstractSocket::UnknownSocketError);
    error.localizedDescription = socket_ ? socket_->errorString() : QString();
    error.localizedRecoverySuggestion = localized("Try sending your message again later.");
    return error;
}

void MMSMTPMessage::reportSent()
{
    finished_ = true;
    connectTimer_.stop();
    stopWatchdog();
    cleanUpStreams();
    trace(QStringLiteral("*** message sent"));
    if (delegate_)
        delegate_->messageSent(this);
}

void MMSMTPMessage::reportFailed(const MMSMTPError &error)
{
    finished_ = true;
    connectTimer_.stop();
    stopWatchdog();
    cleanUpStreams();
    trace(QStringLiteral("*** message failed: %1 %2")
              .arg(error.code)
              .arg(error.localizedDescription));
    if (delegate_)
        delegate_->messageFailed(this, error);
}

void MMSMTPMessage::trace(const QString &line) const
{
    if (logWarnings_)
        mmsmtpLog(line);
}

} // namespace murmelo
