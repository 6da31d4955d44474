#pragma once

#include <QObject>

class QSocketNotifier;

namespace murmelo {

// Listens to the kernel's routing socket for links, addresses and routes coming and going.
// Works without NetworkManager or any other daemon.
class ReachabilityMonitor : public QObject {
    Q_OBJECT
public:
    explicit ReachabilityMonitor(QObject *parent = nullptr);
    ~ReachabilityMonitor() override;

    // Opens the socket on the calling thread; false when the kernel refuses it.
    bool start();
    void stop();
    bool isRunning() const { return fd_ >= 0; }

signals:
    // Once per burst of kernel messages read together.
    void changed();

private:
    void readMessages();

    int fd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
};

} // namespace murmelo
