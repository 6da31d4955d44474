#pragma once

#include "platform/ViewController.h"

class QScrollArea;

namespace murmelo {

class RelaySettingsView;

// Where the application keeps its library and which services it would contact.
class SettingsViewController : public ViewController {
    Q_OBJECT
public:
    static constexpr int kMenuPosition = 3;

    explicit SettingsViewController(QWidget *parent = nullptr);

    RelaySettingsView *relaySettings() const { return relaySettings_; }
    // Brings the outgoing-mail settings into view, the keyboard in their first field.
    void showMailSettings();

protected:
    void viewDidAppear() override;

private:
    QScrollArea *scroll_;
    RelaySettingsView *relaySettings_;
};

} // namespace murmelo
