#include "telemetry/network/VGNetworkThread.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QThread>
#include <future>

namespace murmelo::VGNetworkThread {

namespace {

struct Thread {
    QThread thread;
    QObject *context = nullptr;
    QNetworkAccessManager *manager = nullptr;

    Thread()
    {
        thread.setObjectName(QStringLiteral("Vigil Network Runloop Thread"));
        thread.start();
        std::promise<void> ready;
        context = new QObject;
        context->moveToThread(&thread);
        QMetaObject::invokeMethod(context, [this, &ready] {
            manager = new QNetworkAccessManager(context);
            // Uploads must not wait on a desktop proxy configuration that may not exist.
            manager->setProxy(QNetworkProxy::NoProxy);
            ready.set_value();
        });
        ready.get_future().wait();
    }
};

Thread &instance()
{
    // Lives for the process: connections may still be finishing while statics are destroyed.
    static Thread *thread = new Thread;
    return *thread;
}

} // namespace

void post(std::function<void()> work)
{
    QMetaObject::invokeMethod(instance().context, std::move(work), Qt::QueuedConnection);
}

QNetworkAccessManager &accessManager()
{
    return *instance().manager;
}

QObject &context()
{
    return *instance().context;
}

bool isCurrent()
{
    return QThread::currentThread() == &instance().thread;
}

} // namespace murmelo::VGNetworkThread
