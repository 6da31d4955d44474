#include "screens/playback/MarkerOverlay.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace murmelo {

namespace {
const QColor kBand(90, 170, 255, 60);
const QColor kSelectedBand(90, 170, 255, 110);
const QColor kEdge(120, 190, 255);
const QColor kDraft(232, 162, 59, 70);
constexpr int kTextMargin = 3;
} // namespace

MarkerOverlay::MarkerOverlay(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void MarkerOverlay::setTimeline(const WaveformTimeline &timeline)
{
    timeline_ = timeline;
    update();
}

void MarkerOverlay::setBands(const QList<Band> &bands)
{
    bands_ = bands;
    update();
}

void MarkerOverlay::setPendingStart(std::optional<double> seconds)
{
    pendingStart_ = seconds;
    update();
}

void MarkerOverlay::setDraft(std::optional<Band> draft)
{
    draft_ = std::move(draft);
    update();
}

QRectF MarkerOverlay::rectOf(const Band &band) const
{
    const double a = timeline_.xOf(band.from, width());
    const double b = timeline_.xOf(band.to, width());
    const QRectF whole(QPointF(std::min(a, b), 0), QPointF(std::max(a, b), height()));
    const QRectF shown = whole & QRectF(rect());
    // A stretch narrower than a point is still seen.
    if (shown.isEmpty() && whole.right() >= 0 && whole.left() <= width())
        return QRectF(std::clamp(whole.left(), 0.0, double(width()) - 1), 0, 1, height());
    return shown;
}

QString MarkerOverlay::bandLabel(const Band &band, const QFontMetrics &metrics, int room)
{
    if (!band.text.isEmpty() && metrics.horizontalAdvance(band.text) <= room)
        return band.text;
    const QString number = band.number > 0 ? QString::number(band.number) : QString();
    return !number.isEmpty() && metrics.horizontalAdvance(number) <= room ? number : QString();
}

QList<QRectF> MarkerOverlay::bandRects() const
{
    QList<QRectF> rects;
    for (const Band &band : bands_)
        rects << rectOf(band);
    return rects;
}

void MarkerOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QFont small = font();
    small.setPixelSize(11);
    painter.setFont(small);
    const QFontMetrics metrics(small);
    for (const Band &band : bands_) {
        const QRectF r = rectOf(band);
        if (r.isEmpty())
            continue;
        painter.fillRect(r, band.selected ? kSelectedBand : kBand);
        painter.setPen(kEdge);
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.drawLine(r.topRight(), r.bottomRight());
        // The whole text, or where it does not fit the marker's number in the list: never a
        // word cut short.
        const int room = int(r.width()) - 2 * kTextMargin;
        const QString label = bandLabel(band, metrics, room);
        if (!label.isEmpty()) {
            const QRectF textRect(r.left() + kTextMargin, 1, metrics.horizontalAdvance(label),
                                  metrics.height());
            painter.fillRect(textRect.adjusted(-2, 0, 2, 0), QColor(21, 23, 28, 170));
            painter.setPen(Qt::white);
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, label);
        }
    }
    if (draft_) {
        const QRectF r = rectOf(*draft_);
        painter.fillRect(r, kDraft);
    }
    if (pendingStart_ && timeline_.isVisible(*pendingStart_)) {
        const double x = timeline_.xOf(*pendingStart_, width());
        painter.setPen(QPen(kEdge, 1, Qt::DashLine));
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
}

} // namespace murmelo
