#include "screens/record/ProgressOverlay.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace murmelo {

ProgressOverlay::ProgressOverlay(QWidget *parent)
    : QWidget(parent), label_(new QLabel(this)), bar_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this))
{
    setObjectName(QStringLiteral("progressView"));
    label_->setObjectName(QStringLiteral("progressLabel"));
    label_->setAlignment(Qt::AlignCenter);
    label_->setStyleSheet(QStringLiteral("color: white; font-size: 16px;"));
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    bar_->setFixedWidth(200);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    cancel_->setShortcut(Qt::Key_Escape);
    connect(cancel_, &QPushButton::clicked, this, &ProgressOverlay::cancelClicked);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(label_, 0, Qt::AlignHCenter);
    layout->addWidget(bar_, 0, Qt::AlignHCenter);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    layout->addStretch();

    // Follows its parent's size so that it always covers the whole screen.
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

void ProgressOverlay::setFraction(double fraction)
{
    if (fraction < 0) {
        bar_->setRange(0, 0); // busy indicator
        return;
    }
    bar_->setRange(0, 1000);
    bar_->setValue(int(std::clamp(fraction, 0.0, 1.0) * 1000));
}

void ProgressOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 170));
}

bool ProgressOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

} // namespace murmelo
