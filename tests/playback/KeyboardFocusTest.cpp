// The playback screen by keyboard and at the phone's size: Tab walks every control with a ring
// that can be seen, Enter and Space press what has the keyboard, the marker list is reached
// where it has no room of its own, and the "?" bubble about sending opens and closes as a
// bubble should. Keys and clicks are delivered to the window.
#include "PlaybackFixture.h"

#include "screens/playback/MarkerListView.h"
#include "screens/playback/MarkerOverlay.h"
#include "screens/playback/SharePanel.h"
#include "toolkit/KeyboardFocus.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class Keyboard : public PlaybackFixture {
protected:
    void SetUp() override
    {
        PlaybackFixture::SetUp();
        KeyboardFocus::install();
    }
    const PlaybackView &v() { return screen->view(); }
    QPoint centreOf(const QWidget *view)
    {
        return view->mapTo(screen.get(), QRectF(view->rect()).center().toPoint());
    }
    void open(const QSize &size, const QString &message = QStringLiteral("the sea"))
    {
        openRecording(makeRecording(QStringLiteral("Song"), message));
        screen->resize(size);
        ASSERT_TRUE(waitUntil([&] { return screen->size() == size; }));
        screen->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));
        screen->setFocus();
        drainEvents();
    }
    void click(const QPoint &point)
    {
        QTest::mouseClick(window(), Qt::LeftButton, {}, point);
        drainEvents();
    }
    void mark(double from, double to, const QString &text)
    {
        screen->beginMarker(from, to);
        for (const QChar c : text)
            QTest::keyClick(window(), c.toLatin1());
        key(Qt::Key_Return);
    }
    // Tabs from the screen to `control`, as a user would.
    void tabTo(QWidget *control)
    {
        screen->setFocus();
        drainEvents();
        for (int i = 0; i < 40 && screen->focusWidget() != control; ++i)
            key(Qt::Key_Tab);
        ASSERT_EQ(screen->focusWidget(), control);
    }
};

TEST_F(Keyboard, TabReachesEveryControlInLayoutOrderAndEachOneIsSeenToHaveTheKeyboard)
{
    open(QSize(1024, 768));
    mark(2.0, 3.0, QStringLiteral("sea"));
    v().markerList->setCurrentItem(v().markerList->topLevelItem(0)); // Delete is on offer
    const SharePanel &panel = screen->sharePanel();
    const QList<QWidget *> expected{
        v().scrubberSlider,     v().editMessageButton, v().restartButton,  v().playButton,
        v().repeatButton,       v().spectrogramButton, v().ffRewindButton, v().speedSlider,
        v().loopCountButton,    v().loopGapButton,     v().pingPongButton, v().markerList,
        v().removeMarkerButton, v().editButton,        v().cropButton,     v().deleteButton,
        panel.savedShareButton, panel.savedInfoButton};
    screen->setFocus();
    drainEvents();
    QImage before = screen->grab().toImage();
    QList<QWidget *> reached;
    for (int i = 0; i < expected.size(); ++i) {
        key(Qt::Key_Tab);
        QWidget *now = screen->focusWidget();
        reached << now;
        EXPECT_EQ(KeyboardFocus::ringedControl(), now) << i;
        const QImage after = screen->grab().toImage();
        EXPECT_NE(after, before) << "no visible change at Tab " << i + 1 << " ("
                                 << (now ? now->metaObject()->className() : "none") << ")";
        before = after;
    }
    EXPECT_EQ(reached, expected);
    // Only controls the user can see and use get the keyboard.
    for (QWidget *control : reached)
        EXPECT_TRUE(control->isVisible() && control->isEnabled());
    // Back with Shift+Tab, in the opposite order.
    key(Qt::Key_Backtab);
    EXPECT_EQ(screen->focusWidget(), expected[expected.size() - 2]);
}

TEST_F(Keyboard, EnterAndSpacePressTheFocusedButtonAndTheScreenKeepsItsOtherKeys)
{
    open(QSize(1024, 768));
    tabTo(v().loopCountButton);
    const QString before = v().loopCountButton->text();
    key(Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return v().loopCountButton->text() != before; }));
    const QString second = v().loopCountButton->text();
    QTest::keyClick(window(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return v().loopCountButton->text() != second; }));
    EXPECT_FALSE(screen->engine().isPlaying()) << "Space pressed the button, not play";

    tabTo(v().ffRewindButton);
    key(Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(waitUntil([&] { return screen->engine().isReversed(); }));
    // Keys a button does not take still reach the screen.
    key(Qt::Key_R);
    EXPECT_FALSE(screen->engine().isReversed());
}

