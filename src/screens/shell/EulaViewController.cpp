#include "screens/shell/EulaViewController.h"

#include "platform/Defaults.h"
#include "screens/shell/AppResources.h"

#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace murmelo {

namespace {
constexpr double kEndTolerance = 10.0;

const char kPrivacyNote[] =
    "<h3>Before you start</h3>"
    "<p>Murmelo keeps everything you record on this computer: your recordings, their "
    "reversals and the notes you write live in your own data folder and nowhere else.</p>"
    "<p>Something leaves this computer only when you ask for it:</p>"
    "<ul><li><b>Sending a reversal</b> mails the recording and its reversal, with the name and "
    "message you typed, to the addresses you chose and to the Murmelo mailbox.</li>"
    "<li><b>Reporting a problem</b> mails your description to the Murmelo team.</li>"
    "<li><b>Usage and crash reports</b> start only once you accept this agreement, and stop "
    "when you switch them off in Settings. They tell the Murmelo team when the application "
    "starts and stops and how long it ran, and the application's own log lines; after a crash, "
    "every thread's call stack, the processor's registers, the libraries loaded (folders inside "
    "your home folder shown as ~) and the error's text. With them go the application's name, "
    "version, build and build id; the system's name and version, the kernel's version, the "
    "processor's model and architecture, the memory size, the machine's model as its firmware "
    "names it; the language, locale and time zone; whether a network connection is up; whether "
    "the system has a library preload list or an instrumentation server; and two random "
    "identifiers kept in your settings, which stand for you without naming the machine "
    "(\"Reset identifiers\" in Settings replaces them). "
    "They never contain audio, names or addresses. Settings shows what is waiting to be "
    "sent (\"Show what is sent\").</li></ul>"
    "<p>Murmelo is free software, licensed under the GNU General Public License, version 3 or "
    "later. Please read it below; you can accept it once you have scrolled to the end.</p>"
    "<hr/>";
} // namespace

bool isWithinReachOfEnd(double y, double contentHeight, double visibleHeight)
{
    return y >= contentHeight - visibleHeight - kEndTolerance;
}

QString EulaViewController::agreementText()
{
    loadAppResources();
    QFile licence(QStringLiteral(":/murmelo/LICENSE"));
    licence.open(QIODevice::ReadOnly);
    return QString::fromLatin1(kPrivacyNote) +
           QStringLiteral("<pre style=\"font-size:11px; white-space:pre-wrap\">") +
           QString::fromUtf8(licence.readAll()).toHtmlEscaped() + QStringLiteral("</pre>");
}

EulaViewController::EulaViewController(const QString &text, QWidget *parent)
    : ViewController(parent), backgroundImageView_(new QLabel(this)),
      eulaTextView_(new QTextBrowser(this)), eulaButton_(new QPushButton(tr("Accept"), this)),
      rest_(new QTimer(this))
{
    setObjectName(QStringLiteral("EulaViewController"));
    setWindowTitle(tr("Licence agreement"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral(
        "#EulaViewController { background: #1c2430; }"
        "QLabel#eulaTitle { color: white; font-size: 18px; font-weight: bold; }"
        "QPushButton { color: white; background: #5b6ee1; border: none; border-radius: 8px;"
        " padding: 10px; font-size: 16px; font-weight: bold; }"
        "QPushButton:disabled { background: #3a4358; color: #7d869c; }"));

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 16, 12, 12);
    auto *title = new QLabel(windowTitle(), this);
    title->setObjectName(QStringLiteral("eulaTitle"));
    column->addWidget(title);

    // The text sits on a stretched rounded card: its 20-point corners keep their shape.
    backgroundImageView_->setObjectName(QStringLiteral("backgroundImageView"));
    backgroundImageView_->setStyleSheet(
        QStringLiteral("#backgroundImageView { border-image: url(%1) 20 20 20 20 stretch; "
                       "border-width: 20px; }")
            .arg(appImagePath(QStringLiteral("bg_textview.png"))));
    auto *card = new QVBoxLayout(backgroundImageView_);
    card->setContentsMargins(0, 0, 0, 0);
    eulaTextView_->setObjectName(QStringLiteral("eulaTextView"));
    eulaTextView_->setFrameShape(QFrame::NoFrame);
    eulaTextView_->setStyleSheet(QStringLiteral(
        "QTextBrowser { background: transparent; color: #1c2430; }"
        "QScrollBar:vertical { width: 6px; background: transparent; }"
        "QScrollBar::handle:vertical { background: #c9cdd8; border-radius: 3px;"
        " min-height: 30px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"));
    eulaTextView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    eulaTextView_->setHtml(text);
    card->addWidget(eulaTextView_);
    column->addWidget(backgroundImageView_, 1);

    eulaButton_->setObjectName(QStringLiteral("eulaButton"));
    eulaButton_->setEnabled(false);
    connect(eulaButton_, &QPushButton::clicked, this, &EulaViewController::acceptEula);
    column->addWidget(eulaButton_);

    // Scrolling has come to rest when it has paused briefly, or at once when the reader lets go
    // of the scroll bar. A wheel turn counts as scrolling even when the text cannot move.
    rest_->setSingleShot(true);
    rest_->setInterval(kRestMilliseconds);
    connect(rest_, &QTimer::timeout, this, &EulaViewController::enableButton);
    QScrollBar *bar = eulaTextView_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar] {
        if (!bar->isSliderDown())
            rest_->start();
    });
    connect(bar, &QScrollBar::sliderReleased, this, &EulaViewController::enableButton);
    eulaTextView_->viewport()->installEventFilter(this);
}

bool EulaViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == eulaTextView_->viewport() &&
        (event->type() == QEvent::Wheel || event->type() == QEvent::MouseButtonRelease))
        rest_->start();
    return ViewController::eventFilter(watched, event);
}

void EulaViewController::enableButton()
{
    const QScrollBar *bar = eulaTextView_->verticalScrollBar();
    const double visible = eulaTextView_->viewport()->height();
    // The scroll range is the content height less the visible height.
    const double content = visible + bar->maximum();
    eulaButton_->setEnabled(isWithinReachOfEnd(bar->value(), content, visible));
}

void EulaViewController::acceptEula()
{
    Defaults::standard().setBool(QString::fromLatin1(kDefaultsKey), true);
    Defaults::standard().synchronize();
    emit accepted();
    dismiss();
}

void EulaViewController::dismiss()
{
    eulaButton_->setEnabled(false);
    if (!parentWidget()) {
        close();
        deleteLater();
        return;
    }
    auto *fall = new QPropertyAnimation(this, "pos", this);
    fall->setDuration(250);
    fall->setEasingCurve(QEasingCurve::InCubic);
    fall->setEndValue(QPoint(x(), parentWidget()->height()));
    connect(fall, &QPropertyAnimation::finished, this, &QObject::deleteLater);
    fall->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace murmelo
