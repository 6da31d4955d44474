#include "platform/Defaults.h"
#include "platform/Localized.h"
#include "platform/StandardPaths.h"
#include "support/RecordingAlertPresenter.h"
#include "support/TestSupport.h"
#include "toolkit/MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace murmelo;

TEST(StandardPaths, FoldersLiveUnderTheScratchXdgRootAndAreCreatedOnFirstUse)
{
    const QString root = test::scratchRoot();
    ASSERT_FALSE(root.isEmpty());
    QDir(root + "/data/murmelo").removeRecursively();

    const QString support = StandardPaths::applicationSupportDirectory();
    EXPECT_TRUE(support.startsWith(root + "/data/")) << support.toStdString();
    EXPECT_TRUE(QFileInfo(support).isDir());
    EXPECT_TRUE(StandardPaths::libraryDirectory().startsWith(root + "/data/"));
    EXPECT_TRUE(StandardPaths::cachesDirectory().startsWith(root + "/cache/"));

    const QString temp = StandardPaths::temporaryDirectory();
    EXPECT_TRUE(temp.startsWith(root + "/tmp/"));
    EXPECT_TRUE(temp.endsWith('/'));
    EXPECT_TRUE(QFileInfo(temp).isDir());
    // Recordings in progress are private to their user.
    EXPECT_EQ(QFileInfo(temp).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
}

TEST(StandardPaths, FilesAreOfferedInTheDocumentsFolderOrElseTheHomeFolder)
{
    const QByteArray realHome = qgetenv("HOME");
    const QString home = test::scratchRoot() + "/home";
    qputenv("HOME", home.toUtf8());
    QDir(home).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(home));
    EXPECT_EQ(StandardPaths::documentsDirectory(), home);
    ASSERT_TRUE(QDir().mkpath(home + "/Documents"));
    EXPECT_EQ(StandardPaths::documentsDirectory(), home + "/Documents");
    qputenv("HOME", realHome);
}

TEST(Defaults, ValuesPersistAcrossInstancesAndAbsentKeysReadAsZero)
{
    const QString path = test::scratchRoot() + "/config/defaults-test.conf";
    {
        Defaults defaults(path);
        EXPECT_FALSE(defaults.boolForKey("EULA"));
        EXPECT_EQ(defaults.integerForKey("defaultName"), 0);
        defaults.setBool("EULA", true);
        defaults.setInteger("defaultName", 3);
        defaults.synchronize();
    }
    Defaults reopened(path);
    EXPECT_TRUE(reopened.boolForKey("EULA"));
    EXPECT_EQ(reopened.integerForKey("defaultName"), 3);

    Defaults::setStandardForTesting(&reopened);
    EXPECT_EQ(Defaults::standard().path(), path);
    Defaults::setStandardForTesting(nullptr);
    EXPECT_TRUE(Defaults::standard().path().startsWith(test::scratchRoot()));
}

TEST(Defaults, SettingsAndTheirFoldersAreTheUsersAloneAndLooserOnesAreTightened)
{
    const auto mode = [](const QString &path) {
        struct stat info {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0u;
    };
    const mode_t previousMask = ::umask(022);
    const QString folder = test::scratchRoot() + "/config-private/murmelo";
    QDir(folder).removeRecursively();
    {
        Defaults defaults(folder + "/murmelo.conf");
        EXPECT_EQ(mode(folder + "/murmelo.conf"), 0600u);
        defaults.setString("relaySender", "me@example.org");
        defaults.synchronize(); // written anew beside the old file and renamed over it
    }
    EXPECT_EQ(mode(folder + "/murmelo.conf"), 0600u);
    EXPECT_EQ(mode(folder), 0700u);

    // As an older version left them.
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    ::chmod(QFile::encodeName(folder + "/murmelo.conf").constData(), 0644);
    Defaults reopened(folder + "/murmelo.conf");
    EXPECT_EQ(reopened.stringForKey("relaySender"), QStringLiteral("me@example.org"));
    EXPECT_EQ(mode(folder + "/murmelo.conf"), 0600u);
    EXPECT_EQ(mode(folder), 0700u);

    // So are the library's and the caches' folders.
    ::chmod(QFile::encodeName(StandardPaths::libraryDirectory()).constData(), 0755);
    for (const QString &path :
         {StandardPaths::libraryDirectory(), StandardPaths::applicationSupportDirectory(),
          StandardPaths::cachesDirectory()})
        EXPECT_EQ(mode(path), 0700u) << qPrintable(path);
    ::umask(previousMask);
}

TEST(AlertPresenter, RecorderAnswersWithTheChosenButtonIndex)
{
    test::RecordingAlertPresenter alerts;
    int chosen = -1;
    showAlert(nullptr, "Title", "Message", "No", {"Yes"}, [&](int index) { chosen = index; });
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().first().buttons(), QStringList({"No", "Yes"}));
    EXPECT_FALSE(alerts.press("Maybe"));
    EXPECT_TRUE(alerts.press("Yes"));
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(alerts.pendingCount(), 0);
}

TEST(AlertPresenter, MessageBoxTakesEnterAsTheChosenDefaultAndEscapeAsCancel)
{
    QWidget parent;
    parent.show();
    QList<int> chosen;
    const auto ask = [&](int defaultButton) {
        Alert question{"Delete it?", {}, "No", {"Yes"}, [&](int index) { chosen << index; }};
        question.defaultButton = defaultButton;
        MessageBoxAlertPresenter().present(question, &parent);
        QMessageBox *box = parent.findChild<QMessageBox *>();
        EXPECT_TRUE(test::waitUntil([&] { return box && box->isVisible(); }));
        return box;
    };
    const auto press = [](QWidget *box, int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(box, &event);
        test::drainEvents();
    };

    QMessageBox *box = ask(0);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->defaultButton()->text(), "No");
    press(box, Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return !parent.findChild<QMessageBox *>(); }));
    box = ask(1);
    ASSERT_TRUE(box);
    press(box, Qt::Key_Escape);
    EXPECT_EQ(chosen, (QList<int>{0, 0}));
}

TEST(Localized, KnownKeysHaveTextsAndUnknownKeysReadAsThemselves)
{
    EXPECT_NE(localized("delete_confirm"), "delete_confirm");
    EXPECT_EQ(localized("no_such_key"), "no_such_key");
}
