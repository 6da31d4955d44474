#include "platform/TemporaryFiles.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QUuid>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace murmelo;

namespace {

// The id of a process that has ended (and been reaped), so nothing runs under it now.
qint64 endedProcessId()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

QString touch(const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("RIFF");
    return path;
}

QString freshFolder()
{
    const QString path = test::scratchRoot() + QStringLiteral("/temporary-") +
                         QUuid::createUuid().toString(QUuid::Id128);
    QDir().mkpath(path);
    return path;
}

} // namespace

TEST(TemporaryFiles, NamesCarryTheProcessIdAndOnlyTheirOwnFormIsRead)
{
    const QString name = TemporaryFiles::fileName("murmelo", "ABC", ".wav");
    EXPECT_EQ(name, QStringLiteral("murmelo|%1|ABC.wav").arg(QCoreApplication::applicationPid()));
    EXPECT_EQ(TemporaryFiles::ownerProcess(name), QCoreApplication::applicationPid());

    for (const char *other :
         {"murmelo|0E6F.wav", ".murmelo|12|A.wav.deleted", "murmelo|12x|A.wav", "murmelo|-4|A.wav",
          "murmelo|012|A.wav", "|12|A.wav", "a|12|", "a|12|b|c", "sox-tmp-12"})
        EXPECT_FALSE(TemporaryFiles::ownerProcess(other)) << other;
}

TEST(TemporaryFiles, FilesOfEndedProcessesGoAndEveryOtherFileStays)
{
    const QString folder = freshFolder();
    const qint64 ended = endedProcessId();
    ASSERT_FALSE(TemporaryFiles::processIsRunning(ended));
    const qint64 live = getppid();
    ASSERT_TRUE(TemporaryFiles::processIsRunning(live));

    const QString stale = touch(folder, QStringLiteral("murmelo|%1|A.wav").arg(ended));
    const QString staleNamed = touch(folder, QStringLiteral("murmelo|%1|B.wav").arg(ended));
    const QString ofLive = touch(folder, QStringLiteral("murmelo|%1|C.wav").arg(live));
    const QString own = touch(folder, TemporaryFiles::fileName("murmelo", "D", ".wav"));
    const QString older = touch(folder, QStringLiteral("murmelo|E.wav"));
    const QString aside = touch(folder, QStringLiteral(".murmelo|%1|F.wav.deleted").arg(ended));

    EXPECT_EQ(TemporaryFiles::removeFilesOfEndedProcesses(folder, {staleNamed}), 1);
    EXPECT_FALSE(QFile::exists(stale));
    for (const QString &kept : {staleNamed, ofLive, own, older, aside})
        EXPECT_TRUE(QFile::exists(kept)) << qPrintable(kept);
}
