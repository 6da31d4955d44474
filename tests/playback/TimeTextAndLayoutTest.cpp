#include "playback/TimeText.h"
#include "screens/playback/FoundMessageLayout.h"

#include <QLabel>
#include <QToolButton>
#include <gtest/gtest.h>
#include <limits>

using namespace murmelo;

TEST(TimeText, TruncatesToWholeSecondsAndCountsMinutesPastAnHour)
{
    EXPECT_EQ(timeText(0), "0:00");
    EXPECT_EQ(timeText(59.99), "0:59");
    EXPECT_EQ(timeText(60), "1:00");
    EXPECT_EQ(timeText(125.9), "2:05");
    EXPECT_EQ(timeText(3600), "60:00");
    EXPECT_EQ(timeText(-3), "0:00");
    EXPECT_EQ(timeText(std::numeric_limits<double>::quiet_NaN()), "0:00");
    EXPECT_EQ(timeText(std::numeric_limits<double>::infinity()), "0:00");
}

TEST(FoundMessageLayout, GroupOfLabelGapAndButtonIsCentredOnTheScreen)
{
    const QRectF label(52, 152, 216, 24);
    const QRectF button(0, 150, 24, 28);

    const auto shown = foundMessageFrames(label, button, 100, true);
    EXPECT_EQ(shown.label.width(), 100);
    EXPECT_EQ(shown.label.y(), 152);
    EXPECT_EQ(shown.label.height(), 24);
    EXPECT_EQ(shown.button.left(), shown.label.right() + 10);
    EXPECT_EQ(shown.button.center().y(), button.center().y());
    EXPECT_NEAR((shown.label.left() + shown.button.right()) / 2, 160, 0.5);

    const auto alone = foundMessageFrames(label, button, 100, false);
    EXPECT_EQ(alone.label.center().x(), 160);

    const auto cut = foundMessageFrames(label, button, 500, true);
    EXPECT_EQ(cut.label.width(), 216);
    EXPECT_EQ(cut.button.left(), cut.label.right() + 10);
}

TEST(FoundMessageLayout, LongMessageIsCutAndAnEmptyOneHidesTheButton)
{
    QWidget screen;
    screen.resize(320, 568);
    QLabel label(&screen);
    label.setGeometry(52, 152, 216, 24);
    QToolButton button(&screen);
    button.setGeometry(0, 152, 24, 24);

    const QString longMessage(200, QLatin1Char('w'));
    layoutFoundMessage(&label, &button, longMessage);
    EXPECT_EQ(label.width(), 216);
    EXPECT_EQ(button.x(), label.x() + label.width() + 10);
    EXPECT_FALSE(button.isHidden());
    EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), 216);
    EXPECT_EQ(label.toolTip(), longMessage);

    layoutFoundMessage(&label, &button, QString());
    EXPECT_TRUE(button.isHidden());
    EXPECT_TRUE(label.text().isEmpty());
    EXPECT_EQ(label.x() + label.width() / 2, 160);
}
