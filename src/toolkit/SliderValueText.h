#pragma once

#include "toolkit/AccessibleValue.h"

#include <QObject>
#include <functional>

class QAbstractSlider;

namespace murmelo {

// Gives a slider a value that screen readers read in words (a position as "0:12.3 of 0:45.0,
// reversed" rather than the slider's number), and tells them of its changes a few times a
// second.
class SliderValueText : public QObject, public AccessibleValueSource {
public:
    static void describe(QAbstractSlider *slider, std::function<QString()> text);
    // The description a slider was given; null for none.
    static SliderValueText *of(const QObject *slider);

    // The value or its text may have changed (a slider set with its signals blocked, the
    // direction of play): readers are told when the text did.
    void changed();

    QAccessible::Role accessibleRole() const override { return QAccessible::Slider; }
    double accessibleValue() const override;
    double accessibleMinimum() const override;
    double accessibleMaximum() const override;
    double accessibleStep() const override;
    QString accessibleValueText() const override { return text_(); }
    void setAccessibleValue(double value) override;

private:
    SliderValueText(QAbstractSlider *slider, std::function<QString()> text);

    QAbstractSlider *slider_;
    std::function<QString()> text_;
    AccessibleValueAnnouncer *announcer_;
    QString told_;
};

} // namespace murmelo
