#include "screens/playback/SuggestionOverlay.h"

#include "screens/playback/MarkerOverlay.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>

namespace murmelo {

namespace {
const QColor kEdge(255, 214, 102);
const QColor kFill(255, 214, 102, 28);
const QColor kFocusedFill(255, 214, 102, 70);
} // namespace

SuggestionOverlay::SuggestionOverlay(MarkerOverlay *bands) : QWidget(bands), bands_(bands)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(bands->rect());
    // Laid out as the bands are, whatever size the screen gives them.
    bands->installEventFilter(this);
}

bool SuggestionOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == bands_ && event->type() == QEvent::Resize)
        setGeometry(bands_->rect());
    return QWidget::eventFilter(watched, event);
}

void SuggestionOverlay::setStretches(const QList<Stretch> &stretches)
{
    stretches_ = stretches;
    update();
}

void SuggestionOverlay::setProgress(std::optional<double> fraction)
{
    progress_ = fraction;
    update();
}

void SuggestionOverlay::setNote(const QString &note)
{
    note_ = note;
    update();
}

QRectF SuggestionOverlay::rectOf(const Stretch &stretch) const
{
    return bands_->rectOf(MarkerOverlay::Band{stretch.from, stretch.to, {}, false, 0});
}

void SuggestionOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    for (const Stretch &stretch : stretches_) {
        const QRectF r = rectOf(stretch);
        if (r.isEmpty())
            continue;
        painter.fillRect(r, stretch.focused ? kFocusedFill : kFill);
        painter.setPen(QPen(kEdge, stretch.focused ? 2 : 1, Qt::DashLine));
        painter.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    }
    const QString text = progress_ ? tr("Finding phrases… %1 %").arg(int(*progress_ * 100)) : note_;
    if (!text.isEmpty()) {
        QFont small = font();
        small.setPixelSize(11);
        painter.setFont(small);
        const QFontMetrics metrics(small);
        const QRectF box(3, height() - metrics.height() - 2, metrics.horizontalAdvance(text) + 6,
                         metrics.height());
        painter.fillRect(box, QColor(21, 23, 28, 190));
        painter.setPen(kEdge);
        painter.drawText(box, Qt::AlignCenter, text);
    }
}

QIcon SuggestionOverlay::icon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kEdge, 2, Qt::DashLine));
    painter.drawRect(QRectF(5, 7, 22, 18));
    painter.setPen(QPen(Qt::white, 2));
    for (int x = 9; x <= 23; x += 4) {
        const int h = x == 13 || x == 17 ? 6 : 3;
        painter.drawLine(x, 16 - h, x, 16 + h);
    }
    return QIcon(pixmap);
}

} // namespace murmelo
