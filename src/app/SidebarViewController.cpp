#include "app/SidebarViewController.h"

#include "app/SpeechSidebarMenuController.h"
#include "toolkit/ElidedLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace murmelo {

namespace {
constexpr int kBarHeight = 44;
}

void DeleteLater::operator()(ViewController *screen) const
{
    if (screen)
        screen->deleteLater();
}

SidebarViewController *sidebarOf(const ViewController *screen)
{
    return screen ? dynamic_cast<SidebarViewController *>(screen->sidebarViewController())
                  : nullptr;
}

SidebarViewController::SidebarViewController(QWidget *parent)
    : ViewController(parent), sidebarContainerView_(new QWidget(this)),
      contentContainerView_(new QWidget(this))
{
    setObjectName(QStringLiteral("SidebarViewController"));
    setWindowTitle(QStringLiteral("Murmelo"));
    sidebarContainerView_->setObjectName(QStringLiteral("sidebarContainerView"));
    sidebarContainerView_->setAutoFillBackground(true);
    sidebarContainerView_->setStyleSheet(QStringLiteral("background: #1c2430;"));
    new QVBoxLayout(sidebarContainerView_);
    sidebarContainerView_->layout()->setContentsMargins(0, 0, 0, 0);
    buildContentContainer();
    sidebarContainerView_->hide();

    storyboard_.setPresenter([this](ViewController *, ViewController *destination) {
        if (destination == pendingModal_) {
            pendingModal_ = nullptr;
            presentViewController(destination);
        } else {
            setContentViewController(destination);
        }
    });
    setStoryboard(&storyboard_);
}

SidebarViewController::~SidebarViewController() = default;

void SidebarViewController::buildContentContainer()
{
    contentContainerView_->setObjectName(QStringLiteral("contentContainerView"));
    contentContainerView_->setAutoFillBackground(true);
    auto *column = new QVBoxLayout(contentContainerView_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *bar = new QWidget(contentContainerView_);
    bar->setObjectName(QStringLiteral("navigationBar"));
    bar->setFixedHeight(kBarHeight);
    bar->setStyleSheet(QStringLiteral(
        "#navigationBar { background: #2b3548; }"
        "QLabel { color: white; font-weight: bold; font-size: 17px; }"
        "QToolButton { color: white; border: none; font-size: 22px; padding: 0 10px; }"
        "QToolButton:checked { background: #5b6ee1; border-radius: 6px; }"
        "QToolButton:disabled { color: #67718a; }"));
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 0, 6, 0);
    sidebarButton_ = new QToolButton(bar);
    sidebarButton_->setObjectName(QStringLiteral("sidebarButton"));
    sidebarButton_->setText(QStringLiteral("☰"));
    sidebarButton_->setToolTip(tr("Menu (F9)"));
    sidebarButton_->setAccessibleName(tr("Menu"));
    sidebarButton_->setCheckable(true);
    // Reached with Tab; a click leaves the keyboard with the screen.
    sidebarButton_->setFocusPolicy(Qt::TabFocus);
    // The button's own checked state follows the menu, not the click.
    connect(sidebarButton_, &QToolButton::clicked, this, [this] {
        sidebarButton_->setChecked(sidebarVisible() && !closing_);
        toggleSidebar();
    });
    titleLabel_ = new ElidedLabel(windowTitle(), bar);
    titleLabel_->setAlignment(Qt::AlignCenter);
    row->addWidget(sidebarButton_);
    row->addWidget(titleLabel_, 1);
    row->addSpacing(sidebarButton_->sizeHint().width());
    column->addWidget(bar);

    contentHost_ = new QWidget(contentContainerView_);
    contentHost_->setObjectName(QStringLiteral("contentHost"));
    auto *hostLayout = new QVBoxLayout(contentHost_);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    column->addWidget(contentHost_, 1);
    buildProgressStrip(contentContainerView_);
    column->addWidget(progressView_);
}

