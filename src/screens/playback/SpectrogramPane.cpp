#include "screens/playback/SpectrogramPane.h"

#include "audio/SpectrogramColours.h"
#include "playback/TimeText.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {
const QColor kBackground(21, 23, 28);
const QColor kText(169, 173, 184);
const QColor kPitch(255, 255, 255, 235);
const QColor kPlayhead(232, 162, 59);
constexpr int kLabelGap = 16; // least distance between two frequency labels
constexpr double kWheelZoom = 1.25;
constexpr double kWheelPan = 0.1;
// Pitch read out around the pointer, in pixels either side.
constexpr int kPitchReach = 4;
// Two neighbouring columns whose pitches differ by more than this share are not joined by the
// contour: an octave slip or the start of another voice, not a glide.
constexpr double kLeap = 0.15;
// Coarser and finer levels tried, in turn, while a tile of the view's own level is being made.
constexpr int kStandIns[] = {1, -1, 2, -2, 3, 4, 5, 6};
} // namespace

SpectrogramPane::SpectrogramPane(QWidget *parent)
    : QWidget(parent), tiles_(new SpectrogramTiles(this)), markers_(new MarkerOverlay(this)),
      scaleButton_(new QToolButton(this))
{
    setObjectName(QStringLiteral("spectrogram"));
    setAccessibleName(tr("Spectrogram and pitch"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    scaleButton_->setObjectName(QStringLiteral("loop"));
    scaleButton_->setCheckable(true);
    scaleButton_->setChecked(true);
    scaleButton_->setFocusPolicy(Qt::TabFocus);
    scaleButton_->setText(tr("log"));
    scaleButton_->setToolTip(tr("Logarithmic frequency axis"));
    scaleButton_->setAccessibleName(tr("Logarithmic frequency axis"));
    scaleButton_->setStyleSheet(QStringLiteral("padding: 0 4px; font-size: 11px;"));
    connect(scaleButton_, &QToolButton::toggled, this, [this](bool logarithmic) {
        setScale(logarithmic ? FrequencyAxis::Scale::Logarithmic : FrequencyAxis::Scale::Linear);
    });
    connect(tiles_, &SpectrogramTiles::tileReady, this, [this] {
        update();
        // Tiles the view still lacks follow; those it no longer shows are not made.
        requestVisible();
    });
}

void SpectrogramPane::setSource(const QString &forwardPath)
{
    tiles_->setSource(forwardPath);
    requestVisible();
    update();
}

void SpectrogramPane::setTimeline(const WaveformTimeline &timeline)
{
    timeline_ = timeline;
    markers_->setTimeline(timeline);
    requestVisible();
    update();
}

void SpectrogramPane::setBands(const QList<MarkerOverlay::Band> &bands)
{
    markers_->setBands(bands);
}

void SpectrogramPane::setPlayhead(double seconds)
{
    if (seconds == playhead_)
        return;
    const QRect area = pictureRect();
    const double before = timeline_.xOf(playhead_, area.width());
    const double after = timeline_.xOf(seconds, area.width());
    playhead_ = seconds;
    // Only the two strips the line leaves and enters.
    for (double x : {before, after})
        update(QRect(area.left() + int(x) - 2, area.top(), 5, area.height()));
}

void SpectrogramPane::setScale(FrequencyAxis::Scale scale)
{
    scale_ = scale;
    {
        const QSignalBlocker blocker(scaleButton_);
        scaleButton_->setChecked(scale == FrequencyAxis::Scale::Logarithmic);
    }
    update();
}

QRect SpectrogramPane::pictureRect() const
{
    return QRect(kLeftMargin, 0, std::max(1, width() - kLeftMargin - kRightMargin), height());
}

std::optional<FrequencyAxis> SpectrogramPane::axis() const
{
    if (!tiles_->hasAudio())
        return std::nullopt;
    return FrequencyAxis(scale_, tiles_->sampleRate(), tiles_->frameSize());
}

int SpectrogramPane::level() const
{
    const double framesPerPixel =
        timeline_.span() * tiles_->sampleRate() / std::max(1, pictureRect().width());
    return SpectrogramTiles::levelFor(framesPerPixel);
}

double SpectrogramPane::timeAtPicture(double x) const
{
    return timeline_.timeAt(x, pictureRect().width());
}

SpectrogramPane::Column SpectrogramPane::columnAt(double x)
{
    const double seconds = timeAtPicture(x);
    if (!tiles_->hasAudio() || seconds < 0 || seconds >= timeline_.duration())
        return {};
    const double frame = seconds * tiles_->sampleRate();
    const int own = level();
    for (int i = -1; i < int(std::size(kStandIns)); ++i) {
        const int at = own + (i < 0 ? 0 : kStandIns[i]);
        if (at < SpectrogramTiles::kFinestLevel || at > SpectrogramTiles::kCoarsestLevel)
            continue;
        const qint64 column = qint64(frame) / SpectrogramTiles::columnFrames(at);
        auto tile = tiles_->find({at, column / SpectrogramTiles::kTileColumns});
        if (!tile)
            continue;
        held_.push_back(tile);
        return {tile.get(), int(column % SpectrogramTiles::kTileColumns)};
    }
    return {};
}

void SpectrogramPane::requestVisible()
{
    if (!isVisible() || !tiles_->hasAudio() || timeline_.duration() <= 0)
        return;
    const int at = level();
    const qint64 perTile = SpectrogramTiles::columnFrames(at) * SpectrogramTiles::kTileColumns;
    const double rate = tiles_->sampleRate();
    const qint64 first = qint64(timeline_.visibleStart() * rate) / perTile;
    const qint64 last = qint64(timeline_.visibleEnd() * rate) / perTile;
    const qint64 middle = (first + last) / 2;
    QList<SpectrogramTiles::Key> keys;
    // From the middle of the view outwards, then a tile beyond either edge for the next scroll.
    for (qint64 reach = 0; middle - reach >= first || middle + reach <= last; ++reach) {
        if (middle + reach <= last)
            keys << SpectrogramTiles::Key{at, middle + reach};
        if (reach > 0 && middle - reach >= first)
            keys << SpectrogramTiles::Key{at, middle - reach};
    }
    keys << SpectrogramTiles::Key{at, last + 1} << SpectrogramTiles::Key{at, first - 1};
    tiles_->request(keys);
}

QImage SpectrogramPane::picture(const QSize &size, std::vector<float> &pitches)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kBackground);
    pitches.assign(size_t(size.width()), 0.0f);
    const std::optional<FrequencyAxis> frequencies = axis();
    if (!frequencies)
        return image;
    const auto rows = frequencies->rowBins(size.height());
    const QVector<QRgb> &colours = SpectrogramColours::table();
    held_.clear();
    for (int x = 0; x < size.width(); ++x) {
        const Column column = columnAt(x + 0.5);
        if (!column.tile)
            continue;
        const quint8 *levels = column.tile->column(column.index);
        pitches[size_t(x)] = column.tile->pitch[size_t(column.index)];
        for (int y = 0; y < size.height(); ++y) {
            const auto [low, high] = rows[size_t(y)];
            const quint8 loudest = *std::max_element(levels + low, levels + high + 1);
            reinterpret_cast<QRgb *>(image.scanLine(y))[x] = colours[loudest];
        }
    }
    held_.clear();
    return image;
}

