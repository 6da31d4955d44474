#include "toolkit/SliderValueText.h"

#include <QAbstractSlider>

namespace murmelo {

SliderValueText::SliderValueText(QAbstractSlider *slider, std::function<QString()> text)
    : QObject(slider), slider_(slider), text_(std::move(text)),
      announcer_(new AccessibleValueAnnouncer(slider))
{
    setObjectName(QStringLiteral("sliderValueText"));
    connect(slider, &QAbstractSlider::valueChanged, this, &SliderValueText::changed);
}

void SliderValueText::changed()
{
    const QString text = text_();
    if (text == told_)
        return;
    told_ = text;
    announcer_->changed();
}

void SliderValueText::describe(QAbstractSlider *slider, std::function<QString()> text)
{
    if (SliderValueText *given = of(slider)) {
        given->text_ = std::move(text);
        return;
    }
    // Setting up a slider can already have made its plain interface (a value change while a
    // reader listens); cached, it would keep answering for the slider.
    if (QAccessibleInterface *plain = QAccessible::queryAccessibleInterface(slider))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(plain));
    new SliderValueText(slider, std::move(text));
}

SliderValueText *SliderValueText::of(const QObject *slider)
{
    if (!qobject_cast<const QAbstractSlider *>(slider))
        return nullptr;
    return slider->findChild<SliderValueText *>(QStringLiteral("sliderValueText"),
                                                Qt::FindDirectChildrenOnly);
}

double SliderValueText::accessibleValue() const
{
    return slider_->value();
}

double SliderValueText::accessibleMinimum() const
{
    return slider_->minimum();
}

double SliderValueText::accessibleMaximum() const
{
    return slider_->maximum();
}

double SliderValueText::accessibleStep() const
{
    return slider_->singleStep();
}

void SliderValueText::setAccessibleValue(double value)
{
    slider_->setValue(qRound(value));
}

} // namespace murmelo
