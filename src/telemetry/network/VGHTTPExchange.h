#pragma once

#include "telemetry/network/VGHTTPReplyReader.h"
#include "telemetry/network/VGURLConnectionOperation.h"

#include <QNetworkProxy>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class QAbstractSocket;
class QIODevice;

namespace murmelo {

// One HTTP/1.1 request on a connection of its own, made and used on the network thread. The
// request asks for "Connection: close" and the connection is never reused; the answer is read
// through VGHTTPReplyReader's bounds. abort() (or destroying the exchange) closes the socket at
// once: nothing keeps reading an answer that was given up on. The body is written as the socket
// takes it, so a file is never held in memory whole. Follows the desktop's proxy settings,
// except for this machine itself.
class VGHTTPExchange : public QObject {
public:
    struct Result {
        QByteArray data;
        VGURLResponse response;
        std::optional<VGURLError> error;
    };
    using Done = std::function<void(const Result &)>;

    // `body` holds `bodySize` bytes from its current position (may be null for no body).
    VGHTTPExchange(VGURLRequest request, std::unique_ptr<QIODevice> body, qint64 bodySize,
                   qsizetype maximumReplySize, QObject *parent);
    ~VGHTTPExchange() override;

    // Called once when the whole body has left for the peer (before the answer).
    void setBodySentObserver(std::function<void()> observer);
    // Connects and sends; `done` is called once, unless abort() comes first.
    void start(Done done);
    // Closes the connection at once; nothing more is reported.
    void abort();

    // The way to the address: the system's proxy for it (its settings or the usual proxy
    // variables), but always direct to this machine, which a proxy elsewhere cannot reach.
    static QNetworkProxy proxyFor(const QUrl &url);

private:
    void sendHead();
    void sendBody();
    void readAnswer();
    void connectionEnded();
    void socketFailed(int socketError);
    void finishWith(Result result);
    void finishWithReader();
    void closeSocket();

    VGURLRequest request_;
    std::unique_ptr<QIODevice> body_;
    qint64 bodySize_ = 0;
    qint64 bodyWritten_ = 0;
    VGHTTPReplyReader reader_;
    QAbstractSocket *socket_ = nullptr;
    QByteArray target_;             // the request line's target
    QByteArray proxyAuthorization_; // for a plain-HTTP proxy given the absolute target
    std::function<void()> bodySentObserver_;
    Done done_;
    bool finished_ = false;
};

} // namespace murmelo
