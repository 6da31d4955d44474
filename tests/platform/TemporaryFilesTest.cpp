#include "platform/TemporaryFiles.h"
#include "platform/StandardPaths.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QUuid>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
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

namespace {
// Everything below a folder, by path relative to it.
QStringList contentsOf(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}
} // namespace

TEST(TemporaryFiles, WorkFolderIsTheUsersAloneAndAHostileOneIsNeverUsed)
{
    const uid_t uid = getuid();
    const QString name = QStringLiteral("/murmelo-%1").arg(uid);
    const mode_t previousMask = ::umask(022);

    const QString fresh = freshFolder();
    EXPECT_EQ(TemporaryFiles::privateWorkFolder(fresh, uid), fresh + name);
    EXPECT_TRUE(TemporaryFiles::isPrivateFolder(fresh + name, uid));

    const QString elsewhere = freshFolder();
    QDir().mkpath(elsewhere + "/target");
    QFile::setPermissions(elsewhere + "/target",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QMap<QString, std::function<void(const QString &)>> hostile{
        {"open to all",
         [](const QString &at) {
             QDir().mkdir(at);
             ::chmod(QFile::encodeName(at).constData(), 0777);
         }},
        {"a link", [&](const QString &at) { QFile::link(elsewhere + "/target", at); }},
        {"a file",
         [](const QString &at) { touch(QFileInfo(at).path(), QFileInfo(at).fileName()); }},
    };
    if (uid == 0) { // only root can give a folder away; anyone else meets such folders
        hostile.insert("another user's", [](const QString &at) {
            QDir().mkdir(at);
            ::chmod(QFile::encodeName(at).constData(), 0700);
            ASSERT_EQ(::chown(QFile::encodeName(at).constData(), 65534, 65534), 0);
        });
    }
    for (auto it = hostile.cbegin(); it != hostile.cend(); ++it) {
        const QString base = freshFolder();
        const QString taken = base + name;
        it.value()(taken);
        const QStringList before = contentsOf(base);

        const QString chosen = TemporaryFiles::privateWorkFolder(base, uid);
        EXPECT_TRUE(chosen.startsWith(taken + '.')) << qPrintable(it.key() + ": " + chosen);
        EXPECT_TRUE(TemporaryFiles::isPrivateFolder(chosen, uid)) << qPrintable(it.key());
        // Later runs share it, so they find what an ended run left there.
        EXPECT_EQ(TemporaryFiles::privateWorkFolder(base, uid), chosen) << qPrintable(it.key());

        const QByteArray savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", base.toLocal8Bit());
        EXPECT_EQ(StandardPaths::temporaryDirectory(), chosen + '/') << qPrintable(it.key());
        touch(StandardPaths::temporaryDirectory(), TemporaryFiles::fileName("m", "u", ".wav"));
        qputenv("TMPDIR", savedTmp);

        QStringList expected = before + contentsOf(chosen) + QStringList{chosen};
        expected.sort();
        EXPECT_EQ(contentsOf(base), expected) << qPrintable(it.key());
        EXPECT_EQ(contentsOf(elsewhere + "/target"), QStringList()) << qPrintable(it.key());
    }
    ::umask(previousMask);
}
