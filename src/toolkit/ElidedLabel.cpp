#include "toolkit/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>

namespace murmelo {

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent) : ElidedLabel(parent)
{
    setFullText(text);
}

void ElidedLabel::setFullText(const QString &text)
{
    full_ = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const
{
    // Any width will do: the text gives way.
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        elide();
}

void ElidedLabel::elide()
{
    const int room = contentsRect().width() - 2 * margin() - 2 * qMax(0, indent());
    // Before its first layout the label has no width to fit: it keeps the whole text.
    const QString shown = room <= 0 ? full_ : fontMetrics().elidedText(full_, Qt::ElideRight, room);
    setToolTip(shown == full_ ? QString() : full_);
    if (shown != QLabel::text())
        QLabel::setText(shown);
}

} // namespace murmelo
