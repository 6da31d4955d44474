#include "toolkit/KeyboardAvoidance.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QPropertyAnimation>
#include <QWidget>

namespace murmelo {

std::optional<QPointF> keyboardOffset(const QRectF &responderAtRest, const QRectF &keyboard,
                                      InterfaceOrientation orientation)
{
    const QRectF &r = responderAtRest;
    const QRectF &k = keyboard;
    if (k.isEmpty() || !r.intersects(k))
        return std::nullopt;
    switch (orientation) {
    case InterfaceOrientation::PortraitUpsideDown:
        return QPointF(0, k.bottom() - r.top());
    case InterfaceOrientation::LandscapeRight:
        return QPointF(k.right() - r.left(), 0);
    case InterfaceOrientation::LandscapeLeft:
        return QPointF(k.left() - r.right(), 0);
    case InterfaceOrientation::Portrait:
        break;
    }
    return QPointF(0, k.top() - r.bottom());
}

KeyboardAvoidance::KeyboardAvoidance(QWidget *window) : QObject(window), window_(window) {}

KeyboardAvoidance &KeyboardAvoidance::of(QWidget *window)
{
    auto *existing = window->findChild<KeyboardAvoidance *>(QString(), Qt::FindDirectChildrenOnly);
    return existing ? *existing : *new KeyboardAvoidance(window);
}

void KeyboardAvoidance::enableAutoTextFieldShowing()
{
    if (!connections_.isEmpty())
        return;
    QInputMethod *im = QGuiApplication::inputMethod();
    connections_ << connect(im, &QInputMethod::keyboardRectangleChanged, this,
                            &KeyboardAvoidance::followInputMethod)
                 << connect(im, &QInputMethod::visibleChanged, this,
                            &KeyboardAvoidance::followInputMethod)
                 // Moving to another field under a keyboard that stays up is a new show.
                 << connect(qApp, &QGuiApplication::focusObjectChanged, this,
                            &KeyboardAvoidance::followInputMethod);
}

void KeyboardAvoidance::disableAutoTextFieldShowing()
{
    for (const auto &connection : std::as_const(connections_))
        disconnect(connection);
    connections_.clear();
    keyboardWillHide();
}

void KeyboardAvoidance::followInputMethod()
{
    QInputMethod *im = QGuiApplication::inputMethod();
    const QRectF keyboard = im->keyboardRectangle();
    if (!im->isVisible() || keyboard.isEmpty()) {
        keyboardWillHide();
        return;
    }
    // Qt gives the keyboard in the coordinates of the top-level window; the window we move is
    // positioned in its parent's (or, for a top-level, the screen's).
    QWidget *top = window_->window();
    QRectF inContainer(top->mapToGlobal(keyboard.topLeft()), keyboard.size());
    if (QWidget *container = window_->parentWidget())
        inContainer.moveTopLeft(container->mapFromGlobal(inContainer.topLeft()));
    // Qt's window coordinates already follow the screen's rotation, so the keyboard is always
    // at the bottom of them.
    keyboardWillShow(inContainer);
}

QPoint KeyboardAvoidance::modelPosition() const
{
    // Mid-animation the window is already committed to where the animation ends.
    if (animation_ && animation_->state() == QAbstractAnimation::Running)
        return animation_->endValue().toPoint();
    return window_->pos();
}

void KeyboardAvoidance::keyboardWillShow(const QRectF &keyboardFrame)
{
    QWidget *responder = findFirstResponder(window_);
    if (!responder) {
        keyboardWillHide();
        return;
    }
    const QPointF stored = offset_.value_or(QPointF());
    const QPointF rest = QPointF(modelPosition()) - stored;
    // Measured as if the window were at rest, so that successive shows never accumulate.
    const QPointF inWindow = responder->mapTo(window_, QPointF(0, 0));
    // A top-level window is positioned by its frame, its contents start inside the frame.
    const QPointF windowOrigin =
        rest + QPointF(window_->geometry().topLeft()) - QPointF(window_->pos());
    const QRectF atRest(windowOrigin + inWindow, QSizeF(responder->size()));
    const auto offset = keyboardOffset(atRest, keyboardFrame, InterfaceOrientation::Portrait);
    if (!offset) {
        keyboardWillHide();
        return;
    }
    animateTo((rest + *offset).toPoint());
    offset_ = *offset;
}

void KeyboardAvoidance::keyboardWillHide()
{
    if (!offset_)
        return;
    animateTo((QPointF(modelPosition()) - *offset_).toPoint());
    offset_.reset();
}

void KeyboardAvoidance::animateTo(const QPoint &position)
{
    if (animation_)
        animation_->stop();
    else
        animation_ = new QPropertyAnimation(window_, "pos", this);
    animation_->setDuration(kAnimationMilliseconds);
    animation_->setStartValue(window_->pos());
    animation_->setEndValue(position);
    animation_->start();
}

QWidget *findFirstResponder(QWidget *view)
{
    if (!view)
        return nullptr;
    if (view->hasFocus())
        return view;
    for (QObject *child : view->children()) {
        if (auto *widget = qobject_cast<QWidget *>(child)) {
            if (QWidget *found = findFirstResponder(widget))
                return found;
        }
    }
    return nullptr;
}

} // namespace murmelo
