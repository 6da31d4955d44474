// The settings screen's switches (telemetry, the forward words), clicked where a user clicks them.
#include "AppTestSupport.h"
#include "playback/ForwardWords.h"
#include "screens/shell/SettingsViewController.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/codec/VGMessagePack.h"
#include "telemetry/crash/VGCrashReporter.h"
#include "telemetry/device/VGDeviceInfo.h"
#include "telemetry/session/VGTelemetrySwitch.h"
#include "telemetry/session/Vigil.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

TEST(SettingsTelemetry, ClickingTheSwitchOffStopsTelemetryAndIsRemembered)
{
    test::ScratchDefaults defaults;
    EXPECT_TRUE(VGTelemetrySwitch::enabled()); // on until the user says otherwise

    SettingsViewController screen;
    screen.resize(320, 568);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    auto *telemetry = screen.findChild<QCheckBox *>(QStringLiteral("telemetrySwitch"));
    ASSERT_TRUE(telemetry);
    EXPECT_TRUE(telemetry->isChecked());
    const auto *note = screen.findChild<QLabel *>(QStringLiteral("telemetryNote"));
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->text().contains(QStringLiteral("Never your audio")));

    // At the box itself, in the window's coordinates.
    const QPoint box = telemetry->mapTo(&screen, QPoint(8, telemetry->height() / 2));
    QTest::mouseClick(screen.windowHandle(), Qt::LeftButton, {}, box);
    test::drainEvents();
    EXPECT_FALSE(telemetry->isChecked());
    EXPECT_FALSE(VGTelemetrySwitch::enabled());
    // Nothing is recorded from now on, and a crash is no longer captured.
    EXPECT_FALSE(Vigil::sessionStarted());
    EXPECT_FALSE(VGCrashReporter::handlersInstalled());

    // The screen shows the choice again next time.
    SettingsViewController again;
    EXPECT_FALSE(again.findChild<QCheckBox *>(QStringLiteral("telemetrySwitch"))->isChecked());
}

TEST(SettingsTelemetry, TheForwardWordsSwitchIsClickedOffAndRemembered)
{
    test::ScratchDefaults defaults;
    EXPECT_TRUE(ForwardWords::enabled()); // on until the user says otherwise

    SettingsViewController screen;
    screen.resize(320, 568);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    auto *words = screen.findChild<QCheckBox *>(QStringLiteral("forwardWordsSwitch"));
    ASSERT_TRUE(words);
    EXPECT_TRUE(words->isChecked());
    // Below the fold on a phone-sized window: scrolled to, then clicked at the box.
    screen.findChild<QScrollArea *>()->ensureWidgetVisible(words);
    test::drainEvents();
    const QPoint at = words->mapTo(&screen, QPoint(8, words->height() / 2));
    EXPECT_GE(at.x(), 0) << "the switch fits the phone's width";
    QTest::mouseClick(screen.windowHandle(), Qt::LeftButton, {}, at);
    test::drainEvents();
    EXPECT_FALSE(words->isChecked());
    EXPECT_FALSE(ForwardWords::enabled());

    SettingsViewController again;
    EXPECT_FALSE(again.findChild<QCheckBox *>(QStringLiteral("forwardWordsSwitch"))->isChecked());
}

namespace {

// Clicks a button of the settings screen where a user would, scrolled into view first.
void clickButton(SettingsViewController &screen, const char *name)
{
    auto *button = screen.findChild<QPushButton *>(QLatin1String(name));
    ASSERT_TRUE(button) << name;
    screen.findChild<QScrollArea *>()->ensureWidgetVisible(button);
    test::drainEvents();
    QTest::mouseClick(screen.windowHandle(), Qt::LeftButton, {},
                      button->mapTo(&screen, button->rect().center()));
    test::drainEvents();
}

TEST(SettingsTelemetry, WhatIsSentIsShownDecodedAndIdentifiersCanBeReset)
{
    test::ScratchDefaults defaults;
    const QString sdk = test::scratchRoot() + QStringLiteral("/settings-sdk");
    QDir(sdk).removeRecursively();
    VGSdkFolder::setPathForTesting(sdk);
    SettingsViewController screen;
    screen.resize(320, 568);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));

    // Nothing pending, and looking leaves no telemetry folder behind.
    clickButton(screen, "showSentButton");
    auto *view = screen.findChild<QDialog *>(QStringLiteral("sentUploadsView"));
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isVisible());
    auto *text = view->findChild<QPlainTextEdit *>(QStringLiteral("sentUploadsText"));
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("Nothing is waiting")));
    EXPECT_FALSE(QFileInfo::exists(sdk));
    view->close();

    // A queued session start, decoded as the dump command shows it.
    QDir().mkpath(sdk + QStringLiteral("/VGEventManager/events"));
    QFile queued(sdk + QStringLiteral("/VGEventManager/events/QUEUED.msgpack"));
    ASSERT_TRUE(queued.open(QIODevice::WriteOnly));
    queued.write(VGMessagePack::pack(VGValue::map(
        {{"events",
          VGValue::array({VGValue::map({{"type", "session_start"}, {"session_id", "S-1"}})})}})));
    queued.close();
    clickButton(screen, "showSentButton");
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("QUEUED.msgpack")));
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("\"session_start\"")));
    view->close();

    // Before the agreement nothing identifies the user, and a reset does not make anything.
    clickButton(screen, "resetIdentifiersButton");
    EXPECT_TRUE(defaults->valueForKey(QStringLiteral("SharedUDID")).isNull());
    // Later a reset drops the vendor identifier's value.
    defaults->setString(QLatin1String(VGDeviceInfo::kVendorSecretKey),
                        QString(64, QLatin1Char('a')));
    defaults->synchronize();
    clickButton(screen, "resetIdentifiersButton");
    defaults->synchronize();
    EXPECT_FALSE(defaults->hasKey(QLatin1String(VGDeviceInfo::kVendorSecretKey)));
    EXPECT_TRUE(screen.findChild<QLabel *>(QStringLiteral("identifiersNote"))->isVisible());
    VGSdkFolder::setPathForTesting(QString());
}

} // namespace
