#include "screens/playback/SlidePanel.h"

#include <QPropertyAnimation>
#include <QWidget>

namespace murmelo {

SlidePanel::SlidePanel(QWidget *panel)
    : QObject(panel), panel_(panel), animation_(new QPropertyAnimation(panel, "pos", this))
{
    animation_->setDuration(kMilliseconds);
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
    connect(animation_, &QPropertyAnimation::finished, this, [this] {
        if (panel_->y() >= hiddenY())
            panel_->hide();
    });
}

int SlidePanel::restingY() const
{
    return panel_->parentWidget()->height() - panel_->height();
}

int SlidePanel::hiddenY() const
{
    return panel_->parentWidget()->height();
}

void SlidePanel::slideIn()
{
    animation_->stop();
    panel_->move(panel_->x(), hiddenY());
    panel_->show();
    panel_->raise();
    leaving_ = false;
    slideTo(restingY());
}

void SlidePanel::slideOut()
{
    if (panel_->isHidden())
        return;
    animation_->stop();
    leaving_ = true;
    slideTo(hiddenY());
}

void SlidePanel::settle()
{
    if (animation_->state() == QAbstractAnimation::Running) {
        animation_->stop();
        if (leaving_)
            panel_->hide();
    }
    panel_->move(panel_->x(), panel_->isHidden() ? hiddenY() : restingY());
}

void SlidePanel::slideTo(int y)
{
    animation_->setStartValue(panel_->pos());
    animation_->setEndValue(QPoint(panel_->x(), y));
    animation_->start();
}

} // namespace murmelo
