#include "toolkit/RangeSlider.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace murmelo {
namespace {

constexpr double H = RangeSlider::kHeight;
constexpr double M = RangeSlider::kGrabMargin;

float clampedUnit(float value)
{
    // Written so that NaN falls into the first branch.
    if (!(value > 0))
        return 0;
    return std::min(value, 1.0f);
}

// Draws an image whose edges keep their size while one middle column and one middle row stretch
// to fill the target, the way a slider's highlighted range keeps its rounded ends.
void drawStretchable(QPainter &painter, const QPixmap &image, const QRectF &target, int leftCap,
                     int topCap)
{
    const int w = image.width();
    const int h = image.height();
    if (w == 0 || h == 0 || target.isEmpty())
        return;
    leftCap = std::clamp(leftCap, 0, w - 1);
    topCap = std::clamp(topCap, 0, h - 1);
    const int rightCap = w - leftCap - 1;
    const int bottomCap = h - topCap - 1;
    // A target narrower than both caps squeezes the caps rather than drawing past its edges.
    const double sx = std::min(1.0, target.width() / std::max(1, leftCap + rightCap));
    const double sy = std::min(1.0, target.height() / std::max(1, topCap + bottomCap));
    const double xs[] = {target.left(), target.left() + leftCap * sx,
                         target.right() - rightCap * sx, target.right()};
    const double ys[] = {target.top(), target.top() + topCap * sy, target.bottom() - bottomCap * sy,
                         target.bottom()};
    const int sxs[] = {0, leftCap, leftCap + 1, w};
    const int sys[] = {0, topCap, topCap + 1, h};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF to(QPointF(xs[col], ys[row]), QPointF(xs[col + 1], ys[row + 1]));
            const QRectF from(QPointF(sxs[col], sys[row]), QPointF(sxs[col + 1], sys[row + 1]));
            if (to.width() > 0 && to.height() > 0 && from.width() > 0 && from.height() > 0)
                painter.drawPixmap(to, image, from);
        }
    }
}

} // namespace

RangeSlider::RangeSlider(const QRect &frame, QWidget *parent)
    : QWidget(parent), width_(frame.width()), announcer_(new AccessibleValueAnnouncer(this))
{
    setAccessibleName(tr("Range"));
    setFocusPolicy(Qt::TabFocus);
    setGeometry(QRect(frame.x(), frame.y(), frame.width(), int(H))
                    .adjusted(-int(M), -int(M), int(M), int(M)));
    track_ = QRectF(5, 0, width_ - 10, 16);
    inRangeTrack_ = QRectF(min_ * width_, 0, (max_ - min_) * width_, 16);
    minThumb_ = QRectF(min_ * width_, (16 - H) / 2, H, H);
    maxThumb_ = QRectF(max_ * (width_ - H), (16 - H) / 2, H, H);
    updateTrackImageViews();

    // Start-up gives the application's own images; until then the control draws its own.
    setTrackImage(defaultTrackImage());
    setInRangeTrackImage(defaultInRangeTrackImage());
    setMinThumbImage(defaultThumbImage());
    setMaxThumbImage(defaultThumbImage());
}

QRect RangeSlider::controlFrame() const
{
    return geometry().adjusted(int(M), int(M), -int(M), -int(M));
}

void RangeSlider::setControlFrame(const QRect &frame)
{
    width_ = frame.width();
    setGeometry(QRect(frame.x(), frame.y(), frame.width(), int(H))
                    .adjusted(-int(M), -int(M), int(M), int(M)));
    track_.setWidth(width_ - 10);
    updateThumbViews();
    updateTrackImageViews();
}

void RangeSlider::setMin(float value)
{
    min_ = clampedUnit(value);
    updateThumbViews();
    updateTrackImageViews();
}

void RangeSlider::setMax(float value)
{
    max_ = clampedUnit(value);
    updateThumbViews();
    updateTrackImageViews();
}

void RangeSlider::setMinimumRangeLength(float value)
{
    minimumRangeLength_ = clampedUnit(value);
    updateThumbViews();
    updateTrackImageViews();
}

