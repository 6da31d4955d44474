#include "telemetry/network/VGNetworkManager.h"

#include "platform/ServiceEndpoints.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/network/VGNetworkThread.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstring>

namespace murmelo {

VGNetworkManager &VGNetworkManager::sharedManager()
{
    static VGNetworkManager *manager = new VGNetworkManager; // lives for the process
    return *manager;
}

VGNetworkManager::VGNetworkManager()
{
    watchReachability(ServiceEndpoints::telemetryUrl().host());
}

void VGNetworkManager::watchReachability(const QString &host, std::chrono::milliseconds poll)
{
    std::unique_ptr<VGReachability> previous;
    uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        previous = std::move(reach_);
        generation = ++reachGeneration_;
    }
    previous.reset(); // its watcher says nothing more
    std::unique_ptr<VGReachability> reach =
        host.isEmpty() ? nullptr : VGReachability::reachabilityWithHostName(host);
    if (!reach) {
        _handleReachabilityStatus(VGReachability::ReachableViaWiFi);
        return;
    }
    reach->setPollInterval(poll);
    _handleReachabilityStatus(reach->status());
    // The watcher tells its own first look too, so a change between the two looks is not lost.
    reach->setReachabilityStatusUpdateBlock(
        [this, generation](int now) {
            {
                // A look of an earlier watcher still under way when it was replaced is stale.
                std::lock_guard lock(mutex_);
                if (generation != reachGeneration_)
                    return;
            }
            _handleReachabilityStatus(now);
        },
        [](std::function<void()> work) { vgSdkAsync(std::move(work)); });
    std::lock_guard lock(mutex_);
    reach_ = std::move(reach);
}

void VGNetworkManager::sendFile(const QString &path, const QUrl &url)
{
    sendFile(path, url, VGURLConnectionOperation::Normal);
}

void VGNetworkManager::sendFile(const QString &path, const QUrl &url, int priority)
{
    auto operation = _createFileOperationForFile(path, url);
    if (!operation)
        return;
    operation->setQueuePriority(priority);
    addNetworkOperation(std::move(operation));
}

std::shared_ptr<VGURLConnectionOperation>
VGNetworkManager::_createFileOperationForFile(const QString &path, const QUrl &url)
{
    VGURLRequest request;
    request.url = url;
    request.method = "POST";
    // The only header: the body's length, so that it can be streamed. No content type.
    request.headers.append({"Content-Length", QByteArray::number(QFileInfo(path).size())});
    return VGURLConnectionOperation::initWithRequest(
        std::move(request), path,
        [this, path, url](VGURLConnectionOperation &, const QByteArray &,
                          const VGURLResponse &response, const std::optional<VGURLError> &error) {
            if (_isResponseASuccess(response) && !error) {
                QFile::remove(path);
            } else if (_shouldPauseAndRetryFailedFileSend(response, error)) {
                _pauseQueueForABit();
                sendFile(path, url, VGURLConnectionOperation::Low);
            }
            // Otherwise the file stays on disk and is sent at a later launch.
        });
}

namespace {
constexpr char kSending[] = ".sending";
constexpr char kSent[] = ".sent";

QString withoutSuffix(const QString &path, const char *suffix)
{
    return path.left(path.size() - qsizetype(std::strlen(suffix)));
}
} // namespace

QString VGNetworkManager::sendingName(const QString &path)
{
    return path + QLatin1String(kSending);
}

QString VGNetworkManager::sentName(const QString &path)
{
    return path + QLatin1String(kSent);
}

QString VGNetworkManager::claimedFileLeftBehind(const QString &claimedPath)
{
    if (claimedPath.endsWith(QLatin1String(kSent))) {
        QFile::remove(claimedPath);
        return {};
    }
    if (!claimedPath.endsWith(QLatin1String(kSending)))
        return {};
    const QString path = withoutSuffix(claimedPath, kSending);
    return QFile::rename(claimedPath, path) ? path : QString();
}

