#include "telemetry/network/VGNetworkThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

namespace murmelo::VGNetworkThread {

namespace {

struct Thread {
    QThread thread;
    QObject *context = nullptr;

    Thread()
    {
        thread.setObjectName(QStringLiteral("Vigil Network Runloop Thread"));
        thread.start();
        context = new QObject;
        context->moveToThread(&thread);
    }
};

Thread *&running()
{
    static Thread *thread = nullptr;
    return thread;
}

// The thread's objects live for the process, but its loop stops with the application, before
// Qt's own statics go: a request still in flight there must not use them while they are torn down.
void stopWithTheApplication()
{
    if (Thread *thread = running()) {
        thread->thread.quit();
        thread->thread.wait(QDeadlineTimer(2000));
    }
}

Thread &instance()
{
    static Thread *thread = [] {
        running() = new Thread;
        qAddPostRoutine(stopWithTheApplication);
        return running();
    }();
    return *thread;
}

} // namespace

void post(std::function<void()> work)
{
    QMetaObject::invokeMethod(instance().context, std::move(work), Qt::QueuedConnection);
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