void SpectrogramPane::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    const QRect area = pictureRect();
    std::vector<float> pitches;
    painter.drawImage(area.topLeft(), picture(area.size(), pitches));
    QFont small = font();
    small.setPixelSize(10);
    painter.setFont(small);
    const std::optional<FrequencyAxis> frequencies = axis();
    if (!frequencies) {
        painter.setPen(kText);
        const QString why = tiles_->error().isEmpty() ? QString() : tiles_->error();
        painter.drawText(area.adjusted(6, 0, -6, 0), Qt::AlignCenter | Qt::TextWordWrap, why);
        return;
    }
    drawPitch(painter, *frequencies, area, pitches);
    drawAxis(painter, *frequencies, area);
    drawLegend(painter, area);
    if (timeline_.isVisible(playhead_)) {
        const double x = area.left() + timeline_.xOf(playhead_, area.width());
        painter.setPen(QPen(kPlayhead, 1));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    if (hover_) {
        const QString text = readout(*hover_);
        if (!text.isEmpty()) {
            const QFontMetrics metrics(small);
            QRect box = metrics.boundingRect(text).adjusted(-4, -2, 4, 2);
            box.moveTopRight(QPoint(area.right() - 2, area.top() + 2));
            painter.fillRect(box, QColor(21, 23, 28, 200));
            painter.setPen(Qt::white);
            painter.drawText(box, Qt::AlignCenter, text);
        }
    }
}

