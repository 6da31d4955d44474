#pragma once

#include "support/LocalMailRelay.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <memory>

namespace murmelo::test {

// A private D-Bus session with an unlocked GNOME keyring in it; the process's session bus is
// this one from then on. It lives until the test process exits: the desktop's D-Bus library
// ends a process whose session bus goes away while its event loop runs.
class PrivateKeyring {
public:
    static PrivateKeyring &shared();
    ~PrivateKeyring();
    bool isRunning() const { return running_; }

private:
    PrivateKeyring();

    std::unique_ptr<QProcess> bus_;
    std::unique_ptr<QProcess> keyring_;
    bool running_ = false;
};

// One MIME part of a received message: its headers and its body as it travelled.
struct ReceivedPart {
    QByteArray headers;
    QByteArray body;
};
QByteArray headerValue(const QByteArray &message, const QByteArray &name);
QList<ReceivedPart> mimeParts(const QByteArray &message);

} // namespace murmelo::test
