#include "telemetry/network/VGURLConnectionOperation.h"

#include "telemetry/VGSdkQueue.h"
#include "telemetry/network/VGHTTPExchange.h"
#include "telemetry/network/VGNetworkThread.h"

#include <QBuffer>
#include <QFile>
#include <QTimer>

namespace murmelo {

namespace {

std::atomic<long long> g_timeoutMs{60000};

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
        finish({}, {}, error);
    });
    timeoutTimer_->start(timeout());

    std::unique_ptr<QIODevice> body;
    qint64 bodySize = 0;
    if (!streamPath_.isEmpty()) {
        // Read from disk as the socket takes it: the body is never held in memory whole.
        auto file = std::make_unique<QFile>(streamPath_);
        if (!file->open(QIODevice::ReadOnly)) {
            VGURLError error;
            error.code = VGURLError::Unknown;
            error.description = QStringLiteral("The upload file cannot be read.");
            finish({}, {}, error);
            return;
        }
        bodySize = file->size();
        body = std::move(file);
    } else if (!request_.body.isEmpty()) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(request_.body);
        buffer->open(QIODevice::ReadOnly);
        bodySize = buffer->size();
        body = std::move(buffer);
    }
    connection_ = new VGHTTPExchange(request_, std::move(body), bodySize, kMaximumReplySize,
                                     &VGNetworkThread::context());
    if (bodySentObserver_)
        connection_->setBodySentObserver(std::exchange(bodySentObserver_, {}));
    connection_->start([this](const VGHTTPExchange::Result &result) {
        finish(result.data, result.response, result.error);
    });
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
    dropConnection();
    markFinished();
}

void VGURLConnectionOperation::dropConnection()
{
    if (connection_) {
        connection_->abort(); // closed now, not when the event loop gets to it
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