void SpectrogramPane::drawPitch(QPainter &painter, const FrequencyAxis &axis, const QRect &area,
                                const std::vector<float> &pitches)
{
    QPainterPath contour;
    double previous = 0;
    for (size_t x = 0; x < pitches.size(); ++x) {
        const double hertz = pitches[x];
        if (hertz <= 0 || hertz > axis.highest() || hertz < axis.lowest()) {
            previous = 0;
            continue;
        }
        const QPointF point(area.left() + x + 0.5, area.top() + axis.yOf(hertz, area.height()));
        if (previous > 0 && std::abs(hertz - previous) <= kLeap * previous)
            contour.lineTo(point);
        else
            contour.moveTo(point);
        previous = hertz;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(area);
    painter.strokePath(contour, QPen(QColor(0, 0, 0, 150), 4, Qt::SolidLine, Qt::RoundCap));
    painter.strokePath(contour, QPen(kPitch, 2, Qt::SolidLine, Qt::RoundCap));
    painter.restore();
}

void SpectrogramPane::drawAxis(QPainter &painter, const FrequencyAxis &axis, const QRect &area)
{
    painter.setPen(kText);
    const QFontMetrics metrics(painter.font());
    // The scale button sits at the bottom of the margin; labels keep clear of it.
    const int bottom = scaleButton_->geometry().top() - 2;
    for (double hertz : axis.ticks(area.height(), kLabelGap)) {
        const double y = area.top() + axis.yOf(hertz, area.height());
        // Clear of the unit at the top and the button at the bottom.
        if (y + metrics.height() / 2.0 > bottom || y - metrics.height() / 2.0 < metrics.height())
            continue;
        const QRectF label(0, y - metrics.height() / 2.0, kLeftMargin - 6, metrics.height());
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, FrequencyAxis::tickText(hertz));
        painter.drawLine(QPointF(kLeftMargin - 4, y), QPointF(kLeftMargin - 1, y));
    }
    painter.drawText(QRect(0, 0, kLeftMargin - 6, metrics.height()), Qt::AlignRight, tr("Hz"));
}

