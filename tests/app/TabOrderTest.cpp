// Tab on the menu's screens, pressed on the window as a keyboard user would: every stop draws
// the focus ring, and the stops come in the order the screen reads.
#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "library/StoreContext.h"
#include "screens/shell/GettingStartedCell.h"
#include "screens/shell/GettingStartedViewController.h"
#include "screens/shell/SettingsViewController.h"
#include "toolkit/KeyboardFocus.h"
#include "toolkit/Theme.h"

#include <QApplication>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QUuid>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class TabOrder : public ::testing::Test {
protected:
    void SetUp() override
    {
        Theme::applyToApplication();
        const QString path =
            test::scratchRoot() +
            QStringLiteral("/tabs-%1.sql").arg(QUuid::createUuid().toString(QUuid::Id128));
        ASSERT_TRUE(store.open(path));
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->resize(1024, 768);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        test::drainEventsAndDeletions();
    }
    void open(int menuShortcut)
    {
        QTest::keyClick(window->windowHandle(), Qt::Key(Qt::Key_0 + menuShortcut),
                        Qt::ControlModifier);
        test::drainEventsAndDeletions();
        ASSERT_TRUE(test::waitForSlide(*window));
    }
    void tab()
    {
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        test::drainEvents();
    }
    // Tab round the screen once, from the menu button: each stop's place in the window.
    QList<QWidget *> tabRound()
    {
        QList<QWidget *> stops;
        for (int presses = 0; presses < 40; ++presses) {
            tab();
            QWidget *now = QApplication::focusWidget();
            if (!stops.isEmpty() && now == stops.first())
                break;
            stops << now;
        }
        const auto menu = std::find_if(stops.begin(), stops.end(), [this](QWidget *stop) {
            return stop && stop == static_cast<QWidget *>(window->sidebarButton());
        });
        if (menu != stops.end())
            std::rotate(stops.begin(), menu, stops.end());
        return stops;
    }
    QRect inWindow(const QWidget *widget) const
    {
        return QRect(widget->mapTo(window.get(), QPoint()), widget->size());
    }
    // Rows read top to bottom, a row left to right.
    void expectReadingOrder(const QList<QWidget *> &stops)
    {
        ASSERT_FALSE(stops.isEmpty());
        EXPECT_EQ(stops.first(), static_cast<QWidget *>(window->sidebarButton()))
            << "the menu button is a stop";
        for (qsizetype i = 1; i < stops.size(); ++i) {
            const QRect before = inWindow(stops[i - 1]), now = inWindow(stops[i]);
            const bool sameRow = now.top() < before.bottom() && before.top() < now.bottom();
            EXPECT_TRUE(sameRow ? now.left() > before.left() : now.top() >= before.bottom())
                << qPrintable(stops[i - 1]->objectName()) << " then "
                << qPrintable(stops[i]->objectName());
        }
    }

    StoreContext store;
    test::ScratchDefaults defaults;
    std::unique_ptr<SidebarViewController> window;
};

TEST_F(TabOrder, EveryStopOfTheMenuScreensShowsTheRingInReadingOrder)
{
    for (int screen : {1, 2, 3, 4}) {
        SCOPED_TRACE(screen);
        open(screen);
        const QList<QWidget *> stops = tabRound();
        EXPECT_GE(stops.size(), 3);
        for (QWidget *stop : stops) {
            QApplication::setActiveWindow(window.get());
            stop->setFocus(Qt::TabFocusReason);
            test::drainEvents();
            EXPECT_EQ(KeyboardFocus::ringedControl(), stop)
                << "no ring on " << qPrintable(stop->metaObject()->className()) << " "
                << qPrintable(stop->objectName());
        }
        expectReadingOrder(stops);
    }
}

TEST_F(TabOrder, TheHelpTopicsAreWalkedAndOpenedByKeyboard)
{
    open(1);
    auto *topics = qobject_cast<GettingStartedViewController *>(window->contentViewController());
    ASSERT_TRUE(topics);
    for (int presses = 0; presses < 5 && !topics->tableView()->hasFocus(); ++presses)
        tab();
    ASSERT_TRUE(topics->tableView()->hasFocus());
    EXPECT_TRUE(topics->cellForRow(0)->keyboardCurrent());

    QTest::keyClick(window->windowHandle(), Qt::Key_Down);
    QTest::keyClick(window->windowHandle(), Qt::Key_Down);
    test::drainEvents();
    EXPECT_FALSE(topics->cellForRow(0)->keyboardCurrent());
    EXPECT_TRUE(topics->cellForRow(2)->keyboardCurrent());
    const QImage marked = topics->cellForRow(2)->grab().toImage();

    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return !topics->isScrolling(); }));
    EXPECT_EQ(topics->selectedIndexPath(), 2);
    EXPECT_TRUE(topics->cellForRow(2)->exposed());
    QTest::keyClick(window->windowHandle(), Qt::Key_Space);
    ASSERT_TRUE(test::waitUntil([&] { return !topics->isScrolling(); }));
    EXPECT_FALSE(topics->selectedIndexPath().has_value());

    // Leaving the list takes the mark away, so only one place shows the keyboard.
    tab();
    EXPECT_FALSE(topics->cellForRow(2)->keyboardCurrent());
    EXPECT_NE(topics->cellForRow(2)->grab().toImage(), marked) << "the mark is drawn";
}

} // namespace
