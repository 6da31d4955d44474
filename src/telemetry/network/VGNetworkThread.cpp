#include "telemetry/network/VGNetworkThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QThread>
#include <future>

namespace murmelo::VGNetworkThread {

namespace {

// Uploads go the way the desktop says (its proxy settings, or the http_proxy / https_proxy /
// no_proxy variables), except to this machine itself: a proxy elsewhere cannot reach its
// loopback address, so a local intake is always spoken to directly.
class SystemProxyFactory : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QString host = query.peerHostName();
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
            QHostAddress(host).isLoopback())
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

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
            manager->setProxyFactory(new SystemProxyFactory);
            ready.set_value();
        });
        ready.get_future().wait();
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
