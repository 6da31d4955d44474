#include "toolkit/RangeSlider.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

using namespace murmelo;

namespace {

// A widget that sits behind the slider and remembers where it was pressed.
class PressRecorder : public QWidget {
public:
    using QWidget::QWidget;
    int presses = 0;
    QPointF lastPress;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        ++presses;
        lastPress = event->position();
    }
};

// The playback screen's slider: 234 x 16, so the travel is 202.
struct SliderOnScreen {
    QWidget screen;
    PressRecorder *behind;
    RangeSlider *slider;
    int valueChanges = 0;
    int touchUps = 0;

    SliderOnScreen()
    {
        screen.resize(320, 568);
        behind = new PressRecorder(&screen);
        behind->setGeometry(20, 80, 280, 56);
        slider = new RangeSlider(QRect(43, 100, 234, 16), &screen);
        QObject::connect(slider, &RangeSlider::valueChanged, [this] { ++valueChanges; });
        QObject::connect(slider, &RangeSlider::touchUpInside, [this] { ++touchUps; });
        screen.show();
    }

    // Positions are in the control's own points.
    void send(QEvent::Type type, QPointF point)
    {
        const QPointF local = point + QPointF(RangeSlider::kGrabMargin, RangeSlider::kGrabMargin);
        const QPointF global = slider->mapToGlobal(local);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, local, global, global, button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(slider, &event);
    }

    void drag(QPointF from, std::initializer_list<double> dxs)
    {
        send(QEvent::MouseButtonPress, from);
        QPointF at = from;
        for (double dx : dxs) {
            at.rx() += dx;
            send(QEvent::MouseMove, at);
        }
        send(QEvent::MouseButtonRelease, at);
    }

    QPointF centreOf(const QRectF &frame) const { return frame.center(); }
};

} // namespace

TEST(RangeSlider, StartsAtBothEndsWithTheControlFrameAndGrabMarginAroundIt)
{
    SliderOnScreen s;
    EXPECT_EQ(s.slider->controlFrame(), QRect(43, 100, 234, 16));
    EXPECT_EQ(s.slider->geometry(), QRect(27, 84, 266, 48));
    EXPECT_EQ(s.slider->min(), 0.0f);
    EXPECT_EQ(s.slider->max(), 1.0f);
    EXPECT_EQ(s.slider->minimumRangeLength(), 0.0f);
    EXPECT_EQ(s.slider->minThumbFrame(), QRectF(0, 0, 16, 16));
    EXPECT_EQ(s.slider->maxThumbFrame(), QRectF(218, 0, 16, 16));
}

TEST(RangeSlider, ResizingKeepsTheRangeAndDragsMeasureTheNewWidth)
{
    SliderOnScreen s;
    s.slider->setMin(0.25f);
    s.slider->setMax(0.5f);
    s.slider->setControlFrame(QRect(40, 100, 432, 16)); // travel 400
    EXPECT_EQ(s.slider->controlFrame(), QRect(40, 100, 432, 16));
    EXPECT_EQ(s.slider->min(), 0.25f);
    EXPECT_EQ(s.slider->max(), 0.5f);
    EXPECT_EQ(s.slider->minThumbFrame(), QRectF(100, 0, 16, 16));
    EXPECT_EQ(s.slider->maxThumbFrame(), QRectF(216, 0, 16, 16));
    EXPECT_EQ(s.slider->trackFrame().width(), 422);
    s.drag(s.centreOf(s.slider->maxThumbFrame()), {100});
    EXPECT_FLOAT_EQ(s.slider->max(), 0.75f);
}

TEST(RangeSlider, SettersPlaceThumbsClampValuesAndSendNoEvents)
{
    SliderOnScreen s;
    s.slider->setMin(0.5f);
    EXPECT_DOUBLE_EQ(s.slider->minThumbFrame().x(), 101);
    s.slider->setMax(1.0f);
    EXPECT_DOUBLE_EQ(s.slider->maxThumbFrame().x(), 218);
    // The highlighted range runs from the min thumb's centre to the max thumb's centre.
    EXPECT_DOUBLE_EQ(s.slider->inRangeTrackFrame().x(), 109);
    EXPECT_DOUBLE_EQ(s.slider->inRangeTrackFrame().width(), 117);

    s.slider->setMin(-0.5f);
    EXPECT_EQ(s.slider->min(), 0.0f);
    s.slider->setMax(2.0f);
    EXPECT_EQ(s.slider->max(), 1.0f);
    s.slider->setMinimumRangeLength(std::nanf(""));
    EXPECT_EQ(s.slider->minimumRangeLength(), 0.0f);
    EXPECT_EQ(s.valueChanges, 0);
    EXPECT_EQ(s.touchUps, 0);
}