void SpectrogramPane::drawLegend(QPainter &painter, const QRect &area)
{
    // A bar of the colours, loudest at the top, with its decibels beside it.
    const QFontMetrics metrics(painter.font());
    const QRect bar(area.right() + 5, area.top() + metrics.height() + 2, 8,
                    std::max(8, area.height() - 2 * metrics.height() - 4));
    for (int y = 0; y < bar.height(); ++y) {
        const int level = 255 - y * 255 / std::max(1, bar.height() - 1);
        painter.fillRect(QRect(bar.left(), bar.top() + y, bar.width(), 1),
                         QColor(SpectrogramColours::colour(level)));
    }
    painter.setPen(kText);
    painter.drawText(QRect(bar.left() - 4, 0, kRightMargin, metrics.height()), Qt::AlignLeft,
                     tr("dB"));
    const int textLeft = bar.right() + 3;
    const auto mark = [&](float decibels, double fraction) {
        const double y = bar.top() + fraction * (bar.height() - 1);
        painter.drawText(
            QRectF(textLeft, y - metrics.height() / 2.0, kRightMargin, metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, QString::number(int(decibels)));
    };
    mark(SpectrogramColours::kCeiling, 0);
    if (bar.height() > 4 * metrics.height())
        mark((SpectrogramColours::kCeiling + SpectrogramColours::kFloor) / 2, 0.5);
    mark(SpectrogramColours::kFloor, 1);
}

double SpectrogramPane::pitchNear(double x)
{
    std::vector<float> voiced;
    for (int dx = -kPitchReach; dx <= kPitchReach; ++dx) {
        const Column column = columnAt(x + dx);
        if (column.tile && column.tile->pitch[size_t(column.index)] > 0)
            voiced.push_back(column.tile->pitch[size_t(column.index)]);
    }
    held_.clear();
    if (voiced.empty())
        return 0;
    std::nth_element(voiced.begin(), voiced.begin() + long(voiced.size() / 2), voiced.end());
    return voiced[voiced.size() / 2];
}

QString SpectrogramPane::readout(const QPointF &at)
{
    const QRect area = pictureRect();
    const std::optional<FrequencyAxis> frequencies = axis();
    if (!frequencies || !area.contains(at.toPoint()))
        return {};
    const double x = at.x() - area.left();
    const double seconds = std::clamp(timeAtPicture(x), 0.0, timeline_.duration());
    const double hertz = frequencies->frequencyAtY(at.y() - area.top(), area.height());
    // Reversed, the time counts on the reversal's own clock, as it plays.
    const QString time =
        timeline_.isReversed()
            ? tr("%1 reversed").arg(preciseTimeText(timeline_.duration() - seconds))
            : preciseTimeText(seconds);
    QString text =
        tr("%1 · %2 Hz %3").arg(time, QString::number(int(std::lround(hertz))), noteName(hertz));
    if (const double pitch = pitchNear(x); pitch > 0)
        text +=
            tr(" · pitch %1 Hz %2").arg(QString::number(int(std::lround(pitch))), noteName(pitch));
    return text.trimmed();
}

void SpectrogramPane::resizeEvent(QResizeEvent *)
{
    const QRect area = pictureRect();
    markers_->setGeometry(area);
    scaleButton_->setGeometry(4, height() - 20, kLeftMargin - 8, 18);
    requestVisible();
}

void SpectrogramPane::showEvent(QShowEvent *)
{
    requestVisible();
}

void SpectrogramPane::mouseMoveEvent(QMouseEvent *event)
{
    hover_ = event->position();
    update();
}

void SpectrogramPane::leaveEvent(QEvent *)
{
    hover_.reset();
    update();
}

void SpectrogramPane::mousePressEvent(QMouseEvent *event)
{
    const QRect area = pictureRect();
    if (event->button() != Qt::LeftButton || !area.contains(event->position().toPoint()))
        return QWidget::mousePressEvent(event);
    emit seekRequested(
        std::clamp(timeAtPicture(event->position().x() - area.left()), 0.0, timeline_.duration()));
}

void SpectrogramPane::wheelEvent(QWheelEvent *event)
{
    const QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        const double anchor = std::clamp(
            timeAtPicture(event->position().x() - pictureRect().left()), 0.0, timeline_.duration());
        emit zoomRequested(std::pow(kWheelZoom, delta.y() / 120.0), anchor);
        return;
    }
    const int sideways = delta.x() != 0                           ? -delta.x()
                         : event->modifiers() & Qt::ShiftModifier ? -delta.y()
                                                                  : 0;
    if (sideways != 0) {
        emit panRequested(kWheelPan * sideways / 120.0);
        return;
    }
    QWidget::wheelEvent(event);
}

} // namespace murmelo
