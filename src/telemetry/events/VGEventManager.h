#pragma once

#include "telemetry/codec/VGValue.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <mutex>

namespace murmelo {

// Collects events in queue files on disk and hands finished files to the network manager.
// A queue file is one complete upload body from its first byte: the shared header map (bundle
// information, device information, SDK version) followed by the queue key and an array whose
// count is patched in place after every event, so a file cut short by a crash or a kill still
// reads as a well-formed map of the events counted in it. Files that are not delivered stay on
// disk and go out at a later launch. Thread-safe; the telemetry uses it from its SDK queue.
class VGEventManager {
public:
    // Writes one MessagePack value into the open queue file (its descriptor); false on failure.
    using ObjectDataWriter = std::function<bool(int fileDescriptor)>;
    // Hands a finished file to the uploader. For tests; the default is the network manager.
    using Sender = std::function<void(const QString &path, const QUrl &url, int priority)>;

    static std::shared_ptr<VGEventManager> eventManagerWithQueueKey(const QString &queueKey,
                                                                    const QUrl &url);
    VGEventManager(const QString &queueKey, const QUrl &url);
    VGEventManager();
    ~VGEventManager();
    VGEventManager(const VGEventManager &) = delete;
    VGEventManager &operator=(const VGEventManager &) = delete;

    // Every live manager sends what it has.
    static void flush();
    // The header is stale (token, identifier or environment changed): every live manager closes
    // its current file, and the next file starts with a rebuilt header.
    static void bustCachedNetworkStartData();
    static bool _ensureNetworkStartDataIsSetup();

    // Appends one event. False when it could not be written: the file then stays as it was
    // before the event, and the first such failure is logged.
    bool enqueueObject(const VGValue &event);
    bool enqueueObject(const VGValue &event, bool sendImmediately);
    // Appends a map event one of whose values (under extraKey) the writer puts straight into the
    // file. On failure no trace of the event remains.
    bool enqueueDictionary(const VGValue &dictionary, const VGValue &extraKey,
                           const ObjectDataWriter &writer);

    QUrl url() const;
    void setUrl(const QUrl &url);
    void _flush();

    QString queueKey() const { return queueKey_; }
    QString queueFolderPath() const { return queueFolderPath_; }
    QStringList queuePaths() const;
    QStringList queuePathsHighPriority() const;
    QStringList oldQueuePaths() const;
    QString queuePath() const;

    static QString eventFolderPath();
    static QString networkStartDataPath();
    static void setSenderForTesting(Sender sender);
    // Runs between appending an event and patching the count. For crash tests.
    static void setAfterAppendHookForTesting(std::function<void()> hook);

    static constexpr char kSdkVersion[] =
        "__libVigil_v2.1.3_e4a19c07d2b85f3166ac90e7b1d2f48a5c03e7b9__";
    static constexpr qint64 kMaximumQueueFileSize = 500000;

private:
    bool _createNewQueueAtPath(const QString &path, uint32_t itemCount);
    bool _ensureEventQueueIsSetup();
    void _endCurrentEventQueue();
    void reportFailure(const char *what, int error);
    void collectOldQueueFiles();

    mutable std::recursive_mutex mutex_;
    QString queueKey_;
    QString queueFolderPath_;
    QUrl url_;
    QStringList queuePaths_;
    QStringList queuePathsHighPriority_;
    QStringList oldQueuePaths_;
    int queue_ = -1; // descriptor of the open queue file
    QString queuePath_;
    uint32_t queueCount_ = 0;
    uint64_t queueCountOffset_ = 0;
    bool reportedFailure_ = false;
};

} // namespace murmelo
