#include "screens/record/InputLevelMeter.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace murmelo {

namespace {
constexpr qint64 kHeaderBytes = 44;
constexpr double kFloorDecibels = -60.0;
} // namespace

float recentPeakLevel(const QString &path, qint64 window)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= kHeaderBytes)
        return 0;
    // Whole samples only: the data starts on an even offset.
    const qint64 start = std::max(kHeaderBytes, (file.size() - window) & ~qint64(1));
    if (!file.seek(start))
        return 0;
    const QByteArray data = file.read(file.size() - start);
    int peak = 0;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        qint16 sample;
        std::memcpy(&sample, data.constData() + i, 2);
        peak = std::max(peak, std::abs(int(sample)));
    }
    return std::min(1.0f, float(peak) / 32768.0f);
}

InputLevelMeter::InputLevelMeter(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("inputLevelMeter"));
    setFixedHeight(8);
    setAccessibleName(tr("Input level"));
}

void InputLevelMeter::setLevel(float level)
{
    level = std::clamp(level, 0.0f, 1.0f);
    if (level == level_)
        return;
    level_ = level;
    update();
}

double InputLevelMeter::fill() const
{
    if (level_ <= 0)
        return 0;
    const double decibels = 20.0 * std::log10(double(level_));
    return std::clamp(1.0 - decibels / kFloorDecibels, 0.0, 1.0);
}

QString InputLevelMeter::accessibleValueText() const
{
    if (fill() <= 0)
        return tr("silence");
    return tr("%1 dB").arg(std::lround(20.0 * std::log10(double(level_))));
}

void InputLevelMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x34, 0x38, 0x44));
    painter.drawRoundedRect(track, radius, radius);
    QRectF lit = track;
    lit.setWidth(track.width() * fill());
    // Green for speech, amber near the top, red where it clips.
    const QColor colour = level_ >= 0.99f ? QColor(0xff, 0x5f, 0x52)
                          : fill() > 0.85 ? QColor(0xe8, 0xa2, 0x3b)
                                          : QColor(0x3f, 0xd0, 0xb6);
    painter.setBrush(colour);
    painter.drawRoundedRect(lit, radius, radius);
}

} // namespace murmelo
