#pragma once

#include "app/SidebarViewController.h"
#include "platform/Defaults.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QProcess>
#include <QUuid>
#include <memory>

namespace murmelo::test {

// Fresh user defaults for one test, on a file of their own.
class ScratchDefaults {
public:
    ScratchDefaults()
        : defaults_(std::make_unique<Defaults>(
              scratchRoot() +
              QStringLiteral("/defaults-%1.conf").arg(QUuid::createUuid().toString(QUuid::Id128))))
    {
        Defaults::setStandardForTesting(defaults_.get());
    }
    ~ScratchDefaults() { Defaults::setStandardForTesting(nullptr); }
    Defaults &operator*() { return *defaults_; }
    Defaults *operator->() { return defaults_.get(); }

private:
    std::unique_ptr<Defaults> defaults_;
};

// A session bus of the test's own: nothing reaches the user's desktop. Processes the test starts
// meet on it too, through DBUS_SESSION_BUS_ADDRESS.
class PrivateSessionBus {
public:
    PrivateSessionBus()
    {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--print-address"),
                       QStringLiteral("--nofork"), QStringLiteral("--nopidfile")});
        if (!daemon_.waitForStarted() ||
            !waitUntil([&] { return daemon_.canReadLine(); }, std::chrono::seconds(10)))
            return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    }
    ~PrivateSessionBus()
    {
        for (const QString &name : std::as_const(names_))
            QDBusConnection::disconnectFromBus(name);
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QString address() const { return address_; }
    QDBusConnection connect(const QString &name)
    {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// Runs pending events, then the deletions they asked for (the test's loop never returns to the
// level at which deleteLater() would run them).
inline void drainEventsAndDeletions()
{
    drainEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Waits for the sidebar's slide to end.
inline bool waitForSlide(const SidebarViewController &sidebar)
{
    return waitUntil([&] { return !sidebar.isSliding(); });
}

} // namespace murmelo::test
