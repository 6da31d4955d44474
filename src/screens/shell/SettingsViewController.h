#pragma once

#include "toolkit/ViewController.h"

class QScrollArea;
class QDialog;
class QLabel;

namespace murmelo {

class RelaySettingsView;

// Where the application keeps its library and which services it would contact; the telemetry
// switch, a decoded view of the reports waiting to be sent, and the reset of their identifiers.
class SettingsViewController : public ViewController {
    Q_OBJECT
public:
    static constexpr int kMenuPosition = 3;

    explicit SettingsViewController(QWidget *parent = nullptr);

    RelaySettingsView *relaySettings() const { return relaySettings_; }
    // Brings the outgoing-mail settings into view, the keyboard in their first field.
    void showMailSettings();
    // "Show what is sent": the pending uploads, decoded, in a window of their own.
    void showWhatIsSent();
    // "Reset identifiers".
    void resetIdentifiers();

protected:
    void viewDidAppear() override;

private:
    QScrollArea *scroll_;
    RelaySettingsView *relaySettings_;
    QLabel *identifiersNote_;
    QDialog *sentView_ = nullptr;
};

} // namespace murmelo
