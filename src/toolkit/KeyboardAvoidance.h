#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <optional>

class QPropertyAnimation;
class QWidget;

namespace murmelo {

// Which way the interface is turned; the numbering is the one keyboard geometry is given in.
enum class InterfaceOrientation {
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeRight = 3, // home button on the right
    LandscapeLeft = 4,  // home button on the left
};

// How far the window must move so that the responder's edge nearest the keyboard meets the
// keyboard's edge. Both rectangles are in the same coordinates, the responder measured with the
// window at rest. No value when they do not overlap (the window should rest); an empty keyboard
// rectangle overlaps nothing.
std::optional<QPointF> keyboardOffset(const QRectF &responderAtRest, const QRectF &keyboard,
                                      InterfaceOrientation orientation);

// Keeps the focused text input of a window clear of an on-screen keyboard by moving the window
// (on the desktop: the top-level's content widget, moved inside the top-level window) just far
// enough, and back to rest when the keyboard goes. Attached to the widget it moves.
class KeyboardAvoidance : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnimationMilliseconds = 250;

    // The avoidance attached to this widget, created on first use; it lives as long as the widget.
    static KeyboardAvoidance &of(QWidget *window);

    // Follows the platform's on-screen keyboard (and focus changes while it is up).
    void enableAutoTextFieldShowing();
    // Stops following it and returns the window to rest.
    void disableAutoTextFieldShowing();

    // The keyboard's final frame, in the coordinates the window is positioned in (its parent's,
    // or the screen's for a top-level window).
    void keyboardWillShow(const QRectF &keyboardFrame);
    void keyboardWillHide();

    // How far the window is shifted from rest; no value while it rests.
    std::optional<QPointF> offset() const { return offset_; }

private:
    explicit KeyboardAvoidance(QWidget *window);
    void followInputMethod();
    QPoint modelPosition() const;
    void animateTo(const QPoint &position);

    QWidget *window_;
    QPointer<QPropertyAnimation> animation_;
    std::optional<QPointF> offset_;
    QList<QMetaObject::Connection> connections_;
};

// Depth-first search for the widget with keyboard focus: the view itself, else its child widgets
// in order. Null when focus is elsewhere.
QWidget *findFirstResponder(QWidget *view);

} // namespace murmelo
