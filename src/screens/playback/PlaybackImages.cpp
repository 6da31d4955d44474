#include "screens/playback/PlaybackImages.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace murmelo::PlaybackImages {

namespace {

const QColor kAccent(0xe8, 0xa2, 0x3b);
const QColor kInk(0xf2, 0xf2, 0xf5);

// Drawn at twice the point size so the images stay sharp on scaled screens.
QPixmap drawn(int width, int height, const std::function<void(QPainter &)> &draw)
{
    QPixmap image(width * 2, height * 2);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(2, 2);
    draw(painter);
    return image;
}

QPixmap glyph(const QColor &colour, const std::function<void(QPainter &)> &draw)
{
    return drawn(32, 32, [&](QPainter &painter) {
        painter.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        draw(painter);
    });
}

QIcon twoStates(const std::function<void(QPainter &)> &off,
                const std::function<void(QPainter &)> &on)
{
    QIcon icon;
    icon.addPixmap(glyph(kInk, off), QIcon::Normal, QIcon::Off);
    icon.addPixmap(glyph(kAccent, on), QIcon::Normal, QIcon::On);
    return icon;
}

void arrowHead(QPainter &painter, QPointF tip, double dx, double dy)
{
    painter.drawLine(tip, tip + QPointF(-dx - dy, -dy + dx));
    painter.drawLine(tip, tip + QPointF(-dx + dy, -dy - dx));
}

} // namespace

QPixmap editThumb()
{
    return drawn(16, 16, [](QPainter &painter) {
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(kAccent);
        painter.drawRoundedRect(QRectF(4, 0.75, 8, 14.5), 3, 3);
    });
}

QPixmap editSlider()
{
    return drawn(16, 4, [](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 70));
        painter.drawRoundedRect(QRectF(0, 0, 16, 4), 2, 2);
    });
}

QPixmap sliderRange()
{
    return drawn(12, 6, [](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawRoundedRect(QRectF(0, 0, 12, 6), 3, 3);
    });
}

QIcon playPause()
{
    QIcon icon;
    const auto play = [](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(kInk);
        QPainterPath triangle;
        triangle.moveTo(11, 7);
        triangle.lineTo(25, 16);
        triangle.lineTo(11, 25);
        triangle.closeSubpath();
        painter.drawPath(triangle);
    };
    const auto pause = [](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawRoundedRect(QRectF(9, 7, 5, 18), 1.5, 1.5);
        painter.drawRoundedRect(QRectF(18, 7, 5, 18), 1.5, 1.5);
    };
    icon.addPixmap(drawn(32, 32, play), QIcon::Normal, QIcon::Off);
    icon.addPixmap(drawn(32, 32, pause), QIcon::Normal, QIcon::On);
    return icon;
}

QIcon restart()
{
    const auto draw = [](QPainter &painter) {
        painter.drawLine(QPointF(9, 8), QPointF(9, 24));
        QPainterPath triangle;
        triangle.moveTo(24, 8);
        triangle.lineTo(12, 16);
        triangle.lineTo(24, 24);
        triangle.closeSubpath();
        painter.drawPath(triangle);
    };
    return twoStates(draw, draw);
}

QIcon direction()
{
    // Forward: an arrow to the right; reversed: the same arrow turned back.
    const auto forward = [](QPainter &painter) {
        painter.drawLine(QPointF(6, 16), QPointF(26, 16));
        arrowHead(painter, QPointF(26, 16), 6, 0);
    };
    const auto reversed = [](QPainter &painter) {
        painter.drawLine(QPointF(6, 16), QPointF(26, 16));
        arrowHead(painter, QPointF(6, 16), -6, 0);
    };
    return twoStates(forward, reversed);
}

QIcon repeat()
{
    const auto draw = [](QPainter &painter) {
        painter.drawArc(QRectF(6, 8, 20, 16), 30 * 16, 300 * 16);
        arrowHead(painter, QPointF(24.7, 11), 2, -4);
    };
    return twoStates(draw, draw);
}

QIcon editMessage()
{
    const auto draw = [](QPainter &painter) {
        painter.drawLine(QPointF(9, 23), QPointF(22, 10));
        painter.drawLine(QPointF(22, 10), QPointF(25, 13));
        painter.drawLine(QPointF(25, 13), QPointF(12, 26));
        painter.drawLine(QPointF(12, 26), QPointF(8, 27));
        painter.drawLine(QPointF(8, 27), QPointF(9, 23));
    };
    return twoStates(draw, draw);
}

QIcon removeMarker()
{
    const auto draw = [](QPainter &painter) {
        painter.drawLine(QPointF(10, 10), QPointF(24, 24));
        painter.drawLine(QPointF(24, 10), QPointF(10, 24));
    };
    return twoStates(draw, draw);
}

} // namespace murmelo::PlaybackImages
