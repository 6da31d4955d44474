// Telemetry waits for the agreement: a first start sends and writes nothing, accepting starts it.
#include "AppTestSupport.h"
#include "IntakeServer.h"
#include "app/AppDelegate.h"
#include "screens/shell/EulaViewController.h"
#include "telemetry/session/Vigil.h"

#include <QDirIterator>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>
#include <QWindow>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace murmelo;

namespace {

// A profile of its own (home, settings, data, caches) for one run of the application.
class Profile {
public:
    explicit Profile(const QString &name)
        : home_(test::scratchRoot() + QStringLiteral("/consent-") + name)
    {
        QDir(home_).removeRecursively();
        for (const char *sub : {"data", "config/murmelo", "cache", "tmp", "runtime"})
            QDir().mkpath(home_ + QLatin1Char('/') + QLatin1String(sub));
        QFile::setPermissions(home_ + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString path(const QString &relative) const { return home_ + QLatin1Char('/') + relative; }
    QString telemetryFolder() const
    {
        return path(QStringLiteral("cache/murmelo/org.murmelo.vigil"));
    }
    void setting(const QString &key, const QVariant &value) const
    {
        QSettings settings(path(QStringLiteral("config/murmelo/murmelo.conf")),
                           QSettings::IniFormat);
        settings.setValue(key, value);
    }
    QStringList settingKeys() const
    {
        return QSettings(path(QStringLiteral("config/murmelo/murmelo.conf")), QSettings::IniFormat)
            .allKeys();
    }

    // Starts the application without a display: it comes up offscreen and quits at once.
    QString run(const QString &telemetryUrl) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home_);
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("MURMELO_MAIL_RELAY"), QStringLiteral("localhost:2525"));
        env.insert(QStringLiteral("MURMELO_TELEMETRY_URL"), telemetryUrl);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("MURMELO_BINARY_DIR") +
                      QStringLiteral("/src/app/murmelo"));
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return QString::fromLocal8Bit(process.readAllStandardError());
    }

private:
    QString home_;
};

QStringList identifierKeys(const QStringList &keys)
{
    QStringList found;
    for (const QString &key : keys) {
        if (key.contains(QLatin1String("UDID")) || key.contains(QLatin1String("Vendor")))
            found << key;
    }
    return found;
}

unsigned modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(Consent, AFirstStartWithoutTheAgreementSendsAndWritesNothing)
{
    test::IntakeServer intake(QStringLiteral("200"));
    ASSERT_TRUE(intake.isRunning());
    Profile profile(QStringLiteral("first"));
    profile.run(intake.url(QStringLiteral("/")).toString());

    EXPECT_TRUE(intake.requests().empty()) << "sent before the agreement was accepted";
    EXPECT_FALSE(QFileInfo::exists(profile.telemetryFolder()));
    EXPECT_FALSE(QFileInfo::exists(profile.path(QStringLiteral("data/SharedUDID"))));
    EXPECT_TRUE(identifierKeys(profile.settingKeys()).isEmpty())
        << profile.settingKeys().join(' ').toStdString();
}

TEST(Consent, AnAcceptedProfileReportsAndKeepsItsTelemetryFilesPrivate)
{
    test::IntakeServer intake(QStringLiteral("200"));
    ASSERT_TRUE(intake.isRunning());
    Profile profile(QStringLiteral("accepted"));
    profile.setting(QStringLiteral("EULA"), true);
    // A file an earlier version left readable by others is tightened at start.
    QDir().mkpath(profile.telemetryFolder() + QStringLiteral("/session_info"));
    QFile old(profile.telemetryFolder() + QStringLiteral("/session_info/old.session.mpack"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("\x80");
    old.close();
    QFile::setPermissions(old.fileName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther);
    profile.run(intake.url(QStringLiteral("/")).toString());

    EXPECT_TRUE(intake.waitForRequests(1));
    ASSERT_TRUE(QFileInfo::exists(profile.telemetryFolder()));
    EXPECT_FALSE(identifierKeys(profile.settingKeys()).isEmpty());
    int files = 0;
    QDirIterator it(profile.telemetryFolder(),
                    QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    EXPECT_EQ(modeOf(profile.telemetryFolder()), 0700u);
    while (it.hasNext()) {
        const QString path = it.next();
        EXPECT_EQ(modeOf(path), it.fileInfo().isDir() ? 0700u : 0600u) << path.toStdString();
        files += it.fileInfo().isFile();
    }
    EXPECT_GT(files, 2);
    const QString shared = profile.path(QStringLiteral("data/SharedUDID"));
    EXPECT_EQ(modeOf(shared), 0700u);
    for (const QFileInfo &slot : QDir(shared).entryInfoList(QDir::Files))
        EXPECT_EQ(modeOf(slot.filePath()), 0600u) << slot.filePath().toStdString();
}

TEST(Consent, ATelemetryAddressThatIsNotAbsoluteHttpIsRefusedAndNothingStarts)
{
    Profile profile(QStringLiteral("refused"));
    profile.setting(QStringLiteral("EULA"), true);
    const QString err = profile.run(QStringLiteral("127.0.0.1:8080"));
    EXPECT_TRUE(
        err.contains(QLatin1String("MURMELO_TELEMETRY_URL is not an absolute http or https")))
        << err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(profile.telemetryFolder()));
}

TEST(Consent, AcceptingTheAgreementStartsTelemetryAtOnce)
{
    test::IntakeServer intake(QStringLiteral("200"));
    ASSERT_TRUE(intake.isRunning());
    qputenv("MURMELO_TELEMETRY_URL", intake.url(QStringLiteral("/")).toEncoded());
    qputenv("MURMELO_MAIL_RELAY", "localhost:2525");
    test::ScratchDefaults defaults;
    AppDelegate app;
    app.run();
    test::drainEvents();
    EXPECT_FALSE(Vigil::isActivated());
    auto *eula = app.window()->findChild<EulaViewController *>();
    ASSERT_TRUE(eula);
    QScrollBar *bar = eula->eulaTextView()->verticalScrollBar();
    bar->setValue(bar->maximum());
    eula->enableButton();
    ASSERT_TRUE(eula->eulaButton()->isEnabled());
    QTest::mouseClick(eula->eulaButton(), Qt::LeftButton);
    ASSERT_TRUE(Defaults::standard().boolForKey(QStringLiteral("EULA")));
    EXPECT_TRUE(Vigil::isActivated());
    // The session starts with the handshake, without a restart.
    EXPECT_TRUE(intake.waitForRequests(1));
    qunsetenv("MURMELO_TELEMETRY_URL");
    qunsetenv("MURMELO_MAIL_RELAY");
}

} // namespace
