#include "telemetry/update/VGAppUpdater.h"

#include "platform/Defaults.h"
#include "platform/MainQueue.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/device/VGApplicationInformation.h"

#include <QDesktopServices>
#include <atomic>
#include <memory>
#include <mutex>

namespace murmelo {

namespace {
std::atomic<bool> g_disabled{false};
std::atomic<bool> g_updating{false};
std::atomic<bool> g_alertAlive{false};
std::mutex g_openerMutex;
VGAppUpdater::UrlOpener g_opener;

const char *const kInstall = "Install";
const char *const kNotNow = "Not Now";
const char *const kSkip = "Skip This Build";

const char *const kRequiredTexts[] = {"version",      "title", "release_notes", "plist_url",
                                      "release_date", "size",  "company_name"};

bool openUrl(const QUrl &url)
{
    VGAppUpdater::UrlOpener opener;
    {
        std::lock_guard lock(g_openerMutex);
        opener = g_opener;
    }
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

QString text(const VGValue &description, const char *key)
{
    return description.value(VGValue(key)).toQString();
}

bool forced(const VGValue &description)
{
    const VGValue *force = description.find(VGValue("force_upgrade"));
    return force && force->toBool();
}
} // namespace

void VGAppUpdater::promptIfUpdateExists(const VGValue &description)
{
    postToMainQueue([description] {
        if (std::optional<Alert> alert = updateAlert(description))
            AlertPresenter::current().present(std::move(*alert), nullptr);
    });
}

void VGAppUpdater::setInAppUpdatesDisabled(bool disabled)
{
    postToMainQueue([disabled] { g_disabled = disabled; });
}

bool VGAppUpdater::isUpdating()
{
    return g_updating;
}

void VGAppUpdater::setIsUpdating(bool updating)
{
    vgSdkAsync([updating] { g_updating = updating; });
}

bool VGAppUpdater::shouldSkipVersion(const QString &version)
{
    return Defaults::standard().stringForKey(QLatin1String(kSkipVersionKey)) == version;
}

void VGAppUpdater::skipVersion(const QString &version)
{
    Defaults::standard().setString(QLatin1String(kSkipVersionKey), version);
    Defaults::standard().synchronize();
}

bool VGAppUpdater::alertAlive()
{
    return g_alertAlive;
}

std::optional<Alert> VGAppUpdater::updateAlert(const VGValue &description)
{
    if (g_alertAlive || !VGApplicationInformation::allowInAppUpdate() || g_disabled)
        return std::nullopt;
    if (!description.isMap())
        return std::nullopt;
    for (const char *key : kRequiredTexts) {
        const VGValue *value = description.find(VGValue(key));
        if (!value || !value->isString() || value->text().empty())
            return std::nullopt;
    }
    const VGValue *force = description.find(VGValue("force_upgrade"));
    if (force && !force->isNumber() && !force->isBool())
        return std::nullopt;
    const bool isForced = forced(description);
    const QString version = text(description, "version");
    if (shouldSkipVersion(version) && !isForced)
        return std::nullopt;
    // The install address comes from the network: only a web address is handed to the system,
    // never a local file or some other program's scheme.
    const QUrl install(text(description, "plist_url"), QUrl::StrictMode);
    if (!install.isValid() ||
        (install.scheme() != QLatin1String("https") && install.scheme() != QLatin1String("http")))
        return std::nullopt;

    const QString title = text(description, "title");
    Alert alert;
    alert.title = QStringLiteral("%1 %2\nNow Available").arg(title, version);
    alert.message =
        QStringLiteral("%1\n\n---\n%2 %3\nSize: %4\nRelease Date: %5\nCompany: %6\n\n"
                       "(Current Version: %7)")
            .arg(text(description, "release_notes"), title, version, text(description, "size"),
                 text(description, "release_date"), text(description, "company_name"),
                 VGApplicationInformation::getApplicationVersion());
    alert.otherButtons = {QString::fromLatin1(kInstall)};
    if (!isForced) {
        alert.otherButtons.append(QString::fromLatin1(kNotNow));
        alert.cancelButton = QString::fromLatin1(kSkip);
    }
    auto helper = std::make_shared<VGAppUpdaterHelper>(description, alert.message);
    const QStringList buttons = alert.buttons();
    alert.completion = [helper, buttons](int index) {
        helper->alertViewClickedButton(index >= 0 && index < buttons.size() ? buttons[index]
                                                                            : QString());
    };
    return alert;
}

void VGAppUpdater::setUrlOpenerForTesting(UrlOpener opener)
{
    std::lock_guard lock(g_openerMutex);
    g_opener = std::move(opener);
}

void VGAppUpdater::resetForTesting()
{
    g_disabled = false;
    g_updating = false;
    g_alertAlive = false;
}

VGAppUpdaterHelper::VGAppUpdaterHelper(VGValue info, QString message)
    : info_(std::move(info)), message_(std::move(message))
{
    g_alertAlive = true;
}

VGAppUpdaterHelper::~VGAppUpdaterHelper()
{
    dismissed();
}

void VGAppUpdaterHelper::dismissed()
{
    if (alive_) {
        alive_ = false;
        g_alertAlive = false;
    }
}

void VGAppUpdaterHelper::alertViewClickedButton(const QString &label)
{
    if (!alive_)
        return; // a second answer to the same alert
    message_.clear();
    if (label == QLatin1String(kInstall)) {
        VGAppUpdater::setIsUpdating(true);
        openUrl(QUrl(text(info_, "plist_url")));
    } else if (label == QLatin1String(kSkip)) {
        VGAppUpdater::skipVersion(text(info_, "version"));
    }
    dismissed();
}

} // namespace murmelo
