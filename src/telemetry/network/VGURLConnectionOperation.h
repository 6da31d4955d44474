#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace murmelo {

class VGHTTPExchange;

// A request as the telemetry makes it: an address, a method, headers and either a small body in
// memory or a file streamed from disk.
struct VGURLRequest {
    QUrl url;
    QByteArray method = "GET";
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

// What the server said; `isHTTP` is false when no response arrived.
struct VGURLResponse {
    bool isHTTP = false;
    int statusCode = 0;
};

// A failure in the terms of the URL loading system: domain "NSURLErrorDomain" and its codes.
struct VGURLError {
    static constexpr char kURLDomain[] = "NSURLErrorDomain";
    enum Code : int {
        Unknown = -1,
        Cancelled = -999,
        BadURL = -1000,
        TimedOut = -1001,
        UnsupportedURL = -1002,
        CannotFindHost = -1003,
        CannotConnectToHost = -1004,
        NetworkConnectionLost = -1005,
        NotConnectedToInternet = -1009,
        CallIsActive = -1019,
        SecureConnectionFailed = -1200,
    };
    QString domain = QLatin1String(kURLDomain);
    int code = Unknown;
    QString description;
};

// One request to the telemetry service, run by the network manager's queue on the network
// thread. It ends by its completion handler (asynchronously on the SDK queue) or by cancel (no
// handler). A request that has not finished after the timeout ends with TimedOut. A reply body
// longer than kMaximumReplySize, or an answer that is not HTTP, is not read on: the connection is
// closed and the request ends with NetworkConnectionLost, as if the service had gone away
// mid-answer. Every request has a connection of its own, closed as soon as the request ends.
class VGURLConnectionOperation : public std::enable_shared_from_this<VGURLConnectionOperation> {
public:
    using Handler =
        std::function<void(VGURLConnectionOperation &operation, const QByteArray &data,
                           const VGURLResponse &response, const std::optional<VGURLError> &error)>;
    // Operation priorities, as the platform's operation queues number them.
    enum Priority : int { VeryLow = -8, Low = -4, Normal = 0, High = 4, VeryHigh = 8 };
    // The service answers with a small map; anything longer is not an answer of its.
    static constexpr qint64 kMaximumReplySize = 64 * 1024;

    static std::shared_ptr<VGURLConnectionOperation> initWithRequest(VGURLRequest request,
                                                                     Handler handler);
    // The body is the file at streamPath, read as it is sent. Nothing when the request cannot be
    // handled (not an http or https address).
    static std::shared_ptr<VGURLConnectionOperation>
    initWithRequest(VGURLRequest request, QString streamPath, Handler handler);
    ~VGURLConnectionOperation();

    // Both are forwarded to the network thread without waiting.
    void start();
    void cancel();
    bool isConcurrent() const { return true; }
    bool isExecuting() const { return executing_.load(std::memory_order_seq_cst); }
    bool isFinished() const { return finished_.load(std::memory_order_seq_cst); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_seq_cst); }

    int queuePriority() const { return priority_; }
    void setQueuePriority(int priority) { priority_ = priority; }
    const VGURLRequest &request() const { return request_; }
    const QString &streamPath() const { return streamPath_; }

    // Called once the operation is finished, on the network thread (the queue starts the next).
    void setFinishedObserver(std::function<void()> observer);
    // Called once, on the network thread, when the whole body has been handed to the connection
    // (before the answer). Set before start().
    void setBodySentObserver(std::function<void()> observer);

    // How long a request may take. Default 60 s; tests shorten it.
    static void setTimeout(std::chrono::milliseconds timeout);
    static std::chrono::milliseconds timeout();

private:
    VGURLConnectionOperation(VGURLRequest request, QString streamPath, Handler handler);
    void startOnNetworkThread();
    void cancelOnNetworkThread();
    void finish(const QByteArray &data, const VGURLResponse &response,
                const std::optional<VGURLError> &error);
    void dropConnection();
    void markFinished();

    VGURLRequest request_;
    QString streamPath_;
    Handler handler_;
    int priority_ = Normal;
    VGHTTPExchange *connection_ = nullptr;
    QTimer *timeoutTimer_ = nullptr;
    std::function<void()> finishedObserver_;
    std::function<void()> bodySentObserver_;
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
};

} // namespace murmelo
