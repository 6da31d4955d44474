#include "telemetry/network/VGURLConnectionOperation.h"

#include "telemetry/VGSdkQueue.h"
#include "telemetry/network/VGNetworkThread.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace murmelo {

namespace {

std::atomic<long long> g_timeoutMs{60000};

VGURLError errorFor(QNetworkReply::NetworkError error, const QString &text)
{
    VGURLError e;
    e.description = text;
    switch (error) {
    case QNetworkReply::TimeoutError:
        e.code = VGURLError::TimedOut;
        break;
    case QNetworkReply::ConnectionRefusedError:
        e.code = VGURLError::CannotConnectToHost;
        break;
    case QNetworkReply::HostNotFoundError:
        e.code = VGURLError::CannotFindHost;
        break;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
        e.code = VGURLError::NetworkConnectionLost;
        break;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        e.code = VGURLError::NotConnectedToInternet;
        break;
    case QNetworkReply::SslHandshakeFailedError:
        e.code = VGURLError::SecureConnectionFailed;
        break;
    case QNetworkReply::ProtocolUnknownError:
        e.code = VGURLError::UnsupportedURL;
        break;
    case QNetworkReply::OperationCanceledError:
        e.code = VGURLError::Cancelled;
        break;
    default:
        e.code = VGURLError::Unknown;
        break;
    }
    return e;
}

} // namespace

VGURLConnectionOperation::VGURLConnectionOperation(VGURLRequest request, QString streamPath,
                                                   Handler handler)
    : request_(std::move(request)), streamPath_(std::move(streamPath)), handler_(std::move(handler))
{
}

VGURLConnectionOperation::~VGURLConnectionOperation() = default;

std::shared_ptr<VGURLConnectionOperation>
VGURLConnectionOperation::initWithRequest(VGURLRequest request, Handler handler)
{
    return initWithRequest(std::move(request), QString(), std::move(handler));
}

std::shared_ptr<VGURLConnectionOperation>
VGURLConnectionOperation::initWithRequest(VGURLRequest request, QString streamPath, Handler handler)
{
    const QString scheme = request.url.scheme();
    if (!request.url.isValid() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return nullptr;
    return std::shared_ptr<VGURLConnectionOperation>(new VGURLConnectionOperation(
        std::move(request), std::move(streamPath), std::move(handler)));
}

void VGURLConnectionOperation::setTimeout(std::chrono::milliseconds timeout)
{
    g_timeoutMs = timeout.count();
}

std::chrono::milliseconds VGURLConnectionOperation::timeout()
{
    return std::chrono::milliseconds(g_timeoutMs.load());
}

void VGURLConnectionOperation::setFinishedObserver(std::function<void()> observer)
{
    finishedObserver_ = std::move(observer);
}

void VGURLConnectionOperation::setBodySentObserver(std::function<void()> observer)
{
    bodySentObserver_ = std::move(observer);
}

void VGURLConnectionOperation::start()
{
    VGNetworkThread::post([self = shared_from_this()] { self->startOnNetworkThread(); });
}

void VGURLConnectionOperation::cancel()
{
    cancelled_ = true;
    VGNetworkThread::post([self = shared_from_this()] { self->cancelOnNetworkThread(); });
}

void VGURLConnectionOperation::startOnNetworkThread()
{
    if (cancelled_ || finished_)
        return;
    executing_ = true;

    timeoutTimer_ = new QTimer(&VGNetworkThread::context());
    timeoutTimer_->setSingleShot(true);
    QObject::connect(timeoutTimer_, &QTimer::timeout, [this] {
        VGURLError error;
        error.code = VGURLError::TimedOut;
        error.description = QStringLiteral("The request timed out.");
        abortConnection();
        finish({}, {}, error);
    });
    timeoutTimer_->start(timeout());

    QNetworkRequest request(request_.url);
    for (const auto &[name, value] : request_.headers)
        request.setRawHeader(name, value);
    // No redirects for uploads: a body must not be sent twice.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkAccessManager &manager = VGNetworkThread::accessManager();
    if (!streamPath_.isEmpty()) {
        auto *file = new QFile(streamPath_);
        if (!file->open(QIODevice::ReadOnly)) {
            delete file;
            VGURLError error;
            error.code = VGURLError::Unknown;
            error.description = QStringLiteral("The upload file cannot be read.");
            finish({}, {}, error);
            return;
        }
        // Read from disk as the socket takes it: the body is never held in memory whole.
        connection_ = manager.sendCustomRequest(request, request_.method, file);
        file->setParent(connection_);
    } else {
        connection_ = manager.sendCustomRequest(request, request_.method, request_.body);
    }
    // Our handlers hang on a listener of their own: stopping them must not cut the reply's own
    // ties to the connection underneath (an abort it never hears of keeps the socket open).
    listener_ = new QObject(&VGNetworkThread::context());
    // The reply is buffered no further than the cap, so a hostile answer costs no memory.
    connection_->setReadBufferSize(kMaximumReplySize + 1);
    if (bodySentObserver_) {
        QObject::connect(connection_, &QNetworkReply::uploadProgress, listener_,
                         [this](qint64 sent, qint64 total) {
                             if (total > 0 && sent == total) {
                                 if (auto observer = std::exchange(bodySentObserver_, {}))
                                     observer();
                             }
                         });
    }
    QObject::connect(connection_, &QNetworkReply::metaDataChanged, listener_, [this] {
        const QVariant status = connection_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            data_.clear();
            response_ = {true, status.toInt()};
        }
        const QVariant length = connection_->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > kMaximumReplySize)
            refuseReply(); // announced too long: refused before reading
    });
    QObject::connect(connection_, &QNetworkReply::readyRead, listener_,
                     [this] { takeReplyBytes(); });
    QObject::connect(connection_, &QNetworkReply::finished, listener_, [this] {
        if (!takeReplyBytes())
            return;
        const QVariant status = connection_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            // An HTTP answer, whatever its status, is a response and not an error.
            finish(data_, {true, status.toInt()}, std::nullopt);
        } else {
            finish({}, {}, errorFor(connection_->error(), connection_->errorString()));
        }
    });
}

