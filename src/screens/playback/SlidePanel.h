#pragma once

#include <QObject>

class QPropertyAnimation;
class QWidget;

namespace murmelo {

// Moves a panel up from just below its parent's bottom edge until it rests on that edge, and
// back down out of sight, where it is hidden. Its horizontal place does not change.
class SlidePanel : public QObject {
    Q_OBJECT
public:
    static constexpr int kMilliseconds = 250;

    // Lives as long as the panel.
    explicit SlidePanel(QWidget *panel);

    void slideIn();
    void slideOut();
    // After the parent changed size: ends a running slide and puts the panel where it rests,
    // or out of sight when it is hidden.
    void settle();
    // The running slide, if any (tests may drive its clock).
    QPropertyAnimation *animation() const { return animation_; }

private:
    int restingY() const;
    int hiddenY() const;
    void slideTo(int y);

    QWidget *panel_;
    QPropertyAnimation *animation_;
    bool leaving_ = false;
};

} // namespace murmelo
