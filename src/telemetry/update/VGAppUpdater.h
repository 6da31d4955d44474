#pragma once

#include "platform/AlertPresenter.h"
#include "telemetry/codec/VGValue.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace murmelo {

// Offers testers a newer build when the service's handshake reply describes one: install it,
// not now, or skip that build for good. The reply's keys used are "version", "title",
// "release_notes", "plist_url", "release_date", "size", "company_name" (non-empty texts) and
// "force_upgrade" (a number read as a boolean; a forced update offers "Install" alone).
class VGAppUpdater {
public:
    // On the main thread: builds the alert and shows it through the current AlertPresenter.
    static void promptIfUpdateExists(const VGValue &description);
    static void setInAppUpdatesDisabled(bool disabled); // applied on the main thread
    static bool isUpdating();
    static void setIsUpdating(bool updating); // applied on the SDK queue
    static bool shouldSkipVersion(const QString &version);
    static void skipVersion(const QString &version); // kept in the user defaults at once
    // The alert for this reply, or none (another update alert is open, updates are not allowed
    // for this build or switched off, a field is missing or of the wrong type, the build was
    // skipped and the update is not forced, or the install address is not a web address).
    static std::optional<Alert> updateAlert(const VGValue &description);
    // True while an update alert is open.
    static bool alertAlive();

    // How the install address is handed to the system (the desktop's URL handler by default).
    using UrlOpener = std::function<bool(const QUrl &)>;
    static void setUrlOpenerForTesting(UrlOpener opener);
    // Forgets the flags. For tests.
    static void resetForTesting();

    static constexpr char kSkipVersionKey[] = "org.murmelo.vigil.upgrade-skip-version";
};

// The update alert's delegate: it holds the reply and the alert's message, acts on the button
// chosen, and while it lives no second update alert is built.
class VGAppUpdaterHelper {
public:
    VGAppUpdaterHelper(VGValue info, QString message);
    ~VGAppUpdaterHelper();
    VGAppUpdaterHelper(const VGAppUpdaterHelper &) = delete;
    VGAppUpdaterHelper &operator=(const VGAppUpdaterHelper &) = delete;

    // The button with this label was chosen; the alert is gone.
    void alertViewClickedButton(const QString &label);
    const VGValue &info() const { return info_; }
    const QString &message() const { return message_; }

private:
    void dismissed();

    VGValue info_;
    QString message_;
    bool alive_ = true;
};

} // namespace murmelo
