#include "mail/smtp/MMSMTPMessage.h"

#include "mail/smtp/MMSMTPLog.h"
#include "mail/smtp/MMSMTPRejection.h"
#include "platform/Localized.h"
#include "toolkit/codec/Base64.h"
#include "toolkit/codec/TextExtras.h"

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

// A server that takes QUIT but never closes gets the connection dropped after this.
constexpr int kQuitGraceMilliseconds = 2000;

bool isRefusal(int code)
{
    return code >= 400 && code < 600;
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

bool MMSMTPMessage::readEnvelope()
{
    if (const std::optional<MMSMTPError> refused =
            envelope_.read(fromEmail_, toEmail_, ccEmail_, bccEmail_)) {
        trace(QStringLiteral("refused: %1").arg(refused->localizedFailureReason));
        reportFailed(*refused);
        return false;
    }
    recipientsSent_ = 0;
    return true;
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

bool MMSMTPMessage::send()
{
    trace(QStringLiteral("*** send"));
    finished_ = false;
    errorRecorded_ = false;
    greeted_ = false;
    const MMSMTPHeaderFields fields{fromEmail_, toEmail_, ccEmail_, subject_, relayHost_};
    // What a user typed must not end a command or a header early.
    const QString unsafe = mmsmtpUnsafeField(fields, bccEmail_, parts_);
    if (!unsafe.isEmpty()) {
        trace(QStringLiteral("refused: %1 holds a line break").arg(unsafe));
        reportFailed(mmsmtpError(kMMSMTPErrorInvalidHeader));
        return false;
    }
    if (!readEnvelope())
        return false;
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
    capabilities_ = {};
    greeted_ = false;
    recipientsSent_ = 0;
    reader_.reset();
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
    if (!finished_ && sessionAlive())
        quitAndRelease();
    cleanUpStreams();
    connectTimer_.stop();
    stopWatchdog();
    finished_ = true;
}

bool MMSMTPMessage::sessionAlive() const
{
    // Mid-handshake, or with a body still going out, a QUIT would be taken as part of it.
    return socket_ && greeted_ && !tlsHandshaking_ && !bodyPending_ && output_.isEmpty() &&
           socket_->state() == QAbstractSocket::ConnectedState &&
           (!isSecure_ || socket_->isEncrypted());
}

void MMSMTPMessage::quitAndRelease()
{
    // The session ends the way the server expects; the socket closes on its own once QUIT has
    // gone out (or after a short grace), detached from this message, which may be gone by then.
    QSslSocket *socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    trace(QStringLiteral("C: QUIT"));
    socket->write("QUIT\r\n");
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kQuitGraceMilliseconds, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
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
        reader_.append(chunk);
        parseBuffer();
    }
}

void MMSMTPMessage::streamEnded()
{
    if (finished_)
        return;
    trace(QStringLiteral("connection closed by the server"));
    greeted_ = false;
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
    QByteArray line;
    while (!finished_ && !errorRecorded_) {
        const MMSMTPReplyReader::Read read = reader_.next(line);
        if (read == MMSMTPReplyReader::Read::NeedMore)
            break;
        if (read == MMSMTPReplyReader::Read::Oversized) {
            recordError(mmsmtpError(kMMSMTPErrorBadReply));
            break;
        }
        const MMSMTPSendState before = sendState_;
        handleLine(line);
        if (tlsHandshaking_ && before == kMMSMTPWaitingTLSReply) {
            // Whatever came with or after the server's go-ahead was sent in clear, where anyone
            // on the path could have put it: only what the server says under TLS counts.
            reader_.discardUnread();
            break;
        }
    }
    if (finished_)
        return;
    if (sendState_ == kMMSMTPMessageSent)
        reportSent();
    else if (errorRecorded_)
        reportFailed(pendingError_);
}

void MMSMTPMessage::handleLine(const QByteArray &line)
{
    trace(QStringLiteral("S: %1").arg(QString::fromLatin1(line)));
    greeted_ = true;
    if (sendState_ == kMMSMTPWaitingEHLOReply)
        capabilities_.record(line);
    // A reply is acted on once, at its last line; the lines before it only add to its text.
    if (!reader_.addToReply(line))
        return;
    handleReply(MMSMTPReplyReader::replyCode(line), line);
    reader_.endReply();
}

void MMSMTPMessage::handleReply(int code, const QByteArray &line)
{
    if (sendState_ == kMMSMTPIdle || sendState_ == kMMSMTPMessageSent)
        return;
    // The server took the message at its final dot: whatever it answers to QUIT, it has it.
    if (sendState_ == kMMSMTPWaitingQuitReply) {
        sendState_ = kMMSMTPMessageSent;
        return;
    }
    if (isRefusal(code)) {
        recordError(rejection(code));
        return;
    }
    const bool positive = code >= 200 && code < 300;
    switch (sendState_) {
    case kMMSMTPConnecting:
        if (code == 220) {
            sendState_ = kMMSMTPWaitingEHLOReply;
            writeCommand(QByteArrayLiteral("EHLO localhost\r\n"));
            return;
        }
        break;
    case kMMSMTPWaitingEHLOReply:
        if (positive) {
            ehloDone();
            return;
        }
        break;
    case kMMSMTPWaitingTLSReply:
        if (code == 220) {
            startTls();
            return;
        }
        break;
    case kMMSMTPWaitingLOGINUserNameReply:
        // "Username:" is the usual challenge; servers that word it otherwise still ask for the
        // user name first, so any challenge is answered rather than left to time out.
        if (code == 334) {
            sendState_ = kMMSMTPWaitingLOGINPasswordReply;
            writeCommand(encodeBase64ForData(login_.toUtf8()).toLatin1() + "\r\n",
                         QStringLiteral("C: (user name)"));
            return;
        }
        break;
    case kMMSMTPWaitingLOGINPasswordReply:
        if (code == 334) {
            sendState_ = kMMSMTPWaitingAuthSuccess;
            writeCommand(encodeBase64ForData(password_.toUtf8()).toLatin1() + "\r\n",
                         QStringLiteral("C: (password)"));
            return;
        }
        break;
    case kMMSMTPWaitingAuthSuccess:
        if (code == 235) {
            sendMailFrom(true);
            return;
        }
        break;
    case kMMSMTPWaitingFromReply:
        if (positive) {
            sendNextRecipient();
            return;
        }
        break;
    case kMMSMTPWaitingToReply:
        if (positive) {
            sendState_ = kMMSMTPWaitingForEnterMail;
            writeCommand(QByteArrayLiteral("DATA\r\n"));
            return;
        }
        break;
    case kMMSMTPWaitingForEnterMail:
        if (code == 354) {
            sendState_ = kMMSMTPWaitingSendSuccess;
            sendParts();
            return;
        }
        break;
    case kMMSMTPWaitingSendSuccess:
        if (positive) {
            sendState_ = kMMSMTPWaitingQuitReply;
            writeCommand(QByteArrayLiteral("QUIT\r\n"));
            return;
        }
        break;
    case kMMSMTPIdle:
    case kMMSMTPWaitingQuitReply:
    case kMMSMTPMessageSent:
        return;
    }
    // A reply this step does not expect: the dialogue waits on, but only as long as the
    // watchdog of the last command lets it.
    trace(QStringLiteral("unexpected reply: %1").arg(QString::fromLatin1(line)));
}

void MMSMTPMessage::ehloDone()
{
    if (wantsSecure_ && !isSecure_) {
        if (capabilities_.startTLS) {
            sendState_ = kMMSMTPWaitingTLSReply;
            writeCommand(QByteArrayLiteral("STARTTLS\r\n"));
        } else {
            // Going on in clear would hand the password and the addresses to anyone on the path.
            recordError(mmsmtpError(kMMSMTPErrorNotSecure));
        }
        return;
    }
    if (capabilities_.maxSize > 0 && wire_.size() > capabilities_.maxSize) {
        MMSMTPError error = mmsmtpError(kMMSMTPErrorTooLarge);
        error.localizedFailureReason = mmsmtpTooLargeText(wire_.size(), capabilities_.maxSize);
        recordError(error);
        return;
    }
    if (envelope_.needsUtf8 && !capabilities_.smtpUtf8) {
        MMSMTPError error = mmsmtpError(kMMSMTPErrorNeedsSmtpUtf8);
        error.localizedFailureReason = envelope_.smtpUtf8Refusal();
        recordError(error);
        return;
    }
    if (requiresAuth_)
        authenticate();
    else
        sendMailFrom(false);
}

void MMSMTPMessage::authenticate()
{
    if (capabilities_.authPLAIN) {
        sendState_ = kMMSMTPWaitingAuthSuccess;
        const QByteArray plain = QByteArray(1, '\0') + login_.toUtf8() + '\0' + password_.toUtf8();
        writeCommand("AUTH PLAIN " + encodeBase64ForData(plain).toLatin1() + "\r\n",
                     QStringLiteral("C: AUTH PLAIN (credentials)"));
    } else if (capabilities_.authLOGIN) {
        sendState_ = kMMSMTPWaitingLOGINUserNameReply;
        writeCommand(QByteArrayLiteral("AUTH LOGIN\r\n"));
    } else {
        recordError(mmsmtpError(kMMSMTPErrorUnsupportedLogin));
    }
}

MMSMTPError MMSMTPMessage::rejection(int code) const
{
    const bool atRecipient = sendState_ == kMMSMTPWaitingToReply ||
                             (sendState_ == kMMSMTPWaitingFromReply && recipientsSent_ > 0);
    return mmsmtpRejection(sendState_, code, reader_.replyText(),
                           atRecipient && recipientsSent_ > 0
                               ? envelope_.recipients.value(recipientsSent_ - 1).address()
                               : QString());
}

void MMSMTPMessage::startTls()
{
    sendState_ = kMMSMTPWaitingEHLOReply;
    isSecure_ = true;
    tlsHandshaking_ = true;
    // Capabilities announced in clear may have been forged; the EHLO under TLS tells them anew.
    capabilities_ = {};
    reader_.reset();
    socket_->readAll();
    startShortWatchdog();
    socket_->startClientEncryption();
}

void MMSMTPMessage::sendMailFrom(bool afterAuth)
{
    sendState_ = kMMSMTPWaitingFromReply;
    // Only the address itself goes between the brackets; the parameters are ours.
    QByteArray command = "MAIL FROM:<" + envelope_.sender.envelopeAddress() + ">";
    if (afterAuth && capabilities_.eightBitMessages)
        command += " BODY=8BITMIME";
    if (envelope_.needsUtf8)
        command += " SMTPUTF8";
    writeCommand(command + "\r\n");
}

void MMSMTPMessage::sendNextRecipient()
{
    if (recipientsSent_ >= envelope_.recipients.size())
        return;
    const Mailbox &next = envelope_.recipients[recipientsSent_++];
    if (recipientsSent_ == envelope_.recipients.size())
        sendState_ = kMMSMTPWaitingToReply;
    writeCommand("RCPT TO:<" + next.envelopeAddress() + ">\r\n");
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
    // Taken at the final dot is delivered: a connection that breaks, a timeout or a refused QUIT
    // after that must not make anyone send it again.
    if (sendState_ == kMMSMTPWaitingQuitReply || sendState_ == kMMSMTPMessageSent) {
        reportSent();
        return;
    }
    finished_ = true;
    connectTimer_.stop();
    stopWatchdog();
    if (sessionAlive())
        quitAndRelease();
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
