#pragma once

#include <QRectF>

class QLabel;
class QWidget;

namespace murmelo {

struct FoundMessageFrames {
    QRectF label;
    QRectF button;
};

// The found-message line: the label as wide as its text up to `maxWidth`, then label, a 10-point
// gap and the button (when shown) as one group centred on `centreX`. Origins' y and heights are
// kept.
FoundMessageFrames foundMessageFrames(const QRectF &label, const QRectF &button, double textWidth,
                                      bool buttonShown, double maxWidth = 216,
                                      double centreX = 160);

// Shows `message` on the label (cut with an ellipsis when wider than the maximum) and lays the
// line out, centred on the label's parent; the button is hidden when there is no message.
void layoutFoundMessage(QLabel *label, QWidget *button, const QString &message);

} // namespace murmelo
