#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace murmelo {

class FocusRing;

// Keyboard use of every screen. The control that has the keyboard (a button, slider, input
// field or list) draws a clear ring around it, in the dark look's focus colour, wherever its
// screen's style sheet draws it without a border; Enter presses a focused button as Space does.
class KeyboardFocus : public QObject {
    Q_OBJECT
public:
    // A control's dynamic property: the corner radius of a round or pill-shaped control, which
    // the ring then follows.
    static constexpr const char *kRingRadius = "focusRingRadius";

    // Once per application; later calls do nothing.
    static void install();
    // The control the ring is drawn around; null while the keyboard is with no control.
    static QWidget *ringedControl();
    // Whether `widget` is a control that gets the ring.
    static bool isControl(const QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit KeyboardFocus(QObject *parent);
    void focusChanged(QWidget *now);
    void placeRing();

    QPointer<QWidget> control_;
    QPointer<FocusRing> ring_;
};

} // namespace murmelo
