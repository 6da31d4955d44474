#include "screens/library/RecordingCell.h"

#include "library/Recording.h"
#include "toolkit/ElidedLabel.h"
#include "toolkit/Theme.h"

#include <QApplication>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <algorithm>

namespace murmelo {

namespace {
constexpr int kFadeMilliseconds = 200;
constexpr int kLeftMargin = 14;
constexpr int kTextGap = 16; // between the texts and a panel placed beside them
constexpr int kSelectionBar = 4;

QString dateText(const QDateTime &date)
{
    return date.isValid() ? QLocale().toString(date.toLocalTime(), QLocale::ShortFormat)
                          : QString();
}

enum class Glyph { Play, Stop, Share, Publish, Edit, Delete };

// The panel's pictures, drawn in the text colour so they read on the dark panel whatever the
// desktop's icon theme is.
QIcon glyphIcon(Glyph glyph)
{
    constexpr int size = 22;
    QPixmap pixmap(size * 2, size * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(Theme::text, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    switch (glyph) {
    case Glyph::Play: {
        painter.setBrush(Theme::text);
        const QPointF points[] = {{6, 3}, {19, 11}, {6, 19}};
        painter.drawPolygon(points, 3);
        break;
    }
    case Glyph::Stop:
        painter.setBrush(Theme::text);
        painter.drawRoundedRect(QRectF(5, 5, 12, 12), 1.5, 1.5);
        break;
    case Glyph::Share: {
        QPainterPath box;
        box.moveTo(8, 9);
        box.lineTo(5, 9);
        box.lineTo(5, 19);
        box.lineTo(17, 19);
        box.lineTo(17, 9);
        box.lineTo(14, 9);
        painter.drawPath(box);
        painter.drawLine(QPointF(11, 14), QPointF(11, 3));
        painter.drawLine(QPointF(7.5, 6.5), QPointF(11, 3));
        painter.drawLine(QPointF(14.5, 6.5), QPointF(11, 3));
        break;
    }
    case Glyph::Publish:
        // A globe: the page goes out to the web.
        painter.drawEllipse(QPointF(11, 11), 8, 8);
        painter.drawEllipse(QPointF(11, 11), 3.5, 8);
        painter.drawLine(QPointF(3, 11), QPointF(19, 11));
        break;
    case Glyph::Edit: {
        QPainterPath pencil;
        pencil.moveTo(4, 18);
        pencil.lineTo(5, 14);
        pencil.lineTo(15, 4);
        pencil.lineTo(18, 7);
        pencil.lineTo(8, 17);
        pencil.closeSubpath();
        painter.drawPath(pencil);
        painter.drawLine(QPointF(13, 6), QPointF(16, 9));
        break;
    }
    case Glyph::Delete:
        painter.drawLine(QPointF(4, 6), QPointF(18, 6));
        painter.drawLine(QPointF(9, 6), QPointF(9.5, 3.5));
        painter.drawLine(QPointF(9.5, 3.5), QPointF(12.5, 3.5));
        painter.drawLine(QPointF(12.5, 3.5), QPointF(13, 6));
        painter.drawRoundedRect(QRectF(6, 6, 10, 13), 1.5, 1.5);
        painter.drawLine(QPointF(9.5, 9.5), QPointF(9.5, 15.5));
        painter.drawLine(QPointF(12.5, 9.5), QPointF(12.5, 15.5));
        break;
    }
    return QIcon(pixmap);
}

QString minutesAndSeconds(double seconds)
{
    const int whole = int(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

RecordingCell::RecordingCell(QWidget *parent)
    : QWidget(parent), m_infoView(new QFrame(this)), m_editView(new QWidget(this)),
      m_titleLabel(new ElidedLabel(m_infoView)), m_dateLabel(new QLabel(m_infoView)),
      m_detailsLabel(new QLabel(m_infoView)), m_messageLabel(new ElidedLabel(m_infoView)),
      m_playingMark(new QLabel(m_infoView)), m_playButton(panelButton(tr("Play"))),
      m_shareButton(panelButton(tr("Share"))), m_publishButton(panelButton(tr("Publish"))),
      m_editButton(panelButton(tr("Edit"))), m_deleteButton(panelButton(tr("Delete"))),
      m_slide(new QVariantAnimation(this))
{
    setFixedHeight(kHeight);
    m_shareButton->setIcon(glyphIcon(Glyph::Share));
    m_publishButton->setIcon(glyphIcon(Glyph::Publish));
    m_editButton->setIcon(glyphIcon(Glyph::Edit));
    m_deleteButton->setIcon(glyphIcon(Glyph::Delete));

    m_editView->setObjectName(QStringLiteral("rowActions"));
    m_editView->setAttribute(Qt::WA_StyledBackground);
    // The focused action shows a ring in the selection colour, so the keyboard's place is seen.
    m_editView->setStyleSheet(
        QStringLiteral("QWidget#rowActions { background: %1; }"
                       "QToolButton { color: %2; background: transparent; border: 2px solid "
                       "transparent; border-radius: 6px; font-size: 11px; }"
                       "QToolButton:hover { background: %3; }"
                       "QToolButton:checked { background: %3; }"
                       "QToolButton:focus { border-color: %4; }")
            .arg(Theme::raised.name(), Theme::text.name(), Theme::surface.name(),
                 Theme::highlight.name()));
    auto *buttons = new QHBoxLayout(m_editView);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    for (QToolButton *button : this->buttons()) {
        buttons->addWidget(button);
        button->installEventFilter(this);
    }
    m_playButton->setCheckable(true);
    m_editView->setVisible(false);

    m_infoView->setAutoFillBackground(true);
    QFont title = m_titleLabel->font();
    title.setPixelSize(16);
    title.setBold(true);
    m_titleLabel->setFont(title);
    QFont small = m_dateLabel->font();
    small.setPixelSize(12);
    for (QLabel *label : {m_dateLabel, m_detailsLabel, m_playingMark})
        label->setFont(small);
    QFont message = small;
    message.setItalic(true);
    m_messageLabel->setFont(message);
    QPalette bright = m_titleLabel->palette();
    bright.setColor(QPalette::WindowText, Theme::text);
    m_titleLabel->setPalette(bright);
    m_messageLabel->setPalette(bright);
    QPalette grey = m_dateLabel->palette();
    grey.setColor(QPalette::WindowText, Theme::secondaryText);
    for (QLabel *label : {m_dateLabel, m_detailsLabel, m_playingMark})
        label->setPalette(grey);
    // A glyph rather than a word: it must leave the title room beside an open panel.
    m_playingMark->setText(QStringLiteral("▶"));
    m_playingMark->setAccessibleName(tr("playing"));
    m_playingMark->setToolTip(tr("Playing"));
    m_playingMark->setVisible(false);
    for (QLabel *label : {static_cast<QLabel *>(m_titleLabel), m_dateLabel, m_detailsLabel,
                          static_cast<QLabel *>(m_messageLabel)})
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The date keeps its room first; the details give way beside an open panel.
    m_dateLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    auto *facts = new QHBoxLayout;
    facts->setSpacing(10);
    facts->addWidget(m_dateLabel);
    facts->addWidget(m_detailsLabel, 1);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(m_titleLabel);
    texts->addLayout(facts);
    texts->addWidget(m_messageLabel);
    auto *face = new QHBoxLayout(m_infoView);
    face->setContentsMargins(kLeftMargin, 6, 10, 6);
    face->addLayout(texts, 1);
    face->addWidget(m_playingMark);

    // The face casts its shadow onto the panel as it slides away.
    auto *shadow = new QGraphicsDropShadowEffect(m_infoView);
    shadow->setColor(QColor(0, 0, 0, 64));
    shadow->setOffset(1.0, 0.0);
    shadow->setBlurRadius(5.0);
    m_infoView->setGraphicsEffect(shadow);
    m_editView->lower();

    m_slide->setDuration(kSlideMilliseconds);
    m_slide->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_offset = value.toInt();
        placeFace();
    });
    connect(m_slide, &QVariantAnimation::finished, this, [this] {
        if (!m_panelOpen)
            m_editView->setVisible(false);
    });

    connect(m_playButton, &QToolButton::clicked, this, [this] {
        if (m_delegate && m_recording)
            m_delegate->playRecording(m_recording);
        // The button mirrors the record, whatever the press achieved.
        if (m_recording)
            showPlaying(m_recording->playingValue());
    });
    connect(m_shareButton, &QToolButton::clicked, this, [this] {
        if (m_delegate && m_recording)
            m_delegate->shareRecording(m_recording);
    });
    connect(m_publishButton, &QToolButton::clicked, this, [this] {
        if (m_delegate && m_recording)
            m_delegate->publishRecording(m_recording);
    });
    connect(m_editButton, &QToolButton::clicked, this, [this] {
        if (m_delegate && m_recording)
            m_delegate->editRecording(m_recording);
    });
    connect(m_deleteButton, &QToolButton::clicked, this, [this] {
        if (m_delegate && m_recording)
            m_delegate->deleteRecording(m_recording);
    });
    setFaceColor(Theme::surface);
}

QToolButton *RecordingCell::panelButton(const QString &text)
{
    auto *button = new QToolButton;
    button->setText(text);
    button->setAccessibleName(text);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(22, 22));
    button->setFixedSize(kPanelWidth / 5, kHeight); // Play, Share, Publish, Edit, Delete
    // Reached with Tab or Right from the row; a click leaves the keyboard with the list.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QList<QToolButton *> RecordingCell::buttons() const
{
    return {m_playButton, m_shareButton, m_publishButton, m_editButton, m_deleteButton};
}

QString RecordingCell::detailsText(const Recording &recording, const RecordingSummary &summary)
{
    QStringList parts;
    if (summary.seconds >= 0.0)
        parts << minutesAndSeconds(summary.seconds);
    if (summary.markerCount > 0)
        parts << (summary.markerCount == 1 ? tr("1 marker")
                                           : tr("%1 markers").arg(summary.markerCount));
    if (recording.isImportedValue())
        parts << tr("imported");
    return parts.join(QStringLiteral(" · "));
}

void RecordingCell::setRecording(std::shared_ptr<Recording> recording,
                                 const RecordingSummary &summary)
{
    if (recording != m_recording) {
        m_slide->stop();
        m_panelOpen = false;
        m_offset = 0;
        m_editView->setVisible(false);
    }
    m_recording = std::move(recording);
    const QString message =
        m_recording ? m_recording->message().trimmed().section(QLatin1Char('\n'), 0, 0).trimmed()
                    : QString();
    m_titleLabel->setFullText(m_recording ? m_recording->name() : QString());
    m_dateLabel->setText(m_recording ? dateText(m_recording->date()) : QString());
    m_detailsLabel->setText(m_recording ? detailsText(*m_recording, summary) : QString());
    m_messageLabel->setFullText(message);
    m_messageLabel->setVisible(!message.isEmpty());
    const QFontMetrics titleMetrics(m_titleLabel->font());
    const QFontMetrics smallMetrics(m_dateLabel->font());
    const QFontMetrics messageMetrics(m_messageLabel->font());
    m_textExtent = std::max({titleMetrics.horizontalAdvance(m_titleLabel->fullText()),
                             smallMetrics.horizontalAdvance(m_dateLabel->text()) + 10 +
                                 smallMetrics.horizontalAdvance(m_detailsLabel->text()),
                             messageMetrics.horizontalAdvance(message)}) +
                   m_playingMark->sizeHint().width();
    m_editView->setGeometry(panelLeft(), 0, kPanelWidth, height());
    if (m_panelOpen && m_slide->state() != QAbstractAnimation::Running)
        m_offset = openOffset();
    placeFace();
    showPlaying(m_recording && m_recording->playingValue());
}

void RecordingCell::showPlaying(bool playing)
{
    m_playButton->setChecked(playing);
    m_playButton->setText(playing ? tr("Stop") : tr("Play"));
    m_playButton->setAccessibleName(m_playButton->text());
    m_playButton->setIcon(glyphIcon(playing ? Glyph::Stop : Glyph::Play));
    m_playingMark->setVisible(playing);
}

int RecordingCell::panelLeft() const
{
    // Beside the texts when the row has the room, else at the row's right edge as on a phone.
    const int besideTexts = kLeftMargin + std::min(m_textExtent, kTextWidth) + kTextGap;
    return std::max(0, std::min(width() - kPanelWidth, besideTexts));
}

void RecordingCell::reveal()
{
    if (m_panelOpen)
        return;
    m_panelOpen = true;
    m_editView->setVisible(true);
    slideTo(openOffset());
}

void RecordingCell::hidePanel()
{
    if (!m_panelOpen)
        return;
    m_panelOpen = false;
    if (m_editView->isAncestorOf(QApplication::focusWidget()) && m_delegate)
        m_delegate->recordingCellLeft(*this);
    slideTo(0);
}

void RecordingCell::togglePanel()
{
    if (m_panelOpen)
        hidePanel();
    else
        reveal();
}

void RecordingCell::focusPanel()
{
    reveal();
    m_playButton->setFocus(Qt::TabFocusReason);
}

void RecordingCell::slideTo(int offset)
{
    m_slide->stop();
    m_slide->setStartValue(m_offset);
    m_slide->setEndValue(offset);
    m_slide->start();
}

void RecordingCell::setFaceColor(const QColor &color)
{
    m_faceColor = color;
    QPalette palette = m_infoView->palette();
    palette.setColor(QPalette::Window, color);
    m_infoView->setPalette(palette);
    // The face draws through its shadow effect, which keeps its last picture until told.
    m_infoView->update();
    update();
}

void RecordingCell::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    placeFace();
    update();
}

void RecordingCell::fadeIn()
{
    auto *effect = new QGraphicsOpacityEffect(this);
    effect->setOpacity(0.0);
    setGraphicsEffect(effect);
    auto *fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setDuration(kFadeMilliseconds);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    // Rendering through an effect costs a pixmap per paint: drop it once the row is whole.
    // The effect owns the animation that is finishing, so it goes on a later turn.
    connect(
        fade, &QPropertyAnimation::finished, this,
        [this, effect] {
            if (graphicsEffect() == effect)
                setGraphicsEffect(nullptr);
        },
        Qt::QueuedConnection);
    fade->start();
}

void RecordingCell::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_editView->setGeometry(panelLeft(), 0, kPanelWidth, height());
    if (m_panelOpen && m_slide->state() != QAbstractAnimation::Running)
        m_offset = openOffset();
    placeFace();
}

void RecordingCell::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Right of a panel placed beside the texts the row keeps its face's colour; the line left
    // free at the bottom parts this row from the next.
    painter.fillRect(rect(), m_faceColor);
    painter.fillRect(QRect(0, height() - 1, width(), 1), Theme::raised);
    if (m_selected)
        painter.fillRect(QRect(0, 0, kSelectionBar, height() - 1), Theme::highlight);
}

void RecordingCell::placeFace()
{
    // The face keeps its left edge and gives up its right part, so the title stays readable
    // beside the open panel. The selection bar stays in sight at the left.
    const int left = m_selected ? kSelectionBar : 0;
    m_infoView->setGeometry(left, 0, std::max(0, width() - m_offset - left), height() - 1);
}

bool RecordingCell::eventFilter(QObject *watched, QEvent *event)
{
    auto *button = qobject_cast<QToolButton *>(watched);
    if (!button || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const QList<QToolButton *> all = buttons();
    const int at = int(all.indexOf(button));
    switch (static_cast<QKeyEvent *>(event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        button->click();
        return true;
    case Qt::Key_Left:
        all[std::max(0, at - 1)]->setFocus(Qt::TabFocusReason);
        return true;
    case Qt::Key_Right:
        all[std::min(int(all.size()) - 1, at + 1)]->setFocus(Qt::TabFocusReason);
        return true;
    case Qt::Key_Escape:
        hidePanel();
        return true;
    default:
        return false;
    }
}

void RecordingCell::mousePressEvent(QMouseEvent *event)
{
    // Accepting the press is what brings the release, and so the tap, here.
    event->setAccepted(event->button() == Qt::LeftButton);
}

void RecordingCell::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_infoView->geometry().contains(event->pos()) &&
        m_delegate) {
        m_delegate->recordingCellTapped(*this);
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

} // namespace murmelo