void SidebarViewController::buildProgressStrip(QWidget *parent)
{
    progressView_ = new QWidget(parent);
    progressView_->setObjectName(QStringLiteral("progressView"));
    progressView_->setStyleSheet(QStringLiteral(
        "#progressView { background: #2b3548; } QLabel { color: white; }"
        "QPushButton { color: white; background: #5b6ee1; border: none; border-radius: 4px;"
        " padding: 4px 10px; }"));
    auto *row = new QHBoxLayout(progressView_);
    row->setContentsMargins(8, 6, 8, 6);
    progressIndicator_ = new QProgressBar(progressView_);
    progressIndicator_->setObjectName(QStringLiteral("progressIndicator"));
    progressIndicator_->setFixedSize(36, 8);
    progressIndicator_->setTextVisible(false);
    progressLabel_ = new QLabel(progressView_);
    progressLabel_->setObjectName(QStringLiteral("progressLabel"));
    progressLabel_->setWordWrap(true);
    mailCancelButton_ = new QPushButton(progressView_);
    mailCancelButton_->setObjectName(QStringLiteral("mailCancelButton"));
    connect(mailCancelButton_, &QPushButton::clicked, this, &SidebarViewController::cancelMail);
    row->addWidget(progressIndicator_);
    row->addWidget(progressLabel_, 1);
    row->addWidget(mailCancelButton_);
    progressView_->hide();
}

void SidebarViewController::setMenuViewController(SpeechSidebarMenuController *menu)
{
    menu_ = menu;
    menu->setParent(sidebarContainerView_);
    sidebarContainerView_->layout()->addWidget(menu);
    sidebarContainerView_->layout()->setAlignment(menu, Qt::AlignLeft);
    menu->setFixedWidth(menuWidth());
}

bool SidebarViewController::sidebarVisible() const
{
    return !sidebarContainerView_->isHidden();
}

bool SidebarViewController::isSliding() const
{
    return slide_ && slide_->state() == QAbstractAnimation::Running;
}

int SidebarViewController::menuWidth() const
{
    // The menu is only as wide as the part the content leaves uncovered; on a wide window a
    // phone-width menu is enough, and the rest of the content stays in sight.
    return qBound(0, width() - int(revealWidth_), kWideMenuWidth);
}

int SidebarViewController::openX() const
{
    // On a phone-sized window the centre goes to 1.5 W - revealWidth, so the left edge to
    // W - revealWidth: only the reveal strip of the content stays visible.
    const double centre = 1.5 * width() - revealWidth_;
    const int phoneX = qRound(centre - contentContainerView_->width() / 2.0);
    return qMin(phoneX, menuWidth());
}

void SidebarViewController::giveKeyboardToMenu()
{
    // Keys and shortcuts of the screen behind the open menu must not reach it.
    if (QWidget *focused = focusWidget(); focused && contentHost_->isAncestorOf(focused))
        focusBeforeMenu_ = focused;
    contentHost_->setEnabled(false);
    if (menu_)
        menu_->focusCurrentEntry();
}

void SidebarViewController::giveKeyboardToContent()
{
    contentHost_->setEnabled(true);
    if (focusBeforeMenu_ && focusBeforeMenu_->isVisible())
        focusBeforeMenu_->setFocus(Qt::OtherFocusReason);
    else if (content_)
        content_->setFocus(Qt::OtherFocusReason);
    focusBeforeMenu_ = nullptr;
}

void SidebarViewController::slideContentTo(int x, std::function<void()> finished)
{
    if (slide_)
        slide_->stop();
    slide_ = new QPropertyAnimation(contentContainerView_, "pos", this);
    slide_->setDuration(kSlideMilliseconds);
    slide_->setEasingCurve(QEasingCurve::InOutQuad);
    slide_->setEndValue(QPoint(x, contentContainerView_->y()));
    connect(slide_, &QPropertyAnimation::finished, this, std::move(finished));
    slide_->start(QAbstractAnimation::DeleteWhenStopped);
}

void SidebarViewController::showSidebar()
{
    sidebarButton_->setChecked(true);
    if (sidebarVisible() && !closing_)
        return;
    closing_ = false;
    if (menu_)
        menu_->setFixedWidth(menuWidth());
    sidebarContainerView_->show();
    giveKeyboardToMenu();
    slideContentTo(openX(), [] {});
}

void SidebarViewController::hideSidebar()
{
    sidebarButton_->setChecked(false);
    if (!sidebarVisible() || closing_)
        return;
    closing_ = true;
    giveKeyboardToContent();
    slideContentTo(0, [this] {
        closing_ = false;
        sidebarContainerView_->hide();
    });
}

void SidebarViewController::toggleSidebar()
{
    if (sidebarVisible() && !closing_)
        hideSidebar();
    else
        showSidebar();
}

void SidebarViewController::setContentViewController(ViewController *screen)
{
    replaceContentViewController(screen);
}