void RangeSlider::setInvertedAppearance(bool inverted)
{
    if (inverted == inverted_)
        return;
    inverted_ = inverted;
    update();
}

QRectF RangeSlider::shown(const QRectF &frame) const
{
    if (!inverted_)
        return frame;
    return QRectF(width_ - frame.right(), frame.y(), frame.width(), frame.height());
}

QPointF RangeSlider::shown(const QPointF &point) const
{
    return inverted_ ? QPointF(width_ - point.x(), point.y()) : point;
}

void RangeSlider::setMinThumbImage(const QPixmap &image)
{
    minThumbImage_ = image;
    update();
}

void RangeSlider::setMaxThumbImage(const QPixmap &image)
{
    maxThumbImage_ = image;
    update();
}

void RangeSlider::setTrackImage(const QPixmap &image)
{
    const double imageHeight = image.height();
    track_ = QRectF(5, std::max(0.0, (H - imageHeight) / 2), width_ - 10, std::min(H, imageHeight));
    trackImage_ = image;
    inRangeTrack_.setY(track_.y());
    inRangeTrack_.setHeight(track_.height());
    update();
}

void RangeSlider::setInRangeTrackImage(const QPixmap &image)
{
    inRangeTrack_.setY(track_.y());
    inRangeTrack_.setHeight(track_.height());
    inRangeTrackImage_ = image;
    inRangeLeftCap_ = image.width() / 2 - 2;
    inRangeTopCap_ = image.height() - 2;
    update();
}

bool RangeSlider::hitTest(const QPointF &point) const
{
    if (isHidden())
        return false;
    const QPointF unmirrored = shown(point);
    return grown(maxThumb_).contains(unmirrored) || grown(minThumb_).contains(unmirrored);
}

QRectF RangeSlider::grown(const QRectF &frame)
{
    return frame.adjusted(-M, -M, M, M);
}

QPointF RangeSlider::toControl(const QPointF &widgetPoint) const
{
    return widgetPoint - QPointF(M, M);
}

QRectF RangeSlider::thumbAt(double x) const
{
    return QRectF(x, (16 - H) / 2, H, H);
}

void RangeSlider::mousePressEvent(QMouseEvent *event)
{
    const QPointF point = toControl(event->position());
    if (!hitTest(point)) {
        forwardTarget_ = widgetBehind(event->position());
        if (forwardTarget_)
            forward(event);
        else
            event->ignore();
        return;
    }
    forwardTarget_ = nullptr;
    const QPointF unmirrored = shown(point);
    if (grown(minThumb_).contains(unmirrored))
        tracking_ = Tracking::MinThumb;
    else if (grown(maxThumb_).contains(unmirrored))
        tracking_ = Tracking::MaxThumb;
    else
        tracking_ = Tracking::None;
    lastX_ = unmirrored.x();
}

void RangeSlider::mouseMoveEvent(QMouseEvent *event)
{
    if (forwardTarget_) {
        forward(event);
        return;
    }
    const double x = shown(toControl(event->position())).x();
    // The thumb follows the pointer's movement rather than jumping under it.
    const double dx = x - lastX_;
    lastX_ = x;
    dragBy(dx);
}

void RangeSlider::mouseReleaseEvent(QMouseEvent *event)
{
    if (forwardTarget_) {
        forward(event);
        forwardTarget_ = nullptr;
        return;
    }
    emit touchUpInside();
    tracking_ = Tracking::None;
}

void RangeSlider::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((key != Qt::Key_Left && key != Qt::Key_Right) ||
        (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
        QWidget::keyPressEvent(event);
        return;
    }
    // The thumbs are computed unmirrored: on an inverted control Left moves towards max.
    double dx = (key == Qt::Key_Right ? 1 : -1) * kKeyStep * travel();
    if (inverted_)
        dx = -dx;
    tracking_ = event->modifiers() & Qt::ShiftModifier ? Tracking::MaxThumb : Tracking::MinThumb;
    dragBy(dx);
    tracking_ = Tracking::None;
    emit touchUpInside();
}

