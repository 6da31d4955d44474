#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/SpeechSidebarMenuController.h"
#include "platform/Localized.h"
#include "screens/shell/GettingStartedCell.h"
#include "screens/shell/GettingStartedViewController.h"
#include "support/RecordingAlertPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QScrollBar>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class GettingStarted : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.reset(buildMainWindow({}));
        screen = new GettingStartedViewController;
        window->setContentViewController(screen);
        window->show();
        test::drainEvents();
    }
    QList<int> rowHeights() const
    {
        QList<int> heights;
        for (int row = 0; row < screen->numberOfRowsInSection(); ++row)
            heights << screen->tableView()->rowHeight(row);
        return heights;
    }
    void tap(int row)
    {
        screen->didSelectRowAtIndexPath(row);
        test::drainEvents();
        ASSERT_TRUE(test::waitUntil([&] { return !screen->isScrolling(); }));
    }
    std::unique_ptr<SidebarViewController> window;
    GettingStartedViewController *screen = nullptr;
};

TEST_F(GettingStarted, SevenCollapsedTopicsFromTheTextTable)
{
    ASSERT_EQ(screen->numberOfRowsInSection(), 7);
    EXPECT_EQ(rowHeights(), QList<int>(7, 60));
    for (int row = 0; row < 7; ++row) {
        GettingStartedCell *cell = screen->cellForRow(row);
        const QByteArray key = QStringLiteral("info.%1.title").arg(row + 1).toUtf8();
        EXPECT_EQ(cell->infoLabel()->text(), localized(key.constData()));
        EXPECT_NE(cell->infoLabel()->text(), QString::fromUtf8(key)) << "every topic has a title";
        EXPECT_FALSE(cell->infoTextView()->isVisible());
    }
    EXPECT_TRUE(window->menuViewController()->entryButtons().first()->isChecked());
}

TEST_F(GettingStarted, TappingATopicTwiceExpandsThenCollapses)
{
    tap(2);
    EXPECT_EQ(screen->selectedIndexPath(), 2);
    const QString text = localized("info.3.info");
    QFont font = QApplication::font();
    font.setPixelSize(14);
    const int measured =
        QFontMetrics(font).boundingRect(QRect(0, 0, 254, 10000), Qt::TextWordWrap, text).height();
    EXPECT_EQ(screen->tableView()->rowHeight(2), measured + 32);
    GettingStartedCell *cell = screen->cellForRow(2);
    EXPECT_TRUE(cell->exposed());
    EXPECT_TRUE(cell->infoTextView()->isVisible());
    EXPECT_EQ(cell->infoTextView()->text(), text);

    tap(2);
    EXPECT_FALSE(screen->selectedIndexPath().has_value());
    EXPECT_EQ(rowHeights(), QList<int>(7, 60));
    EXPECT_FALSE(screen->cellForRow(2)->exposed());
}

TEST_F(GettingStarted, TappingAnotherTopicMovesTheExpansionAndScrollsItToTheBottom)
{
    tap(4);
    QScrollBar *bar = screen->tableView()->verticalScrollBar();
    bar->setValue(bar->maximum()); // the reader has scrolled down through topic 5
    tap(1);
    EXPECT_EQ(screen->selectedIndexPath(), 1);
    EXPECT_FALSE(screen->cellForRow(4)->exposed());
    EXPECT_EQ(screen->tableView()->rowHeight(4), 60);
    EXPECT_GT(screen->tableView()->rowHeight(1), 60);

    // Topic 2's bottom edge sits at the bottom of the view, as far as the list can scroll.
    const int viewport = screen->tableView()->viewport()->height();
    const int bottomInList = 60 + screen->tableView()->rowHeight(1);
    EXPECT_EQ(bar->value(), std::clamp(bottomInList - viewport, 0, bar->maximum()));
}

TEST_F(GettingStarted, TheDemoMovieGoesToThePlayer)
{
    QList<QUrl> played;
    bool handled = true;
    screen->setMoviePlayer([&](const QUrl &url) {
        played << url;
        return handled;
    });
    const QString movie = GettingStartedViewController::sampleMoviePath();
    if (movie.isEmpty())
        GTEST_SKIP() << "the demo movie was not made in this build";
    EXPECT_GT(QFileInfo(movie).size(), 10000);
    test::RecordingAlertPresenter alerts;
    screen->playMovie();
    ASSERT_EQ(played.size(), 1);
    EXPECT_EQ(played.first().toLocalFile(), movie);
    EXPECT_TRUE(alerts.alerts().isEmpty());

    // Without a program for the movie, the user is told so instead of nothing happening.
    handled = false;
    screen->playMovie();
    ASSERT_EQ(alerts.alerts().size(), 1);
    EXPECT_EQ(alerts.alerts().first().title, QStringLiteral("No Video Player"));
    EXPECT_TRUE(alerts.alerts().first().message.contains(QFileInfo(movie).fileName()));
}

} // namespace
