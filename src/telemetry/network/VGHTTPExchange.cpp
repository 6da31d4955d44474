#include "telemetry/network/VGHTTPExchange.h"

#include <QHostAddress>
#include <QIODevice>
#include <QNetworkProxyFactory>
#include <QSslSocket>
#include <QTcpSocket>

namespace murmelo {

namespace {

// What is read or written in one go: small, so that neither direction holds much at a time.
constexpr qint64 kPiece = 16 * 1024;

VGURLError urlError(int code, const QString &description)
{
    VGURLError error;
    error.code = code;
    error.description = description;
    return error;
}

int codeForSocketError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionRefusedError:
        return VGURLError::CannotConnectToHost;
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::ProxyNotFoundError:
        return VGURLError::CannotFindHost;
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return VGURLError::TimedOut;
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::ProxyConnectionClosedError:
        return VGURLError::NetworkConnectionLost;
    case QAbstractSocket::NetworkError:
        return VGURLError::NotConnectedToInternet;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return VGURLError::SecureConnectionFailed;
    default:
        return VGURLError::Unknown;
    }
}

bool isThisMachine(const QString &host)
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

QByteArray hostHeader(const QUrl &url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() != -1)
        host += ':' + QByteArray::number(url.port());
    return host;
}

} // namespace

