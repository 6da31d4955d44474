// The telemetry switch on the settings screen, clicked where a user clicks it.
#include "AppTestSupport.h"
#include "app/SettingsViewController.h"
#include "telemetry/crash/VGCrashReporter.h"
#include "telemetry/session/VGTelemetrySwitch.h"
#include "telemetry/session/Vigil.h"

#include <QCheckBox>
#include <QLabel>
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
