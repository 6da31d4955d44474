#include "screens/mail/ReportProblemViewController.h"

#include "mail/jobs/MailJobs.h"
#include "toolkit/InputAccessoryBar.h"
#include "toolkit/TextInputLinks.h"
#include "toolkit/Theme.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>

namespace murmelo {

namespace {
QString darkStyleSheet()
{
    const auto name = [](const QColor &colour) { return colour.name(); };
    return QStringLiteral(
               "#ReportProblemViewController { background: %1; }"
               "QLabel { color: %2; font-size: 14px; }"
               "QLabel#hint { color: %3; font-size: 12px; }"
               "QTextEdit, QLineEdit { background: %4; color: %2; border: 1px solid %5;"
               " border-radius: 6px; padding: 4px; font-size: 14px;"
               " selection-background-color: %6; }"
               "QPushButton { color: %2; background: %5; border: none; border-radius: 6px;"
               " padding: 8px 16px; font-size: 14px; }"
               "QPushButton#sendButton { color: white; background: %6; font-weight: bold; }"
               "QPushButton:disabled, QPushButton#sendButton:disabled {"
               " color: %7; background: %4; }")
        .arg(name(Theme::background), name(Theme::text), name(Theme::secondaryText),
             name(Theme::surface), name(Theme::raised), name(Theme::highlight),
             name(Theme::disabledText));
}
} // namespace

ReportProblemViewController::ReportProblemViewController(QWidget *parent)
    : ViewController(parent), textView_(new QTextEdit(this)), emailTextField_(new QLineEdit(this)),
      sendButton_(new QPushButton(tr("Send Report"), this)),
      doneButton_(new QPushButton(tr("Done"), this))
{
    setObjectName(QStringLiteral("ReportProblemViewController"));
    setWindowTitle(tr("Report a Problem"));
    setAttribute(Qt::WA_StyledBackground);
    setFocusPolicy(Qt::StrongFocus);
    setStyleSheet(darkStyleSheet());
    column_ = new QVBoxLayout(this);
    auto *column = column_;
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(8);
    auto *intro = new QLabel(tr("Something not working? Tell us what happened; the report "
                                "includes Murmelo's version and your system's name."),
                             this);
    intro->setWordWrap(true);
    column->addWidget(intro);
    textView_->setObjectName(QStringLiteral("textView"));
    textView_->setAccessibleName(tr("What happened"));
    textView_->setAcceptRichText(false);
    textView_->setTabChangesFocus(true);
    textView_->setMinimumHeight(180);
    column->addWidget(textView_, 3);
    doneButton_->setObjectName(QStringLiteral("doneButton"));
    doneButton_->setToolTip(tr("Finish the description (Esc)"));
    // A click on it must not take the focus first: ending the editing is its own business.
    // Tab reaches it.
    doneButton_->setFocusPolicy(Qt::TabFocus);
    column->addWidget(doneButton_, 0, Qt::AlignRight);
    auto *emailLabel = new QLabel(tr("Your e-mail address, so that we can answer"), this);
    emailLabel->setObjectName(QStringLiteral("hint"));
    column->addWidget(emailLabel);
    emailTextField_->setObjectName(QStringLiteral("emailTextField"));
    emailTextField_->setAccessibleName(tr("Your e-mail address"));
    emailTextField_->setPlaceholderText(QStringLiteral("you@example.org"));
    QPalette palette = emailTextField_->palette();
    palette.setColor(QPalette::PlaceholderText, Theme::secondaryText);
    emailTextField_->setPalette(palette);
    column->addWidget(emailTextField_);
    sendButton_->setObjectName(QStringLiteral("sendButton"));
    sendButton_->setToolTip(tr("Send the report (Ctrl+Enter)"));
    column->addWidget(sendButton_);
    // The keyboard's bar takes the bottom edge while an input is edited; Send stays clear of it.
    column->addStretch(1);
    column->addSpacing(48);

    sender_ = [](const QString &problem, const QString &userEmail) {
        if (MailJobs *jobs = applicationMailJobs())
            jobs->sendBugReport(problem, userEmail);
    };
    connect(sendButton_, &QPushButton::clicked, this, &ReportProblemViewController::send);
    connect(doneButton_, &QPushButton::clicked, this, &ReportProblemViewController::done);
    // Typing decides at once whether Send can be pressed, so a click on it is never lost to a
    // button that only the end of editing would have enabled.
    connect(textView_, &QTextEdit::textChanged, this,
            &ReportProblemViewController::updateSendButton);
    connect(emailTextField_, &QLineEdit::textChanged, this,
            &ReportProblemViewController::updateSendButton);
    connect(emailTextField_, &QLineEdit::editingFinished, this,
            &ReportProblemViewController::textFieldDidEndEditing);
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            textViewDidEndEditing();
            if (sendButton_->isEnabled())
                send();
        });
    }
    textView_->installEventFilter(this);
    viewDidLoad();
}

void ReportProblemViewController::viewDidLoad()
{
    setDefaultInputAccessoryView(this);
    TextInputLinks::of(textView_).setNextTextInputView(emailTextField_);
    textView_->setPlainText(placeholder());
    sendButton_->setEnabled(false);
}

void ReportProblemViewController::resizeEvent(QResizeEvent *event)
{
    // On a wide window the form keeps a readable width in the middle.
    const int side = std::max(kMargin, (width() - kMaxColumnWidth) / 2);
    column_->setContentsMargins(side, kMargin, side, kMargin);
    ViewController::resizeEvent(event);
}

void ReportProblemViewController::viewDidAppear()
{
    // The screen itself takes the keyboard, so the prompt stays until the user clicks into it.
    setFocus();
    if (SidebarSeam *sidebar = sidebarViewController())
        sidebar->selectIndex(kMenuPosition);
}

bool ReportProblemViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == textView_) {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            done();
            return true;
        }
        if (event->type() == QEvent::FocusIn)
            textViewDidBeginEditing();
        else if (event->type() == QEvent::FocusOut)
            textViewDidEndEditing();
    }
    return ViewController::eventFilter(watched, event);
}

QString ReportProblemViewController::typedProblem() const
{
    const QString text = textView_->toPlainText();
    return text == placeholder() ? QString() : text;
}

void ReportProblemViewController::textViewDidBeginEditing()
{
    if (problem_.isEmpty())
        textView_->clear();
}

void ReportProblemViewController::textViewDidEndEditing()
{
    problem_ = QString();
    const QString text = typedProblem();
    if (!text.isEmpty())
        problem_ = text;
    else
        textView_->setPlainText(placeholder());
    updateSendButton();
}

void ReportProblemViewController::textFieldDidEndEditing()
{
    updateSendButton();
}

void ReportProblemViewController::updateSendButton()
{
    const QString problem = textView_->hasFocus() ? typedProblem() : problem_;
    sendButton_->setEnabled(!problem.isEmpty() && !emailTextField_->text().isEmpty());
}

void ReportProblemViewController::done()
{
    if (textView_->hasFocus())
        textView_->clearFocus();
    textViewDidEndEditing();
}

void ReportProblemViewController::send()
{
    // What is typed counts even when the description is still being edited.
    if (textView_->hasFocus())
        problem_ = typedProblem();
    if (problem_.isEmpty() || emailTextField_->text().isEmpty())
        return;
    if (sender_)
        sender_(problem_, emailTextField_->text());
    problem_ = QString();
    textView_->clear();
    // A sent report cannot be sent again empty: the prompt is back and Send waits for a new text.
    if (!textView_->hasFocus())
        textView_->setPlainText(placeholder());
    updateSendButton();
}

} // namespace murmelo
