#pragma once

#include "platform/ViewController.h"

namespace murmelo {

// Where the application keeps its library and which services it would contact.
class SettingsViewController : public ViewController {
    Q_OBJECT
public:
    static constexpr int kMenuPosition = 3;

    explicit SettingsViewController(QWidget *parent = nullptr);

protected:
    void viewDidAppear() override;
};

} // namespace murmelo