TEST_F(Keyboard, TheMarkerListIsWalkedAndPlayedByKeysWithoutSwallowingTheScreensKeys)
{
    open(QSize(1024, 768));
    mark(2.0, 3.0, QStringLiteral("sea"));
    mark(6.0, 7.0, QStringLiteral("sun"));
    tabTo(v().markerList);
    // The marker just written down is the chosen one; Up and Down walk the rows.
    EXPECT_EQ(v().markerList->selectedMarker(), 1);
    key(Qt::Key_Up);
    EXPECT_EQ(v().markerList->selectedMarker(), 0);
    key(Qt::Key_Down);
    EXPECT_EQ(v().markerList->selectedMarker(), 1);
    key(Qt::Key_Return);
    EXPECT_TRUE(screen->engine().isPlaying());
    EXPECT_NEAR(screen->engine().currentTime(), 6.0, 0.05);
    // R is the direction, not a search among the rows; Space pauses.
    key(Qt::Key_R);
    EXPECT_TRUE(screen->engine().isReversed());
    key(Qt::Key_Space);
    EXPECT_FALSE(screen->engine().isPlaying());
    EXPECT_EQ(v().markerList->selectedMarker(), 1);
}

TEST_F(Keyboard, AtThePhoneSizeTheMarkerListOpensOverThePanelAndBandsAreNeverCutShort)
{
    open(QSize(PlaybackView::kWidth, PlaybackView::kHeight));
    mark(2.0, 2.6, QStringLiteral("free thought"));
    ASSERT_FALSE(v().markerListFits());
    EXPECT_TRUE(v().markerList->isHidden());
    ASSERT_TRUE(v().markersButton->isVisible());
    EXPECT_EQ(KeyboardFocus::isControl(v().markersButton), true);
    // It says what it opens, in full.
    EXPECT_FALSE(v().markersButton->text().isEmpty());
    EXPECT_GE(v().markersButton->width(), v().markersButton->sizeHint().width());

    click(centreOf(v().markersButton));
    ASSERT_TRUE(v().markerList->isVisible());
    // Whole, inside the screen, over the bottom panel, with the row to click.
    EXPECT_TRUE(screen->rect().contains(v().markerList->geometry()));
    EXPECT_GE(v().markerList->y(), v().editReversalView->y());
    EXPECT_EQ(screen->childAt(centreOf(v().markerList->viewport())), v().markerList->viewport());
    QTreeWidgetItem *row = v().markerList->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    const QRect rowRect = v().markerList->visualItemRect(row);
    click(v().markerList->viewport()->mapTo(screen.get(), rowRect.center()));
    EXPECT_TRUE(screen->engine().isPlaying());
    key(Qt::Key_Space);
    key(Qt::Key_Escape);
    EXPECT_TRUE(v().markerList->isHidden());
    EXPECT_FALSE(v().markersButton->isChecked());

    // 0.6 s is about 22 points wide here: the band shows its number, not "free t...".
    const QFontMetrics metrics(v().markerOverlay->font());
    MarkerOverlay::Band band{2.0, 2.6, QStringLiteral("free thought"), false, 1};
    EXPECT_EQ(MarkerOverlay::bandLabel(band, metrics, 22), QStringLiteral("1"));
    EXPECT_EQ(MarkerOverlay::bandLabel(band, metrics, 400), QStringLiteral("free thought"));
    EXPECT_EQ(MarkerOverlay::bandLabel(band, metrics, 2), QString());
}

TEST_F(Keyboard, TheSendingBubbleSitsBesideItsSignAndClosesLikeABubble)
{
    open(QSize(PlaybackView::kWidth, PlaybackView::kHeight));
    QToolButton *sign = screen->sharePanel().savedInfoButton;
    QLabel *bubble = v().infoText;
    const auto openBubble = [&] {
        click(centreOf(sign));
        ASSERT_TRUE(bubble->isVisible());
    };
    openBubble();
    // Above its "?", overlapping it sideways, whole (its text is not cut) and inside the screen.
    const QRect signRect(sign->mapTo(screen.get(), QPoint()), sign->size());
    EXPECT_LE(bubble->geometry().bottom(), signRect.top());
    EXPECT_GE(bubble->geometry().right(), signRect.left());
    EXPECT_TRUE(screen->rect().contains(bubble->geometry()));
    EXPECT_GE(bubble->height(), bubble->heightForWidth(bubble->width()));
    // The sign sits beside the send button it explains.
    const QWidget *send = screen->sharePanel().savedShareButton;
    EXPECT_LT(std::abs(sign->geometry().center().y() - send->geometry().center().y()), 4);

    key(Qt::Key_Escape);
    EXPECT_TRUE(bubble->isHidden());

    openBubble();
    click(centreOf(bubble)); // a press on the text keeps it
    EXPECT_TRUE(bubble->isVisible());
    ASSERT_FALSE(bubble->geometry().contains(centreOf(v().editTitleLabel)));
    click(centreOf(v().editTitleLabel));
    EXPECT_TRUE(bubble->isHidden()) << "a click elsewhere closes it";

    openBubble();
    click(centreOf(screen->sharePanel().closeInfoButton));
    EXPECT_TRUE(bubble->isHidden());
    openBubble();
    click(centreOf(sign));
    EXPECT_TRUE(bubble->isHidden()) << "its sign toggles it";
}

} // namespace
