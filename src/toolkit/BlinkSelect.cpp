#include "toolkit/BlinkSelect.h"

#include <QAbstractButton>
#include <QPointer>
#include <QTimer>

namespace murmelo {

namespace {
constexpr int kBlinkPeriodMs = 500;
constexpr char kDurationProperty[] = "murmeloBlinkDuration";
// Counts the started blinks so that a stop followed by a quick restart does not leave two
// toggles running at once.
constexpr char kGenerationProperty[] = "murmeloBlinkGeneration";
} // namespace

void blinkSelectWithDuration(QAbstractButton *button, double duration)
{
    button->setProperty(kDurationProperty, duration);
    button->setProperty(kGenerationProperty,
                        button->property(kGenerationProperty).toULongLong() + 1);
    blinkToggle(button);
}

void blinkToggle(QAbstractButton *button)
{
    if (button->property(kDurationProperty).toDouble() == 0.0) {
        button->setChecked(false);
        return;
    }
    button->setCheckable(true);
    button->setChecked(!button->isChecked());
    const auto generation = button->property(kGenerationProperty).toULongLong();
    QPointer<QAbstractButton> guarded(button);
    QTimer::singleShot(kBlinkPeriodMs, button, [guarded, generation] {
        if (guarded && guarded->property(kGenerationProperty).toULongLong() == generation)
            blinkToggle(guarded);
    });
}

void blinkSelectStop(QAbstractButton *button)
{
    button->setProperty(kDurationProperty, 0.0);
    blinkToggle(button);
}

} // namespace murmelo
