#include "app/SettingsViewController.h"

#include "platform/ServiceEndpoints.h"
#include "platform/StandardPaths.h"
#include "telemetry/session/VGTelemetrySwitch.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
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
                       "QLabel { color: #f2f2f5; font-size: 14px; }"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    addSetting(column, this, tr("Library"),
               QDir::toNativeSeparators(StandardPaths::libraryDirectory()),
               QStringLiteral("libraryPath"));
    addSetting(column, this, tr("Mail relay"),
               QStringLiteral("%1, port %2")
                   .arg(ServiceEndpoints::mailRelayHost())
                   .arg(ServiceEndpoints::mailRelayPort()),
               QStringLiteral("mailRelay"));
    addSetting(column, this, tr("Telemetry service"), ServiceEndpoints::telemetryUrl().toString(),
               QStringLiteral("telemetryUrl"));
    auto *telemetry = new QCheckBox(tr("Send usage and crash reports"), this);
    telemetry->setObjectName(QStringLiteral("telemetrySwitch"));
    telemetry->setChecked(VGTelemetrySwitch::enabled());
    connect(telemetry, &QCheckBox::toggled, this,
            [](bool on) { VGTelemetrySwitch::setEnabled(on); });
    column->addWidget(telemetry);
    auto *sent = new QLabel(tr("When on, Murmelo reports when it starts and stops, "
                               "its own log lines and, after a crash, where it crashed. "
                               "Never your audio, names or addresses."),
                            this);
    sent->setObjectName(QStringLiteral("telemetryNote"));
    sent->setWordWrap(true);
    sent->setStyleSheet(QStringLiteral("color: #67718a; font-size: 12px;"));
    column->addWidget(sent);
    column->addSpacing(10);
    auto *note = new QLabel(tr("Change the mail relay with the environment variable %1 "
                               "(host or host:port) and the telemetry service with %2.")
                                .arg(QLatin1String(ServiceEndpoints::kMailRelayVariable),
                                     QLatin1String(ServiceEndpoints::kTelemetryUrlVariable)),
                            this);
    note->setWordWrap(true);
    note->setStyleSheet(QStringLiteral("color: #a9adb8; font-size: 12px;"));
    column->addWidget(note);
    column->addStretch(1);
    auto *version = new QLabel(tr("Murmelo %1").arg(QLatin1String(MURMELO_VERSION)), this);
    version->setStyleSheet(QStringLiteral("color: #a9adb8; font-size: 12px;"));
    column->addWidget(version);
}

void SettingsViewController::viewDidAppear()
{
    if (SidebarSeam *sidebar = sidebarViewController())
        sidebar->selectIndex(kMenuPosition);
}

} // namespace murmelo
