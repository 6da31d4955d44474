#include "screens/shell/SettingsViewController.h"

#include "mail/jobs/RelaySettings.h"
#include "platform/ServiceEndpoints.h"
#include "platform/StandardPaths.h"
#include "playback/ForwardWords.h"
#include "screens/mail/RelaySettingsView.h"
#include "telemetry/VGSdkFolder.h"
#include "telemetry/VGUploadDump.h"
#include "telemetry/session/VGTelemetrySwitch.h"
#include "telemetry/session/Vigil.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace murmelo {

namespace {
void addSetting(QVBoxLayout *column, QWidget *parent, const QString &name, const QString &value,
                const QString &objectName)
{
    auto *label = new QLabel(name, parent);
    label->setObjectName(QStringLiteral("settingName"));
    auto *shown = new QLabel(value, parent);
    shown->setObjectName(objectName);
    shown->setWordWrap(true);
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(label);
    column->addWidget(shown);
    column->addSpacing(10);
}
} // namespace

SettingsViewController::SettingsViewController(QWidget *parent) : ViewController(parent)
{
    setObjectName(QStringLiteral("SettingsViewController"));
    setWindowTitle(tr("Settings"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(
        QStringLiteral("#SettingsViewController { background: #15171c; }"
                       "QLabel#settingName { color: #8fa0ff; font-weight: bold; font-size: 13px; }"
                       "QLabel { color: #f2f2f5; font-size: 14px; }"
                       "QPushButton { color: white; background: #5b6ee1; border: none;"
                       " border-radius: 6px; padding: 6px 12px; }"));
    // The page scrolls once the mail server's fields are open on a small window.
    auto *scroll = scroll_ = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Not a stop of its own for Tab (it would take the keyboard with nothing drawn to show it);
    // it scrolls to whichever of its controls Tab reaches.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto *page = new QWidget(scroll);
    page->setObjectName(QStringLiteral("settingsPage"));
    page->setStyleSheet(QStringLiteral("#settingsPage { background: #15171c; }"));
    scroll->setWidget(page);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(18, 18, 18, 18);
    addSetting(column, this, tr("Library"),
               QDir::toNativeSeparators(StandardPaths::libraryDirectory()),
               QStringLiteral("libraryPath"));
    auto *mailTitle = new QLabel(tr("Mail"), this);
    mailTitle->setObjectName(QStringLiteral("settingName"));
    column->addWidget(mailTitle);
    relaySettings_ = new RelaySettingsView(RelaySettings::standard(), this);
    column->addWidget(relaySettings_);
    column->addSpacing(10);
    const QString refused = ServiceEndpoints::telemetryUrlProblem();
    addSetting(column, this, tr("Telemetry service"),
               refused.isEmpty() ? ServiceEndpoints::telemetryUrl().toString() : refused,
               QStringLiteral("telemetryUrl"));
    auto *telemetry = new QCheckBox(tr("Send usage and crash reports"), this);
    telemetry->setObjectName(QStringLiteral("telemetrySwitch"));
    telemetry->setChecked(VGTelemetrySwitch::enabled());
    connect(telemetry, &QCheckBox::toggled, this,
            [](bool on) { VGTelemetrySwitch::setEnabled(on); });
    column->addWidget(telemetry);
    auto *sent = new QLabel(tr("When on (and once the agreement is accepted), Murmelo reports when "
                               "it starts and stops, its own log lines and, after a crash, where "
                               "it crashed, with its version, the system and machine it runs on "
                               "and two random identifiers of yours. Never your audio, names or "
                               "addresses."),
                            this);
    sent->setObjectName(QStringLiteral("telemetryNote"));
    sent->setWordWrap(true);
    sent->setStyleSheet(QStringLiteral("color: #67718a; font-size: 12px;"));
    column->addWidget(sent);
    auto *telemetryButtons = new QHBoxLayout;
    auto *show = new QPushButton(tr("Show what is sent"), this);
    show->setObjectName(QStringLiteral("showSentButton"));
    show->setToolTip(tr("The reports waiting to be sent, decoded"));
    connect(show, &QPushButton::clicked, this, &SettingsViewController::showWhatIsSent);
    telemetryButtons->addWidget(show);
    auto *reset = new QPushButton(tr("Reset identifiers"), this);
    reset->setObjectName(QStringLiteral("resetIdentifiersButton"));
    reset->setToolTip(tr("Reports from now on carry new random identifiers"));
    connect(reset, &QPushButton::clicked, this, &SettingsViewController::resetIdentifiers);
    telemetryButtons->addWidget(reset);
    telemetryButtons->addStretch(1);
    column->addLayout(telemetryButtons);
    identifiersNote_ = new QLabel(this);
    identifiersNote_->setObjectName(QStringLiteral("identifiersNote"));
    identifiersNote_->setWordWrap(true);
    identifiersNote_->setStyleSheet(QStringLiteral("color: #67718a; font-size: 12px;"));
    identifiersNote_->hide();
    column->addWidget(identifiersNote_);
    column->addSpacing(10);
    auto *wordsTitle = new QLabel(tr("Forward words"), this);
    wordsTitle->setObjectName(QStringLiteral("settingName"));
    column->addWidget(wordsTitle);
    auto *words = new QCheckBox(tr("Recognise the forward words"), this);
    words->setObjectName(QStringLiteral("forwardWordsSwitch"));
    words->setChecked(ForwardWords::enabled());
    connect(words, &QCheckBox::toggled, this, [](bool on) { ForwardWords::setEnabled(on); });
    column->addWidget(words);
    auto *wordsNote =
        new QLabel(tr("The words said forward under each phrase marker, shown under what was "
                      "heard. US English, recognised on this computer: nothing is sent anywhere."),
                   this);
    wordsNote->setWordWrap(true);
    wordsNote->setStyleSheet(QStringLiteral("color: #67718a; font-size: 12px;"));
    column->addWidget(wordsNote);
    column->addSpacing(10);
    auto *note = new QLabel(tr("The environment variable %1 (host or host:port) sends mail to "
                               "another server, and %2 names another telemetry service.")
                                .arg(QLatin1String(ServiceEndpoints::kMailRelayVariable),
                                     QLatin1String(ServiceEndpoints::kTelemetryUrlVariable)),
                            this);
    note->setWordWrap(true);
    note->setStyleSheet(QStringLiteral("color: #a9adb8; font-size: 12px;"));
    column->addWidget(note);
    auto *report = new QPushButton(tr("Report a Problem\u2026"), this);
    report->setObjectName(QStringLiteral("reportProblemButton"));
    report->setToolTip(tr("Tell us what went wrong (Ctrl+5)"));
    connect(report, &QPushButton::clicked, this,
            [this] { performSegue(QStringLiteral("ReportProblem")); });
    column->addWidget(report);
    column->addStretch(1);
    auto *version = new QLabel(tr("Murmelo %1").arg(QLatin1String(MURMELO_VERSION)), this);
    version->setStyleSheet(QStringLiteral("color: #a9adb8; font-size: 12px;"));
    column->addWidget(version);
}

void SettingsViewController::showMailSettings()
{
    scroll_->ensureWidgetVisible(relaySettings_, 0, 0);
    relaySettings_->ownServerSwitch()->setFocus(Qt::OtherFocusReason);
}

void SettingsViewController::showWhatIsSent()
{
    if (!sentView_) {
        sentView_ = new QDialog(this);
        sentView_->setObjectName(QStringLiteral("sentUploadsView"));
        sentView_->setWindowTitle(tr("What is sent"));
        sentView_->resize(520, 560);
        auto *column = new QVBoxLayout(sentView_);
        auto *text = new QPlainTextEdit(sentView_);
        text->setObjectName(QStringLiteral("sentUploadsText"));
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        column->addWidget(text);
        auto *close = new QPushButton(tr("Close"), sentView_);
        close->setObjectName(QStringLiteral("sentUploadsClose"));
        connect(close, &QPushButton::clicked, sentView_, &QDialog::close);
        column->addWidget(close, 0, Qt::AlignRight);
    }
    const QString pending = VGUploadDump::describePendingUploads(VGSdkFolder::location());
    const QString text = pending.isEmpty()
                             ? tr("Nothing is waiting to be sent.")
                             : tr("Waiting to be sent, decoded (each file is one upload):") +
                                   QStringLiteral("\n\n") + pending;
    sentView_->findChild<QPlainTextEdit *>()->setPlainText(text);
    sentView_->show();
    sentView_->raise();
}

void SettingsViewController::resetIdentifiers()
{
    Vigil::resetIdentifiers();
    identifiersNote_->setText(tr("Reports from now on carry new identifiers."));
    identifiersNote_->show();
}

void SettingsViewController::viewDidAppear()
{
    if (SidebarSeam *sidebar = sidebarViewController())
        sidebar->selectIndex(kMenuPosition);
}

} // namespace murmelo