QNetworkProxy VGHTTPExchange::proxyFor(const QUrl &url)
{
    if (isThisMachine(url.host()))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    for (QNetworkProxy proxy : proxies) {
        switch (proxy.type()) {
        case QNetworkProxy::NoProxy:
        case QNetworkProxy::DefaultProxy:
            return QNetworkProxy(QNetworkProxy::NoProxy);
        case QNetworkProxy::HttpCachingProxy:
            // A socket speaks to an HTTP proxy one way only: through CONNECT.
            proxy.setType(QNetworkProxy::HttpProxy);
            return proxy;
        case QNetworkProxy::HttpProxy:
        case QNetworkProxy::Socks5Proxy:
            return proxy;
        default:
            break; // an FTP proxy carries no HTTP
        }
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

VGHTTPExchange::VGHTTPExchange(VGURLRequest request, std::unique_ptr<QIODevice> body,
                               qint64 bodySize, qsizetype maximumReplySize, QObject *parent)
    : QObject(parent), request_(std::move(request)), body_(std::move(body)),
      bodySize_(body_ ? bodySize : 0), reader_(maximumReplySize)
{
}

VGHTTPExchange::~VGHTTPExchange()
{
    closeSocket();
}

void VGHTTPExchange::setBodySentObserver(std::function<void()> observer)
{
    bodySentObserver_ = std::move(observer);
}

void VGHTTPExchange::start(Done done)
{
    done_ = std::move(done);
    const QUrl &url = request_.url;
    const bool secure = url.scheme() == QLatin1String("https");
    QString host = url.host();
    quint16 port = quint16(url.port(secure ? 443 : 80));
    QNetworkProxy proxy = proxyFor(url);

    target_ = url.path(QUrl::FullyEncoded).toLatin1();
    if (target_.isEmpty())
        target_ = "/";
    if (url.hasQuery())
        target_ += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    if (proxy.type() == QNetworkProxy::HttpProxy && !secure) {
        // Plain HTTP goes to the proxy itself, naming the whole address.
        target_ = url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
        if (!proxy.user().isEmpty()) {
            proxyAuthorization_ =
                "Basic " + (proxy.user() + u':' + proxy.password()).toUtf8().toBase64();
        }
        host = proxy.hostName();
        port = proxy.port();
        proxy = QNetworkProxy(QNetworkProxy::NoProxy);
    }

    QSslSocket *secureSocket = secure ? new QSslSocket(this) : nullptr;
    socket_ = secure ? secureSocket : new QTcpSocket(this);
    socket_->setProxy(proxy);
    // Qt reads from the kernel no further ahead than this; the rest waits in the connection.
    socket_->setReadBufferSize(kPiece);
    if (secureSocket)
        connect(secureSocket, &QSslSocket::encrypted, this, &VGHTTPExchange::sendHead);
    else
        connect(socket_, &QAbstractSocket::connected, this, &VGHTTPExchange::sendHead);
    connect(socket_, &QAbstractSocket::bytesWritten, this, &VGHTTPExchange::sendBody);
    connect(socket_, &QAbstractSocket::readyRead, this, &VGHTTPExchange::readAnswer);
    connect(socket_, &QAbstractSocket::disconnected, this, &VGHTTPExchange::connectionEnded);
    connect(socket_, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { socketFailed(error); });
    if (secureSocket)
        secureSocket->connectToHostEncrypted(host, port); // verified against the system's CAs
    else
        socket_->connectToHost(host, port);
}

void VGHTTPExchange::sendHead()
{
    QByteArray head =
        request_.method + ' ' + target_ + " HTTP/1.1\r\nHost: " + hostHeader(request_.url) + "\r\n";
    for (const auto &[name, value] : request_.headers) {
        // The framing is the exchange's own: it sends exactly the body it has.
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0 ||
            name.compare("Host", Qt::CaseInsensitive) == 0 ||
            name.compare("Connection", Qt::CaseInsensitive) == 0)
            continue;
        head += name + ": " + value + "\r\n";
    }
    if (body_ || (request_.method != "GET" && request_.method != "HEAD"))
        head += "Content-Length: " + QByteArray::number(bodySize_) + "\r\n";
    if (!proxyAuthorization_.isEmpty())
        head += "Proxy-Authorization: " + proxyAuthorization_ + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket_->write(head);
    sendBody();
}

void VGHTTPExchange::sendBody()
{
    if (finished_ || !socket_)
        return;
    while (bodyWritten_ < bodySize_ && socket_->bytesToWrite() < 2 * kPiece) {
        const QByteArray piece = body_->read(std::min(kPiece, bodySize_ - bodyWritten_));
        if (piece.isEmpty()) {
            finishWith({{},
                        {},
                        urlError(VGURLError::Unknown,
                                 QStringLiteral("The upload ended before its announced length."))});
            return;
        }
        socket_->write(piece);
        bodyWritten_ += piece.size();
    }
    if (bodyWritten_ == bodySize_ && socket_->bytesToWrite() == 0) {
        if (auto observer = std::exchange(bodySentObserver_, {}))
            observer();
    }
}

void VGHTTPExchange::readAnswer()
{
    while (!finished_ && reader_.state() == VGHTTPReplyReader::State::Reading &&
           socket_->bytesAvailable() > 0)
        reader_.feed(socket_->read(kPiece));
    if (reader_.state() != VGHTTPReplyReader::State::Reading)
        finishWithReader();
}

void VGHTTPExchange::connectionEnded()
{
    if (finished_)
        return;
    readAnswer();
    if (finished_)
        return;
    reader_.connectionClosed();
    finishWithReader();
}

void VGHTTPExchange::socketFailed(int socketError)
{
    if (finished_)
        return;
    const auto error = QAbstractSocket::SocketError(socketError);
    if (error == QAbstractSocket::RemoteHostClosedError) {
        connectionEnded(); // an answer may end with the connection
        return;
    }
    finishWith({{}, {}, urlError(codeForSocketError(error), socket_->errorString())});
}

void VGHTTPExchange::finishWithReader()
{
    if (reader_.state() == VGHTTPReplyReader::State::Complete) {
        // An HTTP answer, whatever its status, is a response and not an error.
        finishWith({reader_.body(), {true, reader_.statusCode()}, std::nullopt});
        return;
    }
    // A hostile or broken answer fails like a connection lost mid-answer: it is sent again later.
    finishWith({{}, {}, urlError(VGURLError::NetworkConnectionLost, reader_.failureText())});
}

void VGHTTPExchange::finishWith(Result result)
{
    if (finished_)
        return;
    finished_ = true;
    closeSocket();
    if (auto done = std::exchange(done_, {}))
        done(result);
}

void VGHTTPExchange::abort()
{
    finished_ = true;
    done_ = {};
    closeSocket();
}

void VGHTTPExchange::closeSocket()
{
    if (!socket_)
        return;
    socket_->disconnect(this);
    socket_->abort(); // closes at once: no lingering, no reading on
    socket_->deleteLater();
    socket_ = nullptr;
}

} // namespace murmelo