bool VGURLConnectionOperation::takeReplyBytes()
{
    if (!connection_)
        return false;
    if (data_.size() <= kMaximumReplySize)
        data_.append(connection_->read(kMaximumReplySize + 1 - data_.size()));
    if (data_.size() <= kMaximumReplySize)
        return true;
    refuseReply();
    return false;
}

void VGURLConnectionOperation::refuseReply()
{
    data_.clear();
    abortConnection();
    VGURLError error;
    error.code = VGURLError::NetworkConnectionLost;
    error.description =
        QStringLiteral("The service's answer is longer than %1 bytes.").arg(kMaximumReplySize);
    finish({}, {}, error);
}

void VGURLConnectionOperation::finish(const QByteArray &data, const VGURLResponse &response,
                                      const std::optional<VGURLError> &error)
{
    if (finished_)
        return;
    if (handler_) {
        vgSdkAsync([self = shared_from_this(), data, response, error] {
            self->handler_(*self, data, response, error);
        });
    }
    dropConnection();
    markFinished();
}

void VGURLConnectionOperation::cancelOnNetworkThread()
{
    if (finished_)
        return;
    abortConnection();
    dropConnection();
    markFinished();
}

void VGURLConnectionOperation::stopListening()
{
    if (listener_) {
        if (connection_)
            QObject::disconnect(connection_, nullptr, listener_, nullptr);
        listener_->deleteLater();
        listener_ = nullptr;
    }
}

void VGURLConnectionOperation::abortConnection()
{
    stopListening(); // the abort's own finished signal is not an answer
    if (connection_)
        connection_->abort();
}

void VGURLConnectionOperation::dropConnection()
{
    stopListening();
    if (connection_) {
        connection_->deleteLater();
        connection_ = nullptr;
    }
    if (timeoutTimer_) {
        timeoutTimer_->stop();
        timeoutTimer_->deleteLater();
        timeoutTimer_ = nullptr;
    }
}

void VGURLConnectionOperation::markFinished()
{
    executing_ = false;
    finished_ = true;
    if (auto observer = std::move(finishedObserver_))
        observer();
}

} // namespace murmelo
