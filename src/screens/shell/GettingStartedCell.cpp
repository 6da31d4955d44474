#include "screens/shell/GettingStartedCell.h"

#include "platform/Localized.h"
#include "screens/shell/AppResources.h"
#include "toolkit/Theme.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>

namespace murmelo {

namespace {
constexpr int kInset = 6;     // the row's card sits this far inside the row
constexpr int kTextLeft = 22; // where title and text start
constexpr int kTitleHeight = 28;
constexpr int kHeightLimit = 10000;
} // namespace

GettingStartedCell::GettingStartedCell(QWidget *parent)
    : QWidget(parent), bgImageView_(new QLabel(this)), infoLabel_(new QLabel(this)),
      infoTextView_(new QLabel(this)), arrowImageView_(new QLabel(this))
{
    setObjectName(QString::fromLatin1(kReuseIdentifier));
    // Taps go to the list, which decides what expands.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    bgImageView_->setObjectName(QStringLiteral("bgImageView"));
    bgImageView_->setStyleSheet(
        QStringLiteral("#bgImageView { border-image: url(%1) 6 6 6 6 stretch; border-width: 6px; }")
            .arg(appImagePath(QStringLiteral("bg_cell.png"))));
    setKeyboardCurrent(false);
    infoTextView_->setWordWrap(true);
    infoTextView_->setFont(textFont());
    infoTextView_->setFixedWidth(kTextWidth);
    infoTextView_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    infoTextView_->setContentsMargins(0, 0, 0, 0);
    infoTextView_->hide();
}

QFont GettingStartedCell::textFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(kTextPixelSize); // the screens' points are pixels
    return font;
}

QString GettingStartedCell::titleKey(int topic)
{
    return QStringLiteral("info.%1.title").arg(topic);
}

QString GettingStartedCell::textKey(int topic)
{
    return QStringLiteral("info.%1.info").arg(topic);
}

QString GettingStartedCell::title(int topic)
{
    return localized(titleKey(topic).toUtf8().constData());
}

int GettingStartedCell::expandedHeight(int topic)
{
    const QString text = localized(textKey(topic).toUtf8().constData());
    const QRect bounds =
        QFontMetrics(textFont())
            .boundingRect(QRect(0, 0, kTextWidth, kHeightLimit), Qt::TextWordWrap, text);
    return bounds.height() + kExpandedExtra;
}

void GettingStartedCell::setIndex(int topic)
{
    infoLabel_->setText(title(topic));
    infoTextView_->setText(localized(textKey(topic).toUtf8().constData()));
    infoTextView_->setStyleSheet(QStringLiteral("color: white;"));
}

void GettingStartedCell::setExposed(bool exposed)
{
    exposed_ = exposed;
    infoTextView_->setVisible(exposed);
    arrowImageView_->setPixmap(QPixmap(appImagePath(
        exposed ? QStringLiteral("arrow_highlighted.png") : QStringLiteral("arrow.png"))));
    layOut();
}

void GettingStartedCell::setKeyboardCurrent(bool current)
{
    keyboardCurrent_ = current;
    // Underlined as well as coloured, so the mark does not rest on colour alone.
    infoLabel_->setStyleSheet(
        QStringLiteral("color: %1; font-size: 16px; font-weight: bold; text-decoration: %2;")
            .arg(current ? Theme::focusRing.name() : QStringLiteral("#eef1fa"),
                 current ? QStringLiteral("underline") : QStringLiteral("none")));
}

void GettingStartedCell::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

void GettingStartedCell::layOut()
{
    bgImageView_->setGeometry(rect().adjusted(kInset, kInset / 2, -kInset, -kInset / 2));
    // Collapsed, the title is centred in its row; expanded, it heads the text.
    const int titleTop = exposed_ ? 4 : 0;
    const int titleHeight = exposed_ ? kTitleHeight : height();
    infoLabel_->setGeometry(kTextLeft, titleTop, width() - kTextLeft - 40, titleHeight);
    arrowImageView_->setGeometry(width() - 36, titleTop + (titleHeight - 16) / 2, 16, 16);
    infoTextView_->setGeometry(kTextLeft, titleTop + kTitleHeight, kTextWidth,
                               qMax(0, height() - kTitleHeight - titleTop));
}

} // namespace murmelo
