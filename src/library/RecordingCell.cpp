#include "library/RecordingCell.h"

#include "library/Recording.h"
#include "platform/Theme.h"
#include "toolkit/ElidedLabel.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace murmelo {

namespace {
constexpr int kFadeMilliseconds = 200;

QString dateText(const QDateTime &date)
{
    return date.isValid() ? QLocale().toString(date.toLocalTime(), QLocale::ShortFormat)
                          : QString();
}
} // namespace

RecordingCell::RecordingCell(QWidget *parent)
    : QWidget(parent), m_infoView(new QFrame(this)), m_editView(new QWidget(this)),
      m_titleLabel(new ElidedLabel(m_infoView)), m_dateLabel(new QLabel(m_infoView)),
      m_playingMark(new QLabel(m_infoView)),
      m_playButton(panelButton(tr("Play"), QStyle::SP_MediaPlay)),
      m_shareButton(panelButton(tr("Share"), QStyle::SP_CommandLink)),
      m_editButton(panelButton(tr("Edit"), QStyle::SP_FileDialogContentsView)),
      m_deleteButton(panelButton(tr("Delete"), QStyle::SP_TrashIcon)),
      m_slide(new QVariantAnimation(this))
{
    setFixedHeight(kHeight);
    setAutoFillBackground(true);
    // The list's one dark look, whatever the application's palette.
    QPalette divider = palette();
    divider.setColor(QPalette::Window, Theme::raised);
    setPalette(divider);

    m_editView->setAutoFillBackground(true);
    QPalette panel = m_editView->palette();
    panel.setColor(QPalette::Window, Theme::raised);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText})
        panel.setColor(role, Theme::text);
    panel.setColor(QPalette::Button, Theme::raised);
    m_editView->setPalette(panel);
    auto *buttons = new QHBoxLayout(m_editView);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    for (QToolButton *button : {m_playButton, m_shareButton, m_editButton, m_deleteButton})
        buttons->addWidget(button);
    m_playButton->setCheckable(true);
    m_editView->setVisible(false);

    m_infoView->setAutoFillBackground(true);
    QFont title = m_titleLabel->font();
    title.setPixelSize(16);
    title.setBold(true);
    m_titleLabel->setFont(title);
    QFont small = m_dateLabel->font();
    small.setPixelSize(12);
    m_dateLabel->setFont(small);
    m_playingMark->setFont(small);
    QPalette bright = m_titleLabel->palette();
    bright.setColor(QPalette::WindowText, Theme::text);
    m_titleLabel->setPalette(bright);
    QPalette grey = m_dateLabel->palette();
    grey.setColor(QPalette::WindowText, Theme::secondaryText);
    m_dateLabel->setPalette(grey);
    m_playingMark->setPalette(grey);
    // A glyph rather than a word: it must leave the title room beside an open panel.
    m_playingMark->setText(QStringLiteral("▶"));
    m_playingMark->setAccessibleName(tr("playing"));
    m_playingMark->setToolTip(tr("Playing"));
    m_playingMark->setVisible(false);
    for (QLabel *label : {static_cast<QLabel *>(m_titleLabel), m_dateLabel})
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_titleLabel);
    texts->addWidget(m_dateLabel);
    auto *face = new QHBoxLayout(m_infoView);
    face->setContentsMargins(14, 8, 10, 8);
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

QToolButton *RecordingCell::panelButton(const QString &text, int icon)
{
    auto *button = new QToolButton;
    button->setText(text);
    button->setIcon(style()->standardIcon(QStyle::StandardPixmap(icon)));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFixedSize(kPanelWidth / 4, kHeight);
    // The list keeps the keyboard; its keys reach every action.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void RecordingCell::setRecording(std::shared_ptr<Recording> recording)
{
    if (recording != m_recording) {
        m_slide->stop();
        m_panelOpen = false;
        m_offset = 0;
        m_editView->setVisible(false);
        placeFace();
    }
    m_recording = std::move(recording);
    m_titleLabel->setFullText(m_recording ? m_recording->name() : QString());
    m_dateLabel->setText(m_recording ? dateText(m_recording->date()) : QString());
    showPlaying(m_recording && m_recording->playingValue());
}

void RecordingCell::showPlaying(bool playing)
{
    m_playButton->setChecked(playing);
    m_playButton->setText(playing ? tr("Stop") : tr("Play"));
    m_playButton->setIcon(
        style()->standardIcon(playing ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
    m_playingMark->setVisible(playing);
}

void RecordingCell::reveal()
{
    if (m_panelOpen)
        return;
    m_panelOpen = true;
    m_editView->setVisible(true);
    slideTo(m_editView->width());
}

void RecordingCell::hidePanel()
{
    if (!m_panelOpen)
        return;
    m_panelOpen = false;
    slideTo(0);
}

void RecordingCell::togglePanel()
{
    if (m_panelOpen)
        hidePanel();
    else
        reveal();
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
    m_editView->setGeometry(width() - kPanelWidth, 0, kPanelWidth, height());
    placeFace();
}

void RecordingCell::placeFace()
{
    // The face keeps its left edge and gives up its right part, so the title stays readable
    // beside the open panel; the line left free at the bottom parts this row from the next.
    m_infoView->setGeometry(0, 0, width() - m_offset, height() - 1);
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
