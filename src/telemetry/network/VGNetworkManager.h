#pragma once

#include "telemetry/network/VGReachability.h"
#include "telemetry/network/VGURLConnectionOperation.h"

#include <QString>
#include <QUrl>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace murmelo {

// The process's one way to the telemetry service. Requests run one at a time, highest priority
// first; a queue file is streamed from disk and deleted once the service accepts it (2xx). After
// a transient failure the queue pauses for a while and the file goes to the back at low
// priority; after any other failure it stays on disk for a later launch. While the service's
// host is unreachable the queue is paused. Completions run on the SDK queue.
class VGNetworkManager {
public:
    static VGNetworkManager &sharedManager();

    // POSTs the file at normal (or the given) priority to the address.
    void sendFile(const QString &path, const QUrl &url);
    void sendFile(const QString &path, const QUrl &url, int priority);
    void addNetworkOperation(std::shared_ptr<VGURLConnectionOperation> operation);
    // POSTs a file that must arrive once (a crash report). It is claimed first: renamed to
    // "<name>.sending" (false when another sender took it), then to "<name>.sent" as soon as its
    // whole body has left, and deleted once accepted. A process that dies meanwhile leaves one
    // of the two names behind, which tells the next launch whether to send it again (see
    // claimedFileLeftBehind). A failure gives the file its name back, to be sent again.
    bool sendClaimedFile(const QString &path, const QUrl &url, int priority);
    static QString sendingName(const QString &path);
    static QString sentName(const QString &path);
    // For a claimed file left by a process that died: a ".sending" one gets its name back (its
    // body never left whole) and that name is returned; a ".sent" one is deleted (it went out)
    // and nothing is returned.
    static QString claimedFileLeftBehind(const QString &claimedPath);

    std::shared_ptr<VGURLConnectionOperation> _createFileOperationForFile(const QString &path,
                                                                          const QUrl &url);
    static bool _isResponseASuccess(const VGURLResponse &response);
    static bool _shouldPauseAndRetryFailedFileSend(const VGURLResponse &response,
                                                   const std::optional<VGURLError> &error);
    // Counted: every pause needs its own resume.
    void _setPaused(bool paused);
    void _pauseQueueForABit();
    void _handleReachabilityStatus(int status);

    bool isPaused() const;
    int pauseCounter() const;
    // Operations waiting or running.
    int operationCount() const;

    // How long a transient failure pauses the queue. Default 30 s; tests shorten it.
    void setRetryPause(std::chrono::milliseconds pause);
    // Watches another host (the default is the telemetry service's); empty stops watching.
    void watchReachability(const QString &host,
                           std::chrono::milliseconds poll = std::chrono::seconds(5));

    VGNetworkManager(const VGNetworkManager &) = delete;
    VGNetworkManager &operator=(const VGNetworkManager &) = delete;

private:
    VGNetworkManager();
    void startNextIfPossible();

    mutable std::mutex mutex_;
    // Waiting operations, highest priority first, in order of arrival within a priority.
    std::deque<std::shared_ptr<VGURLConnectionOperation>> waiting_;
    std::shared_ptr<VGURLConnectionOperation> running_;
    bool paused_ = false;
    int pauseCounter_ = 0;
    bool pausedForReachability_ = false;
    std::chrono::milliseconds retryPause_{30000};
    std::unique_ptr<VGReachability> reach_;
    uint64_t reachGeneration_ = 0; // which watcher's reports count
};

} // namespace murmelo
