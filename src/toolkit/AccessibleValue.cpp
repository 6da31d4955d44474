#include "toolkit/AccessibleValue.h"

#include "toolkit/AccessibleList.h"
#include "toolkit/SliderValueText.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace murmelo {

namespace {

class AccessibleValueWidget : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    AccessibleValueWidget(QWidget *widget, AccessibleValueSource *source)
        : QAccessibleWidget(widget, source->accessibleRole()), source_(source)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return source_->accessibleValueText();
        // The value in words is what a reader says after the name; the AT-SPI bridge passes no
        // value text of its own, so it is the description unless the widget has one.
        if (type == QAccessible::Description && widget()->accessibleDescription().isEmpty())
            return source_->accessibleValueText();
        return QAccessibleWidget::text(type);
    }

    QVariant currentValue() const override { return source_->accessibleValue(); }
    void setCurrentValue(const QVariant &value) override
    {
        source_->setAccessibleValue(value.toDouble());
    }
    QVariant maximumValue() const override { return source_->accessibleMaximum(); }
    QVariant minimumValue() const override { return source_->accessibleMinimum(); }
    QVariant minimumStepSize() const override { return source_->accessibleStep(); }

private:
    AccessibleValueSource *source_;
};

QAccessibleInterface *valueFactory(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (auto *source = dynamic_cast<AccessibleValueSource *>(widget))
        return new AccessibleValueWidget(widget, source);
    if (SliderValueText *text = SliderValueText::of(widget))
        return new AccessibleValueWidget(widget, text);
    if (auto *list = dynamic_cast<AccessibleListSource *>(widget))
        return makeAccessibleList(widget, list);
    return nullptr;
}

AccessibleValueAnnouncer::Sink g_sink = QAccessible::updateAccessibility;

} // namespace

void installAccessibleValueFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(valueFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

AccessibleValueAnnouncer::AccessibleValueAnnouncer(QWidget *widget)
    : QObject(widget), widget_(widget)
{
    quiet_.setSingleShot(true);
    quiet_.setInterval(kIntervalMs);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        if (!pending_)
            return;
        pending_ = false;
        announce();
    });
}

void AccessibleValueAnnouncer::setSinkForTesting(Sink sink)
{
    g_sink = sink ? sink : QAccessible::updateAccessibility;
}

void AccessibleValueAnnouncer::changed()
{
    // Qt drops the events itself while no screen reader listens; at a few a second they cost
    // nothing worth a check of our own.
    if (quiet_.isActive()) {
        pending_ = true;
        return;
    }
    announce();
}

void AccessibleValueAnnouncer::announce()
{
    if (!widget_)
        return;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget_);
    auto *value = iface ? iface->valueInterface() : nullptr;
    if (!value)
        return;
    QAccessibleValueChangeEvent valueChange(widget_, value->currentValue());
    g_sink(&valueChange);
    QAccessibleEvent description(widget_, QAccessible::DescriptionChanged);
    g_sink(&description);
    quiet_.start();
}

} // namespace murmelo