ScreenHandle SidebarViewController::replaceContentViewController(ViewController *screen)
{
    if (!screen || screen == content_)
        return ScreenHandle();
    ScreenHandle old(content_);
    if (old) {
        old->hide();
        old->setParent(nullptr);
    }
    content_ = screen;
    screen->setStoryboard(&storyboard_);
    screen->setParent(contentHost_);
    contentHost_->layout()->addWidget(screen);
    titleLabel_->setFullText(screen->windowTitle().isEmpty() ? windowTitle()
                                                             : screen->windowTitle());
    screen->show();
    Q_EMIT contentViewControllerChanged();
    return old;
}

void SidebarViewController::presentViewController(ViewController *screen)
{
    screen->setStoryboard(&storyboard_);
    screen->setParent(this);
    screen->setGeometry(0, height(), width(), height());
    screen->show();
    screen->raise();
    auto *rise = new QPropertyAnimation(screen, "pos", screen);
    rise->setDuration(kSlideMilliseconds);
    rise->setEasingCurve(QEasingCurve::OutCubic);
    rise->setEndValue(QPoint(0, 0));
    rise->start(QAbstractAnimation::DeleteWhenStopped);
}

void SidebarViewController::registerModalSegue(const QString &identifier,
                                               Storyboard::Factory factory)
{
    storyboard_.registerSegue(identifier, [this, factory = std::move(factory)] {
        ViewController *screen = factory();
        pendingModal_ = screen;
        return screen;
    });
}

void SidebarViewController::setSidebarButtonEnabled(bool enabled)
{
    sidebarButton_->setEnabled(enabled);
    if (menu_)
        menu_->setNavigationEnabled(enabled);
}

void SidebarViewController::selectIndex(int index)
{
    if (menu_)
        menu_->selectIndex(index);
}

void SidebarViewController::startMailProgress(const QString &text, int mail)
{
    const auto same = std::find_if(mails_.begin(), mails_.end(),
                                   [mail](const MailStrip &strip) { return strip.mail == mail; });
    if (same != mails_.end())
        mails_.erase(same);
    mails_.push_back({mail, text, false});
    showMailStrip();
}

void SidebarViewController::updateMailMessage(const QString &text)
{
    QString shown = text;
    shown.remove(QLatin1Char('\t'));
    const auto strip = shownMail();
    if (strip != mails_.end())
        strip->text = shown;
    progressLabel_->setText(shown);
}

void SidebarViewController::mailDone(const QString &text, int mail)
{
    const auto strip = std::find_if(mails_.begin(), mails_.end(),
                                    [mail](const MailStrip &each) { return each.mail == mail; });
    if (strip == mails_.end())
        mails_.push_back({mail, text, true});
    else
        *strip = {mail, text, true};
    showMailStrip();
}

void SidebarViewController::cancelMail()
{
    const auto strip = shownMail();
    if (strip == mails_.end()) {
        progressView_->hide();
        return;
    }
    const MailStrip ended = *strip;
    mails_.erase(strip);
    showMailStrip();
    if (!ended.done && cancelMail_)
        cancelMail_(ended.mail);
}

std::vector<SidebarViewController::MailStrip>::iterator SidebarViewController::shownMail()
{
    // An outcome waits for its Done before anything still sending is shown again.
    const auto ended = std::find_if(mails_.begin(), mails_.end(),
                                    [](const MailStrip &strip) { return strip.done; });
    return ended != mails_.end() ? ended : mails_.begin();
}

void SidebarViewController::showMailStrip()
{
    const auto strip = shownMail();
    if (strip == mails_.end()) {
        progressView_->hide();
        progressIndicator_->setRange(0, 1);
        progressIndicator_->hide();
        return;
    }
    progressLabel_->setText(strip->text);
    if (strip->done) {
        progressIndicator_->setRange(0, 1);
        progressIndicator_->hide();
        mailCancelButton_->setText(tr("Done"));
    } else {
        progressIndicator_->setRange(0, 0); // turning
        progressIndicator_->show();
        mailCancelButton_->setText(tr("Cancel"));
    }
    progressView_->show();
}

void SidebarViewController::resizeEvent(QResizeEvent *event)
{
    ViewController::resizeEvent(event);
    sidebarContainerView_->setGeometry(rect());
    const bool open = sidebarVisible() && !closing_;
    if (slide_)
        slide_->stop();
    if (menu_)
        menu_->setFixedWidth(menuWidth());
    contentContainerView_->resize(size());
    contentContainerView_->move(open ? openX() : 0, 0);
    if (!open)
        sidebarContainerView_->hide();
    closing_ = false;
    contentContainerView_->raise();
    for (QObject *child : children()) {
        auto *presented = qobject_cast<ViewController *>(child);
        if (presented && presented->parent() == this) {
            presented->setGeometry(rect());
            presented->raise();
        }
    }
}

} // namespace murmelo
