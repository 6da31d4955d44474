#include "toolkit/AccessibleValue.h"
#include "toolkit/RangeSlider.h"
#include "toolkit/SliderValueText.h"

#include <QAccessible>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

using namespace murmelo;

namespace {

std::vector<QAccessible::Event> g_events;

void recordEvent(QAccessibleEvent *event)
{
    g_events.push_back(event->type());
}

long countOf(QAccessible::Event type)
{
    return std::count(g_events.begin(), g_events.end(), type);
}

// Screen-reader events go to a recorder instead of a bridge while a test runs.
struct ScreenReaderListening : ::testing::Test {
    void SetUp() override
    {
        installAccessibleValueFactory();
        g_events.clear();
        AccessibleValueAnnouncer::setSinkForTesting(recordEvent);
    }
    void TearDown() override { AccessibleValueAnnouncer::setSinkForTesting(nullptr); }
};

struct CropSlider {
    QWidget screen;
    RangeSlider *slider;
    CropSlider() : slider(new RangeSlider(QRect(43, 100, 234, 16), &screen))
    {
        screen.resize(320, 568);
    }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(slider, key, modifiers);
    }
};

} // namespace

TEST_F(ScreenReaderListening, RangeSliderIsASliderWithItsRangeInWords)
{
    CropSlider crop;
    crop.slider->setMin(0.25f);
    crop.slider->setMax(0.5f);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(crop.slider);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Slider);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Range"));
    EXPECT_EQ(iface->text(QAccessible::Value), QStringLiteral("from 25 % to 50 %"));
    // The AT-SPI bridge passes no value text, so readers find it in the description.
    EXPECT_EQ(iface->text(QAccessible::Description), QStringLiteral("from 25 % to 50 %"));
    ASSERT_NE(iface->valueInterface(), nullptr);
    EXPECT_FLOAT_EQ(iface->valueInterface()->currentValue().toFloat(), 0.25f);

    crop.slider->setAccessibleValueText(
        [](float min, float max) { return QStringLiteral("%1-%2").arg(min).arg(max); });
    EXPECT_EQ(iface->text(QAccessible::Value), QStringLiteral("0.25-0.5"));
}

TEST_F(ScreenReaderListening, ArrowKeysMoveTheThumbsAsDrawnAndAreAnnounced)
{
    CropSlider crop;
    int touchUps = 0;
    QObject::connect(crop.slider, &RangeSlider::touchUpInside, [&] { ++touchUps; });
    crop.press(Qt::Key_Right);
    EXPECT_NEAR(crop.slider->min(), 0.01, 1e-4);
    EXPECT_FLOAT_EQ(crop.slider->max(), 1.0f);
    crop.press(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_NEAR(crop.slider->max(), 0.99, 1e-4);
    EXPECT_EQ(touchUps, 2);
    EXPECT_GE(countOf(QAccessible::ValueChanged), 1);

    // Mirrored, Left walks towards the end of the range.
    crop.slider->setMin(0.5f);
    crop.slider->setInvertedAppearance(true);
    crop.press(Qt::Key_Left);
    EXPECT_NEAR(crop.slider->min(), 0.51, 1e-4);
    // The thumbs never pass each other, and other keys are left to the screen.
    crop.slider->setMin(0.2f);
    crop.slider->setMax(0.2f);
    crop.slider->setInvertedAppearance(false);
    crop.press(Qt::Key_Right);
    EXPECT_LE(crop.slider->min(), crop.slider->max());
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    space.setAccepted(true);
    QCoreApplication::sendEvent(crop.slider, &space);
    EXPECT_FALSE(space.isAccepted());
}

TEST_F(ScreenReaderListening, AnnouncerTellsAFewChangesASecondAndAlwaysTheLast)
{
    QWidget host;
    RangeSlider *slider = new RangeSlider(QRect(0, 0, 200, 16), &host);
    AccessibleValueAnnouncer announcer(slider);
    for (int i = 0; i < 30; ++i)
        announcer.changed();
    // The first is told at once; the rest wait for the quiet interval and go as one.
    EXPECT_EQ(countOf(QAccessible::ValueChanged), 1);
    EXPECT_TRUE(QTest::qWaitFor([] { return countOf(QAccessible::ValueChanged) == 2; }, 2000));
    QTest::qWait(AccessibleValueAnnouncer::kIntervalMs * 2);
    EXPECT_EQ(countOf(QAccessible::ValueChanged), 2);
    EXPECT_EQ(countOf(QAccessible::DescriptionChanged), 2);
}

TEST_F(ScreenReaderListening, DescribedSliderReadsItsValueInWordsAndTellsOnlyChanges)
{
    QWidget host;
    auto *slider = new QSlider(Qt::Horizontal, &host);
    slider->setRange(0, 450);
    // An interface made before the description must not keep answering for the slider.
    ASSERT_NE(QAccessible::queryAccessibleInterface(slider), nullptr);
    QString text = QStringLiteral("0:00.0 of 0:45.0");
    SliderValueText::describe(slider, [&] { return text; });
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(slider);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Slider);
    EXPECT_EQ(iface->text(QAccessible::Description), text);
    ASSERT_NE(iface->valueInterface(), nullptr);
    EXPECT_EQ(iface->valueInterface()->maximumValue().toInt(), 450);

    // Set with its signals blocked, as a playing screen sets it: told once per new text.
    {
        const QSignalBlocker blocker(slider);
        slider->setValue(123);
    }
    text = QStringLiteral("0:12.3 of 0:45.0, reversed");
    SliderValueText::of(slider)->changed();
    SliderValueText::of(slider)->changed();
    EXPECT_EQ(countOf(QAccessible::ValueChanged), 1);
    EXPECT_EQ(iface->valueInterface()->currentValue().toInt(), 123);
    EXPECT_EQ(iface->text(QAccessible::Description), text);
    // A reader setting the value moves the slider.
    iface->valueInterface()->setCurrentValue(200);
    EXPECT_EQ(slider->value(), 200);
}
