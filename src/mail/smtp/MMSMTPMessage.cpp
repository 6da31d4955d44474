#include "mail/smtp/MMSMTPMessage.h"

#include "mail/smtp/MMSMTPLog.h"
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

bool isReplyEnd(const QByteArray &line)
{
    // "250-..." continues a reply; anything else ends it.
    return !(line.size() >= 4 && line[3] == '-');
}

// The reply code of a line, or 0 when it does not begin with three digits.
int replyCode(const QByteArray &line)
{
    if (line.size() < 3)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (line[i] < '0' || line[i] > '9')
            return 0;
    return line.left(3).toInt();
}

bool isRefusal(int code)
{
    return code >= 400 && code < 600;
}

QString quoted(const QString &text)
{
    return QStringLiteral("\u201c%1\u201d").arg(text);
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
    const auto refuse = [this](MMSMTPErrorCode code, const QString &reason) {
        trace(QStringLiteral("refused: %1").arg(reason));
        MMSMTPError error = mmsmtpError(code);
        error.localizedFailureReason = reason;
        reportFailed(error);
        return false;
    };
    const AddressList from = parseMailbox(fromEmail_);
    if (from.mailboxes.size() != 1)
        return refuse(kMMSMTPErrorInvalidAddress,
                      tr("The sender %1 is not one e-mail address.").arg(quoted(fromEmail_)));
    sender_ = from.mailboxes.first();
    recipients_.clear();
    for (const QString *list : {&toEmail_, &ccEmail_, &bccEmail_}) {
        const AddressList read = parseAddressList(*list);
        if (!read.ok())
            return refuse(kMMSMTPErrorInvalidAddress,
                          tr("%1 is not an e-mail address.").arg(quoted(read.offending)));
        recipients_ << read.mailboxes;
    }
    if (recipients_.isEmpty())
        return refuse(kMMSMTPErrorNoRecipient, tr("No address was given."));
    if (recipients_.size() > kMaximumRecipients)
        return refuse(kMMSMTPErrorTooManyRecipients, tr("It has %1 recipients; at most %2 can "
                                                        "receive one message.")
                                                         .arg(recipients_.size())
                                                         .arg(kMaximumRecipients));
    needsUtf8_ = sender_.needsUtf8();
    for (const Mailbox &mailbox : std::as_const(recipients_))
        needsUtf8_ = needsUtf8_ || mailbox.needsUtf8();
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
    serverAuthCRAMMD5_ = serverAuthPLAIN_ = serverAuthLOGIN_ = serverAuthDIGESTMD5_ = false;
    server8bitMessages_ = serverOffersTLS_ = serverSmtpUtf8_ = false;
    serverMaxSize_ = 0;
    greeted_ = false;
    replyText_.clear();
    recipientsSent_ = 0;
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
    greeted_ = true;
    if (sendState_ == kMMSMTPWaitingEHLOReply)
        recordCapability(line);
    replyText_ << QString::fromLatin1(line).trimmed();
    // A reply is acted on once, at its last line; the lines before it only add to its text.
    if (!isReplyEnd(line))
        return;
    replyBytes_ = 0;
    const int code = replyCode(line);
    handleReply(code, line);
    replyText_.clear();
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

void MMSMTPMessage::recordCapability(const QByteArray &line)
{
    // "250-STARTTLS", "250 AUTH PLAIN LOGIN", "250-size 1000": the keyword and its parameters,
    // wherever the line stands in the reply, in any case.
    if (replyCode(line) != 250 || line.size() < 5)
        return;
    const QList<QByteArray> words = line.mid(4).trimmed().toUpper().simplified().split(' ');
    const QByteArray keyword = words.first();
    if (keyword == "AUTH" || keyword.startsWith("AUTH=")) {
        QList<QByteArray> mechanisms = words.mid(1);
        if (keyword.startsWith("AUTH="))
            mechanisms << keyword.mid(5);
        for (const QByteArray &mechanism : std::as_const(mechanisms)) {
            serverAuthCRAMMD5_ |= mechanism == "CRAM-MD5";
            serverAuthPLAIN_ |= mechanism == "PLAIN";
            serverAuthLOGIN_ |= mechanism == "LOGIN";
            serverAuthDIGESTMD5_ |= mechanism == "DIGEST-MD5";
        }
    } else if (keyword == "8BITMIME") {
        server8bitMessages_ = true;
    } else if (keyword == "STARTTLS") {
        serverOffersTLS_ = true;
    } else if (keyword == "SMTPUTF8") {
        serverSmtpUtf8_ = true;
    } else if (keyword == "SIZE") {
        bool ok = false;
        const qint64 size = words.value(1).toLongLong(&ok);
        serverMaxSize_ = ok && size > 0 ? size : 0;
    }
}

void MMSMTPMessage::ehloDone()
{
    if (wantsSecure_ && !isSecure_) {
        if (serverOffersTLS_) {
            sendState_ = kMMSMTPWaitingTLSReply;
            writeCommand(QByteArrayLiteral("STARTTLS\r\n"));
        } else {
            // Going on in clear would hand the password and the addresses to anyone on the path.
            recordError(mmsmtpError(kMMSMTPErrorNotSecure));
        }
        return;
    }
    if (serverMaxSize_ > 0 && wire_.size() > serverMaxSize_) {
        MMSMTPError error = mmsmtpError(kMMSMTPErrorTooLarge);
        error.localizedFailureReason = mmsmtpTooLargeText(wire_.size(), serverMaxSize_);
        recordError(error);
        return;
    }
    if (needsUtf8_ && !serverSmtpUtf8_) {
        MMSMTPError error = mmsmtpError(kMMSMTPErrorNeedsSmtpUtf8);
        QStringList international;
        for (const Mailbox &mailbox : std::as_const(recipients_) + QList<Mailbox>{sender_})
            if (mailbox.needsUtf8())
                international << quoted(mailbox.address());
        error.localizedFailureReason =
            tr("%1 has letters beyond A to Z before the @, and this server takes only plain "
               "addresses.")
                .arg(international.join(QStringLiteral(", ")));
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
    if (serverAuthPLAIN_) {
        sendState_ = kMMSMTPWaitingAuthSuccess;
        const QByteArray plain = QByteArray(1, '\0') + login_.toUtf8() + '\0' + password_.toUtf8();
        writeCommand("AUTH PLAIN " + encodeBase64ForData(plain).toLatin1() + "\r\n",
                     QStringLiteral("C: AUTH PLAIN (credentials)"));
    } else if (serverAuthLOGIN_) {
        sendState_ = kMMSMTPWaitingLOGINUserNameReply;
        writeCommand(QByteArrayLiteral("AUTH LOGIN\r\n"));
    } else {
        recordError(mmsmtpError(kMMSMTPErrorUnsupportedLogin));
    }
}

MMSMTPError MMSMTPMessage::rejection(int code) const
{
    const bool temporary = code < 500;
    const bool atRecipient = sendState_ == kMMSMTPWaitingToReply ||
                             (sendState_ == kMMSMTPWaitingFromReply && recipientsSent_ > 0);
    MMSMTPErrorCode kind = temporary ? kMMSMTPErrorTryLater : kMMSMTPErrorMessageRefused;
    switch (sendState_) {
    case kMMSMTPConnecting:
        kind = kMMSMTPErrorGreetingRefused;
        break;
    case kMMSMTPWaitingTLSReply:
        kind = kMMSMTPErrorNotSecure;
        break;
    case kMMSMTPWaitingLOGINUserNameReply:
    case kMMSMTPWaitingLOGINPasswordReply:
    case kMMSMTPWaitingAuthSuccess:
        if (code == 535 || code == 534)
            kind = kMMSMTPErrorBadLogin;
        break;
    case kMMSMTPWaitingFromReply:
    case kMMSMTPWaitingToReply:
        if (!atRecipient)
            kind = temporary ? kMMSMTPErrorTryLater : kMMSMTPErrorSenderRefused;
        else if (code == 530)
            kind = kMMSMTPErrorRelayRejected;
        else
            kind = temporary ? kMMSMTPErrorRecipientRefusedForNow : kMMSMTPErrorToRejected;
        break;
    case kMMSMTPWaitingSendSuccess:
        if (code == 550)
            kind = kMMSMTPErrorLogoutFailed;
        else if (code == 552)
            kind = kMMSMTPErrorTooLarge;
        break;
    default:
        break;
    }
    MMSMTPError error = mmsmtpError(kind);
    // The server's own code, whatever texts were chosen for it.
    error.code = code;
    error.kind = kind;
    error.serverReply = replyText_.join(QLatin1Char(' '));
    error.localizedFailureReason =
        atRecipient && recipientsSent_ > 0
            ? tr("The server answered for %1: %2")
                  .arg(quoted(recipients_.value(recipientsSent_ - 1).address()), error.serverReply)
            : tr("The server answered: %1").arg(error.serverReply);
    return error;
}

void MMSMTPMessage::startTls()
{
    sendState_ = kMMSMTPWaitingEHLOReply;
    isSecure_ = true;
    tlsHandshaking_ = true;
    // Capabilities announced in clear may have been forged; the EHLO under TLS tells them anew.
    serverAuthCRAMMD5_ = serverAuthPLAIN_ = serverAuthLOGIN_ = serverAuthDIGESTMD5_ = false;
    server8bitMessages_ = serverSmtpUtf8_ = false;
    serverMaxSize_ = 0;
    replyText_.clear();
    inputString_.clear();
    socket_->readAll();
    startShortWatchdog();
    socket_->startClientEncryption();
}

void MMSMTPMessage::sendMailFrom(bool afterAuth)
{
    sendState_ = kMMSMTPWaitingFromReply;
    // Only the address itself goes between the brackets; the parameters are ours.
    QByteArray command = "MAIL FROM:<" + sender_.envelopeAddress() + ">";
    if (afterAuth && server8bitMessages_)
        command += " BODY=8BITMIME";
    if (needsUtf8_)
        command += " SMTPUTF8";
    writeCommand(command + "\r\n");
}

void MMSMTPMessage::sendNextRecipient()
{
    if (recipientsSent_ >= recipients_.size())
        return;
    const Mailbox &next = recipients_[recipientsSent_++];
    if (recipientsSent_ == recipients_.size())
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