TEST(RangeSlider, MaxBelowMinMovesTheMinThumbButKeepsItsValueUntilTheNextDrag)
{
    SliderOnScreen s;
    s.slider->setMinimumRangeLength(0.1f);
    s.slider->setMin(0.6f);
    s.slider->setMax(0.4f);
    EXPECT_NEAR(s.slider->maxThumbFrame().x(), 16 + 0.4 * 202, 1e-4);
    EXPECT_NEAR(s.slider->minThumbFrame().x(), 0.4 * 202 - 0.1 * 202, 1e-4);
    EXPECT_EQ(s.slider->min(), 0.6f);

    s.drag(s.centreOf(s.slider->maxThumbFrame()), {1});
    EXPECT_NEAR(s.slider->min(), 0.3f, 1e-5);
    EXPECT_EQ(s.valueChanges, 1);
}

TEST(RangeSlider, DraggingTheMinThumbStopsAtTheMinimumRangeAndPushesTheMaxThumb)
{
    SliderOnScreen s;
    s.slider->setMinimumRangeLength(0.25f);
    s.slider->setMax(0.5f);
    ASSERT_DOUBLE_EQ(s.slider->maxThumbFrame().x(), 117);

    s.drag(s.centreOf(s.slider->minThumbFrame()), {50, 300});
    EXPECT_DOUBLE_EQ(s.slider->minThumbFrame().x(), 151.5);
    EXPECT_DOUBLE_EQ(s.slider->maxThumbFrame().x(), 151.5 + 16 + 50.5);
    EXPECT_FLOAT_EQ(s.slider->min(), 0.75f);
    EXPECT_EQ(s.slider->max(), 1.0f);
    EXPECT_EQ(s.valueChanges, 2);
    EXPECT_EQ(s.touchUps, 1);
}

TEST(RangeSlider, ThumbsFollowThePointersMovementAndPushEachOtherBothWays)
{
    SliderOnScreen s;
    // Pressing off the thumb's centre must not make it jump under the pointer.
    s.drag(QPointF(4, 8), {30});
    EXPECT_DOUBLE_EQ(s.slider->minThumbFrame().x(), 30);
    EXPECT_FLOAT_EQ(s.slider->min(), 30.0f / 202);

    s.drag(s.centreOf(s.slider->maxThumbFrame()), {-300});
    EXPECT_DOUBLE_EQ(s.slider->maxThumbFrame().x(), 16);
    EXPECT_DOUBLE_EQ(s.slider->minThumbFrame().x(), 0);
    EXPECT_EQ(s.slider->min(), 0.0f);
    EXPECT_EQ(s.slider->max(), 0.0f);
    EXPECT_DOUBLE_EQ(s.slider->inRangeTrackFrame().x(), 8);
    EXPECT_DOUBLE_EQ(s.slider->inRangeTrackFrame().width(), 16);
}

TEST(RangeSlider, DragPastTheEndStopsThereAndADragThatChangesNothingSendsOnlyTouchUp)
{
    SliderOnScreen s;
    s.slider->setMax(0.9f);
    s.drag(s.centreOf(s.slider->maxThumbFrame()), {500});
    EXPECT_DOUBLE_EQ(s.slider->maxThumbFrame().x(), 234 - 16);
    EXPECT_EQ(s.slider->max(), 1.0f);
    EXPECT_EQ(s.valueChanges, 1);
    EXPECT_EQ(s.touchUps, 1);

    s.drag(s.centreOf(s.slider->maxThumbFrame()), {40, 10});
    s.drag(s.centreOf(s.slider->minThumbFrame()), {-40});
    EXPECT_EQ(s.valueChanges, 1);
    EXPECT_EQ(s.touchUps, 3);
}