void RangeSlider::setAccessibleValueText(std::function<QString(float, float)> text)
{
    valueText_ = std::move(text);
}

QString RangeSlider::accessibleValueText() const
{
    if (valueText_)
        return valueText_(min_, max_);
    return tr("from %1 % to %2 %").arg(qRound(min_ * 100)).arg(qRound(max_ * 100));
}

void RangeSlider::dragBy(double dx)
{
    const double L = travel();
    const double gap = minimumRangeLength_ * L;
    if (tracking_ == Tracking::MinThumb) {
        double minX = std::min(minThumb_.x() + dx, (1 - minimumRangeLength_) * L);
        minX = std::max(0.0, minX);
        minThumb_ = thumbAt(minX);
        maxThumb_ = thumbAt(std::max(maxThumb_.x(), minX + H + gap));
    } else if (tracking_ == Tracking::MaxThumb) {
        const double maxX = std::max(H + gap, std::min(maxThumb_.x() + dx, width_ - H));
        maxThumb_ = thumbAt(maxX);
        minThumb_ = thumbAt(std::min(minThumb_.x(), maxX - H - gap));
    }
    calculateMinMax();
    updateTrackImageViews();
}

void RangeSlider::calculateMinMax()
{
    const double L = travel();
    const float newMax = float(std::min(1.0, (maxThumb_.x() - H) / L));
    const float newMin = float(std::max(0.0, minThumb_.x() / L));
    if (newMin == min_ && newMax == max_)
        return;
    min_ = newMin;
    max_ = newMax;
    announcer_->changed();
    emit valueChanged();
}

void RangeSlider::updateThumbViews()
{
    const double L = travel();
    maxThumb_ = thumbAt(H + max_ * L);
    // The max thumb is where it was asked to be; the min thumb yields to keep the minimum range.
    minThumb_ = thumbAt(std::min(double(min_) * L, maxThumb_.x() - H - minimumRangeLength_ * L));
}

void RangeSlider::updateTrackImageViews()
{
    inRangeTrack_.moveLeft(minThumb_.x() + H / 2);
    inRangeTrack_.setWidth(maxThumb_.x() - minThumb_.x());
    update();
}

QWidget *RangeSlider::widgetBehind(const QPointF &widgetPoint)
{
    QWidget *top = window();
    if (top == this)
        return nullptr;
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    QWidget *behind = top->childAt(mapTo(top, widgetPoint.toPoint()));
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    return behind ? behind : top;
}

void RangeSlider::forward(QMouseEvent *event)
{
    const QPointF global = mapToGlobal(event->position());
    QMouseEvent copy(event->type(), forwardTarget_->mapFromGlobal(global), global, global,
                     event->button(), event->buttons(), event->modifiers(),
                     event->pointingDevice());
    QCoreApplication::sendEvent(forwardTarget_, &copy);
}

void RangeSlider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(M, M);
    if (!trackImage_.isNull())
        painter.drawPixmap(shown(track_), trackImage_, trackImage_.rect());
    drawStretchable(painter, inRangeTrackImage_, shown(inRangeTrack_), inRangeLeftCap_,
                    inRangeTopCap_);
    if (!minThumbImage_.isNull())
        painter.drawPixmap(shown(minThumb_), minThumbImage_, minThumbImage_.rect());
    if (!maxThumbImage_.isNull())
        painter.drawPixmap(shown(maxThumb_), maxThumbImage_, maxThumbImage_.rect());
}

QPixmap RangeSlider::defaultThumbImage()
{
    QPixmap image(32, 32); // drawn at twice the size so it stays sharp on scaled screens
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 2));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(2, 2, 28, 28));
    return image;
}

QPixmap RangeSlider::defaultTrackImage()
{
    QPixmap image(8, 4);
    image.fill(QColor(0xb0, 0xb0, 0xb0));
    return image;
}

QPixmap RangeSlider::defaultInRangeTrackImage()
{
    QPixmap image(12, 6);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x80, 0xed));
    painter.drawRoundedRect(QRectF(0, 0, 12, 6), 3, 3);
    return image;
}

} // namespace murmelo
