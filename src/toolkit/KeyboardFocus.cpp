#include "toolkit/KeyboardFocus.h"

#include "toolkit/Theme.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace murmelo {

namespace {
// Outside the control's frame, so it shows whatever the control draws itself.
constexpr int kRingMargin = 3;
constexpr int kRingWidth = 2;
constexpr double kPlainRadius = 7; // around a control with square corners

KeyboardFocus *installed = nullptr;
} // namespace

// A picture only: the mouse goes through it to what lies below.
class FocusRing : public QWidget {
public:
    explicit FocusRing(QWidget *parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("focusRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }
    void setRadius(double radius)
    {
        radius_ = radius;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::focusRing, kRingWidth));
        painter.setBrush(Qt::NoBrush);
        const double inset = kRingWidth / 2.0;
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius_,
                                radius_);
    }

private:
    double radius_ = kPlainRadius;
};

KeyboardFocus::KeyboardFocus(QObject *parent) : QObject(parent)
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    connect(app, &QApplication::focusChanged, this,
            [this](QWidget *, QWidget *now) { focusChanged(now); });
    app->installEventFilter(this);
    focusChanged(QApplication::focusWidget());
}

void KeyboardFocus::install()
{
    if (installed || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    installed = new KeyboardFocus(QCoreApplication::instance());
}

QWidget *KeyboardFocus::ringedControl()
{
    return installed && installed->ring_ && installed->ring_->isVisible() ? installed->control_
                                                                          : nullptr;
}

bool KeyboardFocus::isControl(const QWidget *widget)
{
    if (!widget || widget->isWindow() || !(widget->focusPolicy() & Qt::TabFocus))
        return false;
    return qobject_cast<const QAbstractButton *>(widget) ||
           qobject_cast<const QAbstractSlider *>(widget) ||
           qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QTextEdit *>(widget) ||
           qobject_cast<const QPlainTextEdit *>(widget) ||
           qobject_cast<const QAbstractItemView *>(widget) ||
           qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget);
}

void KeyboardFocus::focusChanged(QWidget *now)
{
    if (control_)
        control_->removeEventFilter(this);
    control_ = isControl(now) ? now : nullptr;
    if (control_)
        control_->installEventFilter(this);
    placeRing();
}

void KeyboardFocus::placeRing()
{
    QWidget *parent = control_ ? control_->parentWidget() : nullptr;
    if (!parent) {
        if (ring_)
            ring_->hide();
        return;
    }
    if (!ring_) {
        ring_ = new FocusRing(parent);
    } else if (ring_->parentWidget() != parent) {
        ring_->setParent(parent);
    }
    ring_->setGeometry(
        control_->geometry().adjusted(-kRingMargin, -kRingMargin, kRingMargin, kRingMargin));
    const QVariant radius = control_->property(kRingRadius);
    ring_->setRadius(radius.isValid() ? radius.toDouble() + kRingMargin : kPlainRadius);
    ring_->setVisible(control_->isVisible());
    ring_->raise();
    ring_->update();
}

bool KeyboardFocus::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == control_) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ParentChange:
            placeRing();
            return false;
        default:
            break;
        }
    }
    // Enter presses the focused button, as Space does, on every screen and in every dialog.
    if (event->type() == QEvent::KeyPress) {
        auto *button = qobject_cast<QAbstractButton *>(watched);
        const auto *key = static_cast<QKeyEvent *>(event);
        if (button && button->hasFocus() && button->isEnabled() && !key->isAutoRepeat() &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier)) {
            button->animateClick();
            return true;
        }
    }
    return false;
}

} // namespace murmelo