TEST(RangeSlider, GrabsWithinSixteenPointsOfAThumbAndPassesOtherPressesBehind)
{
    SliderOnScreen s;
    s.slider->setMin(0.5f); // min thumb at 101..117
    const QRectF minThumb = s.slider->minThumbFrame();

    // 10 points above the thumb is outside the 16-point-high control, yet grabs the thumb.
    const QPointF above(minThumb.center().x(), minThumb.top() - 10);
    EXPECT_TRUE(s.slider->hitTest(above));
    s.drag(above, {10});
    EXPECT_DOUBLE_EQ(s.slider->minThumbFrame().x(), 111);
    EXPECT_EQ(s.behind->presses, 0);

    // 20 points to the left of it is not the control's: the widget behind gets the press.
    const QPointF left(s.slider->minThumbFrame().left() - 20, 8);
    EXPECT_FALSE(s.slider->hitTest(left));
    s.drag(left, {-30});
    EXPECT_EQ(s.behind->presses, 1);
    EXPECT_EQ(s.behind->lastPress, QPointF(43 + left.x() - 20, 100 + 8 - 80));
    EXPECT_DOUBLE_EQ(s.slider->minThumbFrame().x(), 111);
    EXPECT_EQ(s.touchUps, 1);

    // Where the grown frames overlap, the min thumb wins.
    s.slider->setMin(0);
    s.slider->setMax(0);
    s.drag(QPointF(16, 8), {20});
    EXPECT_DOUBLE_EQ(s.slider->minThumbFrame().x(), 20);

    s.slider->hide();
    EXPECT_FALSE(s.slider->hitTest(s.centreOf(s.slider->maxThumbFrame())));
}

TEST(RangeSlider, TrackImagesSetTheirFramesAndAreDrawnBetweenTheThumbs)
{
    SliderOnScreen s;
    QPixmap tall(10, 40);
    tall.fill(Qt::gray);
    s.slider->setTrackImage(tall);
    EXPECT_EQ(s.slider->trackFrame(), QRectF(5, 0, 224, 16));

    QPixmap thin(10, 4);
    thin.fill(Qt::red);
    s.slider->setTrackImage(thin);
    EXPECT_EQ(s.slider->trackFrame(), QRectF(5, 6, 224, 4));
    EXPECT_EQ(s.slider->inRangeTrackFrame().y(), 6);
    EXPECT_EQ(s.slider->inRangeTrackFrame().height(), 4);

    QPixmap range(12, 4);
    range.fill(Qt::blue);
    s.slider->setInRangeTrackImage(range);
    s.slider->setMin(0.25f);
    s.slider->setMax(0.75f);
    const QImage drawn = s.slider->grab().toImage();
    const auto at = [&](double x) {
        return drawn.pixelColor(int(x + RangeSlider::kGrabMargin),
                                int(RangeSlider::kGrabMargin + 7));
    };
    EXPECT_EQ(at(117), QColor(Qt::blue)); // inside the range, between the thumbs
    EXPECT_EQ(at(220), QColor(Qt::red));  // beyond the max thumb: the plain track
    EXPECT_NE(at(60), QColor(Qt::blue));  // the min thumb covers the range's start
}

TEST(RangeSlider, InvertedAppearanceMirrorsThumbsAndDragsButKeepsTheValues)
{
    SliderOnScreen s;
    s.slider->setMin(0.25f);
    s.slider->setMax(0.5f);
    const QRectF minBefore = s.slider->minThumbFrame();
    const QRectF maxBefore = s.slider->maxThumbFrame();
    s.slider->setInvertedAppearance(true);
    EXPECT_EQ(s.slider->min(), 0.25f);
    EXPECT_EQ(s.slider->max(), 0.5f);
    // Drawn mirrored across the control's width: min on the right, max on the left.
    EXPECT_DOUBLE_EQ(s.slider->minThumbFrame().left(), 234 - minBefore.right());
    EXPECT_DOUBLE_EQ(s.slider->maxThumbFrame().left(), 234 - maxBefore.right());
    EXPECT_LT(s.slider->maxThumbFrame().x(), s.slider->minThumbFrame().x());

    // The thumb drawn on the right is min: dragging it further right lowers min.
    s.drag(s.centreOf(s.slider->minThumbFrame()), {50.5});
    EXPECT_FLOAT_EQ(s.slider->min(), 0.0f);
    EXPECT_EQ(s.slider->max(), 0.5f);
    // Dragging max (on the left) to the left raises it.
    s.drag(s.centreOf(s.slider->maxThumbFrame()), {-50.5});
    EXPECT_FLOAT_EQ(s.slider->max(), 0.75f);
    EXPECT_EQ(s.valueChanges, 2);

    // A press between the thumbs still goes to what lies behind.
    const int before = s.behind->presses;
    const QRectF between = s.slider->maxThumbFrame().united(s.slider->minThumbFrame());
    s.send(QEvent::MouseButtonPress, QPointF(between.center().x(), 8));
    s.send(QEvent::MouseButtonRelease, QPointF(between.center().x(), 8));
    EXPECT_EQ(s.behind->presses, before + 1);
}
