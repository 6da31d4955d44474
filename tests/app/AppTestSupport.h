#pragma once

#include "app/SidebarViewController.h"
#include "platform/Defaults.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
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