bool VGNetworkManager::sendClaimedFile(const QString &path, const QUrl &url, int priority)
{
    const QString sending = sendingName(path);
    const QString sent = sentName(path);
    if (!QFile::rename(path, sending))
        return false; // gone, or claimed by another sender
    VGURLRequest request;
    request.url = url;
    request.method = "POST";
    request.headers.append({"Content-Length", QByteArray::number(QFileInfo(sending).size())});
    auto operation = VGURLConnectionOperation::initWithRequest(
        std::move(request), sending,
        [this, path, sending, sent, url, priority](VGURLConnectionOperation &, const QByteArray &,
                                                   const VGURLResponse &response,
                                                   const std::optional<VGURLError> &error) {
            if (_isResponseASuccess(response) && !error) {
                QFile::remove(sent);
                QFile::remove(sending);
                return;
            }
            // Not accepted: the file is pending again under its own name.
            if (!QFile::rename(sent, path))
                QFile::rename(sending, path);
            if (_shouldPauseAndRetryFailedFileSend(response, error)) {
                _pauseQueueForABit();
                sendClaimedFile(path, url, VGURLConnectionOperation::Low);
            }
        });
    if (!operation) {
        QFile::rename(sending, path);
        return false;
    }
    operation->setBodySentObserver([sending, sent] { QFile::rename(sending, sent); });
    operation->setQueuePriority(priority);
    addNetworkOperation(std::move(operation));
    return true;
}

void VGNetworkManager::addNetworkOperation(std::shared_ptr<VGURLConnectionOperation> operation)
{
    if (!operation)
        return;
    {
        std::lock_guard lock(mutex_);
        auto position = waiting_.begin();
        while (position != waiting_.end() &&
               (*position)->queuePriority() >= operation->queuePriority())
            ++position;
        waiting_.insert(position, std::move(operation));
    }
    VGNetworkThread::post([this] { startNextIfPossible(); });
}

void VGNetworkManager::startNextIfPossible()
{
    std::shared_ptr<VGURLConnectionOperation> next;
    {
        std::lock_guard lock(mutex_);
        if (running_ || paused_ || waiting_.empty())
            return;
        next = waiting_.front();
        waiting_.pop_front();
        running_ = next;
    }
    next->setFinishedObserver([this] {
        {
            std::lock_guard lock(mutex_);
            running_.reset();
        }
        VGNetworkThread::post([this] { startNextIfPossible(); });
    });
    next->start();
}

bool VGNetworkManager::_isResponseASuccess(const VGURLResponse &response)
{
    return response.isHTTP && response.statusCode >= 200 && response.statusCode <= 299;
}

bool VGNetworkManager::_shouldPauseAndRetryFailedFileSend(const VGURLResponse &response,
                                                          const std::optional<VGURLError> &error)
{
    if (error && error->domain == QLatin1String(VGURLError::kURLDomain)) {
        switch (error->code) {
        case VGURLError::TimedOut:
        case VGURLError::NetworkConnectionLost:
        case VGURLError::NotConnectedToInternet:
        case VGURLError::CallIsActive:
            return true;
        default:
            return false;
        }
    }
    return response.isHTTP && response.statusCode >= 500 && response.statusCode <= 599;
}

void VGNetworkManager::_setPaused(bool pause)
{
    bool resumed = false;
    {
        std::lock_guard lock(mutex_);
        if (pause) {
            if (++pauseCounter_ == 1)
                paused_ = true;
        } else if (pauseCounter_ > 0) {
            // A resume without a pause would leave the count below zero and the next pause
            // without effect.
            if (--pauseCounter_ == 0) {
                paused_ = false;
                resumed = true;
            }
        }
    }
    if (resumed)
        VGNetworkThread::post([this] { startNextIfPossible(); });
}

void VGNetworkManager::_pauseQueueForABit()
{
    _setPaused(true);
    std::chrono::milliseconds pause;
    {
        std::lock_guard lock(mutex_);
        pause = retryPause_;
    }
    VGNetworkThread::post([this, pause] {
        QTimer::singleShot(pause, &VGNetworkThread::context(),
                           [this] { vgSdkAsync([this] { _setPaused(false); }); });
    });
}

void VGNetworkManager::_handleReachabilityStatus(int status)
{
    bool change = false;
    {
        std::lock_guard lock(mutex_);
        if (status == VGReachability::NotReachable && !pausedForReachability_) {
            pausedForReachability_ = true;
            change = true;
        } else if (status != VGReachability::NotReachable && pausedForReachability_) {
            pausedForReachability_ = false;
            change = true;
        }
    }
    if (change)
        _setPaused(status == VGReachability::NotReachable);
}

bool VGNetworkManager::isPaused() const
{
    std::lock_guard lock(mutex_);
    return paused_;
}

int VGNetworkManager::pauseCounter() const
{
    std::lock_guard lock(mutex_);
    return pauseCounter_;
}

int VGNetworkManager::operationCount() const
{
    std::lock_guard lock(mutex_);
    return int(waiting_.size()) + (running_ ? 1 : 0);
}

void VGNetworkManager::setRetryPause(std::chrono::milliseconds pause)
{
    std::lock_guard lock(mutex_);
    retryPause_ = pause;
}

} // namespace murmelo
