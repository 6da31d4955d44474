#include "AppTestSupport.h"
#include "screens/shell/EulaViewController.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTextBrowser>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

TEST(EulaRule, EnabledWithinTenPointsOfTheEnd)
{
    // The end is at 1500 - 500 = 1000.
    EXPECT_TRUE(isWithinReachOfEnd(1000, 1500, 500));
    EXPECT_TRUE(isWithinReachOfEnd(995, 1500, 500));
    EXPECT_TRUE(isWithinReachOfEnd(990, 1500, 500));
    EXPECT_FALSE(isWithinReachOfEnd(989, 1500, 500));
    EXPECT_TRUE(isWithinReachOfEnd(0, 300, 500)); // shorter than the view
}

class EulaScreen : public ::testing::Test {
protected:
    void show(EulaViewController &screen)
    {
        screen.resize(320, 568);
        screen.show();
        test::drainEvents();
    }
    // Long enough to wait for scrolling to come to rest.
    bool waitForRest(EulaViewController &screen, bool enabled)
    {
        return test::waitUntil([&] { return screen.eulaButton()->isEnabled() == enabled; });
    }
    test::ScratchDefaults defaults;
};

TEST_F(EulaScreen, ScrollingNearTheEndEnablesAndBackToTheTopDisables)
{
    EulaViewController screen;
    show(screen);
    QScrollBar *bar = screen.eulaTextView()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 1000) << "the licence is long";
    EXPECT_FALSE(screen.eulaButton()->isEnabled());

    bar->setValue(bar->maximum() / 2);
    test::waitUntil([] { return false; },
                    std::chrono::milliseconds(EulaViewController::kRestMilliseconds * 2));
    EXPECT_FALSE(screen.eulaButton()->isEnabled());

    bar->setValue(bar->maximum() - 5);
    EXPECT_FALSE(screen.eulaButton()->isEnabled()) << "only once scrolling has come to rest";
    EXPECT_TRUE(waitForRest(screen, true));

    bar->setValue(0);
    EXPECT_TRUE(waitForRest(screen, false));
}

TEST_F(EulaScreen, ShortTextEnablesAtTheFirstRestAndNotBefore)
{
    EulaViewController screen(QStringLiteral("<p>Short.</p>"));
    show(screen);
    EXPECT_EQ(screen.eulaTextView()->verticalScrollBar()->maximum(), 0);
    test::waitUntil([] { return false; },
                    std::chrono::milliseconds(EulaViewController::kRestMilliseconds * 2));
    EXPECT_FALSE(screen.eulaButton()->isEnabled());

    QWidget *viewport = screen.eulaTextView()->viewport();
    const QPointF centre = viewport->rect().center();
    QWheelEvent wheel(centre, viewport->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    EXPECT_TRUE(waitForRest(screen, true));
}

TEST_F(EulaScreen, AcceptingStoresTheAnswerAtOnceAndCloses)
{
    QWidget window;
    window.resize(320, 568);
    QPointer<EulaViewController> screen = new EulaViewController(QStringLiteral("Short."), &window);
    screen->setGeometry(window.rect());
    window.show();
    test::drainEvents();
    screen->enableButton();
    ASSERT_TRUE(screen->eulaButton()->isEnabled());
    screen->eulaButton()->click();

    // Written to the file, not only held in memory.
    QSettings written(defaults->path(), QSettings::IniFormat);
    EXPECT_TRUE(written.value(QStringLiteral("EULA")).toBool());
    EXPECT_TRUE(defaults->boolForKey(QStringLiteral("EULA")));
    EXPECT_TRUE(test::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return screen.isNull();
    }));
}

TEST(EulaText, BeginsWithTheNoteAndCarriesTheWholeLicence)
{
    const QString text = EulaViewController::agreementText();
    EXPECT_LT(text.indexOf(QStringLiteral("Before you start")),
              text.indexOf(QStringLiteral("GNU GENERAL PUBLIC LICENSE")));
    EXPECT_TRUE(text.contains(QStringLiteral("END OF TERMS AND CONDITIONS")));
}

} // namespace
