#pragma once

#include "platform/ViewController.h"

namespace murmelo {

class RelaySettingsView;

// Where the application keeps its library and which services it would contact.
class SettingsViewController : public ViewController {
    Q_OBJECT
public:
    static constexpr int kMenuPosition = 3;

    explicit SettingsViewController(QWidget *parent = nullptr);

    RelaySettingsView *relaySettings() const { return relaySettings_; }

protected:
    void viewDidAppear() override;

private:
    RelaySettingsView *relaySettings_;
};

} // namespace murmelo
