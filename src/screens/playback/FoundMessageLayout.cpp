#include "screens/playback/FoundMessageLayout.h"

#include <QLabel>
#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {
constexpr double kGap = 10;
constexpr double kMaxWidth = 216;
} // namespace

FoundMessageFrames foundMessageFrames(const QRectF &label, const QRectF &button, double textWidth,
                                      bool buttonShown, double maxWidth, double centreX)
{
    const double width = std::min(std::ceil(textWidth), maxWidth);
    const double half = buttonShown ? (button.width() + kGap) / 2 : 0;
    QRectF placedLabel(0, label.y(), width, label.height());
    placedLabel.moveCenter(QPointF(centreX - half, label.center().y()));
    // Whole points, so that the gap to the button stays exactly 10 on screen.
    placedLabel.moveLeft(std::round(placedLabel.left()));
    QRectF placedButton = button;
    placedButton.moveCenter(
        QPointF(placedLabel.right() + kGap + button.width() / 2, button.center().y()));
    return {placedLabel, placedButton};
}

void layoutFoundMessage(QLabel *label, QWidget *button, const QString &message)
{
    const bool shown = !message.isEmpty();
    button->setHidden(!shown);
    const QFontMetrics metrics(label->font());
    const int margins =
        label->contentsMargins().left() + label->contentsMargins().right() + 2 * label->margin();
    const double textWidth = metrics.horizontalAdvance(message) + margins;
    label->setText(metrics.elidedText(message, Qt::ElideRight, int(kMaxWidth) - margins));
    label->setToolTip(textWidth > kMaxWidth ? message : QString());
    // The group stays centred on the screen, however wide the screen is.
    const double centreX = label->parentWidget() ? label->parentWidget()->width() / 2.0 : 160;
    const auto frames = foundMessageFrames(label->geometry(), button->geometry(), textWidth, shown,
                                           kMaxWidth, centreX);
    label->setGeometry(frames.label.toRect());
    button->setGeometry(frames.button.toRect());
}

} // namespace murmelo
