#pragma once

#include <QWidget>

#include "config/Config.h"

class QCheckBox;
class QRadioButton;

namespace scalino {

// The settings tab: how to connect, the tray, the update check, the automatic start's port
// check, and export and import of the settings. Every call is made on the GUI thread.
class SettingsPanel : public QWidget {
    Q_OBJECT
public:
    explicit SettingsPanel(Config& config, QWidget* parent = nullptr);

    void gatherConnectMode();
    void gatherFlags();

signals:
    // The manual connect mode was chosen: minimising to the tray stops at once.
    void manualConnectChosen();
    void importRequested();
    void exportRequested();

private:
    void buildControls();
    void connectModeChanged();
    QCheckBox* flagBox(const QString& name, std::string_view textKey, bool Config::Fields::*flag);

    Config& config_;
    QRadioButton* manualConnectButton_;
    QRadioButton* autoConnectButton_;
    std::vector<std::pair<QCheckBox*, bool Config::Fields::*>> flags_;
};

}  // namespace scalino
