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
    : QWidget(parent), infoView_(new QFrame(this)), editView_(new QWidget(this)),
      titleLabel_(new ElidedLabel(infoView_)), dateLabel_(new QLabel(infoView_)),
      detailsLabel_(new QLabel(infoView_)), messageLabel_(new ElidedLabel(infoView_)),
      playingMark_(new QLabel(infoView_)), playButton_(panelButton(tr("Play"))),
      shareButton_(panelButton(tr("Share"))), publishButton_(panelButton(tr("Publish"))),
      editButton_(panelButton(tr("Edit"))), deleteButton_(panelButton(tr("Delete"))),
      slide_(new QVariantAnimation(this))
{
    setFixedHeight(kHeight);
    shareButton_->setIcon(glyphIcon(Glyph::Share));
    publishButton_->setIcon(glyphIcon(Glyph::Publish));
    editButton_->setIcon(glyphIcon(Glyph::Edit));
    deleteButton_->setIcon(glyphIcon(Glyph::Delete));

    editView_->setObjectName(QStringLiteral("rowActions"));
    editView_->setAttribute(Qt::WA_StyledBackground);
    // The focused action shows a ring in the selection colour, so the keyboard's place is seen.
    editView_->setStyleSheet(
        QStringLiteral("QWidget#rowActions { background: %1; }"
                       "QToolButton { color: %2; background: transparent; border: 2px solid "
                       "transparent; border-radius: 6px; font-size: 11px; }"
                       "QToolButton:hover { background: %3; }"
                       "QToolButton:checked { background: %3; }"
                       "QToolButton:focus { border-color: %4; }")
            .arg(Theme::raised.name(), Theme::text.name(), Theme::surface.name(),
                 Theme::highlight.name()));
    auto *buttons = new QHBoxLayout(editView_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    for (QToolButton *button : this->buttons()) {
        buttons->addWidget(button);
        button->installEventFilter(this);
    }
    playButton_->setCheckable(true);
    editView_->setVisible(false);

    infoView_->setAutoFillBackground(true);
    QFont title = titleLabel_->font();
    title.setPixelSize(16);
    title.setBold(true);
    titleLabel_->setFont(title);
    QFont small = dateLabel_->font();
    small.setPixelSize(12);
    for (QLabel *label : {dateLabel_, detailsLabel_, playingMark_})
        label->setFont(small);
    QFont message = small;
    message.setItalic(true);
    messageLabel_->setFont(message);
    QPalette bright = titleLabel_->palette();
    bright.setColor(QPalette::WindowText, Theme::text);
    titleLabel_->setPalette(bright);
    messageLabel_->setPalette(bright);
    QPalette grey = dateLabel_->palette();
    grey.setColor(QPalette::WindowText, Theme::secondaryText);
    for (QLabel *label : {dateLabel_, detailsLabel_, playingMark_})
        label->setPalette(grey);
    // A glyph rather than a word: it must leave the title room beside an open panel.
    playingMark_->setText(QStringLiteral("▶"));
    playingMark_->setAccessibleName(tr("playing"));
    playingMark_->setToolTip(tr("Playing"));
    playingMark_->setVisible(false);
    for (QLabel *label : {static_cast<QLabel *>(titleLabel_), dateLabel_, detailsLabel_,
                          static_cast<QLabel *>(messageLabel_)})
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The date keeps its room first; the details give way beside an open panel.
    dateLabel_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    auto *facts = new QHBoxLayout;
    facts->setSpacing(10);
    facts->addWidget(dateLabel_);
    facts->addWidget(detailsLabel_, 1);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(titleLabel_);
    texts->addLayout(facts);
    texts->addWidget(messageLabel_);
    auto *face = new QHBoxLayout(infoView_);
    face->setContentsMargins(kLeftMargin, 6, 10, 6);
    face->addLayout(texts, 1);
    face->addWidget(playingMark_);

    // The face casts its shadow onto the panel as it slides away.
    auto *shadow = new QGraphicsDropShadowEffect(infoView_);
    shadow->setColor(QColor(0, 0, 0, 64));
    shadow->setOffset(1.0, 0.0);
    shadow->setBlurRadius(5.0);
    infoView_->setGraphicsEffect(shadow);
    editView_->lower();

    slide_->setDuration(kSlideMilliseconds);
    slide_->setEasingCurve(QEasingCurve::InOutQuad);
    connect(slide_, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        offset_ = value.toInt();
        placeFace();
    });
    connect(slide_, &QVariantAnimation::finished, this, [this] {
        if (!panelOpen_)
            editView_->setVisible(false);
    });

    connect(playButton_, &QToolButton::clicked, this, [this] {
        if (delegate_ && recording_)
            delegate_->playRecording(recording_);
        // The button mirrors the record, whatever the press achieved.
        if (recording_)
            showPlaying(recording_->playingValue());
    });
    connect(shareButton_, &QToolButton::clicked, this, [this] {
        if (delegate_ && recording_)
            delegate_->shareRecording(recording_);
    });
    connect(publishButton_, &QToolButton::clicked, this, [this] {
        if (delegate_ && recording_)
            delegate_->publishRecording(recording_);
    });
    connect(editButton_, &QToolButton::clicked, this, [this] {
        if (delegate_ && recording_)
            delegate_->editRecording(recording_);
    });
    connect(deleteButton_, &QToolButton::clicked, this, [this] {
        if (delegate_ && recording_)
            delegate_->deleteRecording(recording_);
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
    return {playButton_, shareButton_, publishButton_, editButton_, deleteButton_};
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
    if (recording != recording_) {
        slide_->stop();
        panelOpen_ = false;
        offset_ = 0;
        editView_->setVisible(false);
    }
    recording_ = std::move(recording);
    const QString message =
        recording_ ? recording_->message().trimmed().section(QLatin1Char('\n'), 0, 0).trimmed()
                   : QString();
    titleLabel_->setFullText(recording_ ? recording_->name() : QString());
    dateLabel_->setText(recording_ ? dateText(recording_->date()) : QString());
    detailsLabel_->setText(recording_ ? detailsText(*recording_, summary) : QString());
    messageLabel_->setFullText(message);
    messageLabel_->setVisible(!message.isEmpty());
    const QFontMetrics titleMetrics(titleLabel_->font());
    const QFontMetrics smallMetrics(dateLabel_->font());
    const QFontMetrics messageMetrics(messageLabel_->font());
    textExtent_ = std::max({titleMetrics.horizontalAdvance(titleLabel_->fullText()),
                            smallMetrics.horizontalAdvance(dateLabel_->text()) + 10 +
                                smallMetrics.horizontalAdvance(detailsLabel_->text()),
                            messageMetrics.horizontalAdvance(message)}) +
                  playingMark_->sizeHint().width();
    editView_->setGeometry(panelLeft(), 0, kPanelWidth, height());
    if (panelOpen_ && slide_->state() != QAbstractAnimation::Running)
        offset_ = openOffset();
    placeFace();
    showPlaying(recording_ && recording_->playingValue());
}

void RecordingCell::showPlaying(bool playing)
{
    playButton_->setChecked(playing);
    playButton_->setText(playing ? tr("Stop") : tr("Play"));
    playButton_->setAccessibleName(playButton_->text());
    playButton_->setIcon(glyphIcon(playing ? Glyph::Stop : Glyph::Play));
    playingMark_->setVisible(playing);
}

int RecordingCell::panelLeft() const
{
    // Beside the texts when the row has the room, else at the row's right edge as on a phone.
    const int besideTexts = kLeftMargin + std::min(textExtent_, kTextWidth) + kTextGap;
    return std::max(0, std::min(width() - kPanelWidth, besideTexts));
}

void RecordingCell::reveal()
{
    if (panelOpen_)
        return;
    panelOpen_ = true;
    editView_->setVisible(true);
    slideTo(openOffset());
}

void RecordingCell::hidePanel()
{
    if (!panelOpen_)
        return;
    panelOpen_ = false;
    if (editView_->isAncestorOf(QApplication::focusWidget()) && delegate_)
        delegate_->recordingCellLeft(*this);
    slideTo(0);
}

void RecordingCell::togglePanel()
{
    if (panelOpen_)
        hidePanel();
    else
        reveal();
}

void RecordingCell::focusPanel()
{
    reveal();
    playButton_->setFocus(Qt::TabFocusReason);
}

void RecordingCell::slideTo(int offset)
{
    slide_->stop();
    slide_->setStartValue(offset_);
    slide_->setEndValue(offset);
    slide_->start();
}

void RecordingCell::setFaceColor(const QColor &color)
{
    faceColor_ = color;
    QPalette palette = infoView_->palette();
    palette.setColor(QPalette::Window, color);
    infoView_->setPalette(palette);
    // The face draws through its shadow effect, which keeps its last picture until told.
    infoView_->update();
    update();
}

void RecordingCell::setSelected(bool selected)
{
    if (selected == selected_)
        return;
    selected_ = selected;
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
    editView_->setGeometry(panelLeft(), 0, kPanelWidth, height());
    if (panelOpen_ && slide_->state() != QAbstractAnimation::Running)
        offset_ = openOffset();
    placeFace();
}

void RecordingCell::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Right of a panel placed beside the texts the row keeps its face's colour; the line left
    // free at the bottom parts this row from the next.
    painter.fillRect(rect(), faceColor_);
    painter.fillRect(QRect(0, height() - 1, width(), 1), Theme::raised);
    if (selected_)
        painter.fillRect(QRect(0, 0, kSelectionBar, height() - 1), Theme::highlight);
}

void RecordingCell::placeFace()
{
    // The face keeps its left edge and gives up its right part, so the title stays readable
    // beside the open panel. The selection bar stays in sight at the left.
    const int left = selected_ ? kSelectionBar : 0;
    infoView_->setGeometry(left, 0, std::max(0, width() - offset_ - left), height() - 1);
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
    if (event->button() == Qt::LeftButton && infoView_->geometry().contains(event->pos()) &&
        delegate_) {
        delegate_->recordingCellTapped(*this);
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

} // namespace murmelo
