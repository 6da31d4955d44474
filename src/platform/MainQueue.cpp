#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace murmelo {

void postToMainQueue(std::function<void()> work)
{
    auto *app = QCoreApplication::instance();
    if (!app)
        return; // no loop will ever run it: nothing to post to
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

bool isMainThread()
{
    auto *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace murmelo
