#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QWidget>

namespace murmelo::test {

QString scratchRoot()
{
    return qEnvironmentVariable("MURMELO_SCRATCH_ROOT");
}

bool waitUntil(const std::function<bool()> &predicate, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.elapsed() > timeout.count())
            return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void drainEvents()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString testDataPath(const QString &name)
{
    return qEnvironmentVariable("MURMELO_TEST_DATA", QStringLiteral(MURMELO_TEST_DATA_DIR)) +
           QLatin1Char('/') + name;
}

QString saveScreenshot(QWidget *widget, const QString &name)
{
    drainEvents();
    const QString folder = qEnvironmentVariable("MURMELO_SCREENSHOT_DIR", scratchRoot());
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    return widget->grab().toImage().save(path) ? path : QString();
}

ProcessOutcome runMurmelo(const QStringList &arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("MURMELO_BINARY_DIR") + QStringLiteral("/src/app/murmelo"),
                  arguments);
    const bool finished = process.waitForFinished(60000);
    if (!finished)
        process.kill();
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

void stopProcess(QProcess *process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

int runShell(const QString &commandLine)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
    if (!process.waitForFinished(120000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace murmelo::test
