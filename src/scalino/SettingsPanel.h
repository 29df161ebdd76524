#pragma once

#include <QWidget>

#include <filesystem>

#include "config/Config.h"

class QCheckBox;
class QRadioButton;

namespace scalino {

// The settings tab: how to connect, the start at login, the tray, the update check, the automatic
// start's port check, and export and import of the settings. Every call is made on the GUI
// thread.
//
// The start at login is no stored setting: its box shows whether the autostart entry is there,
// read again whenever the tab is shown, and ticking it writes or removes the entry.
class SettingsPanel : public QWidget {
    Q_OBJECT
public:
    // autostartFolder: where the start at login's entry goes; empty for the user's folder.
    explicit SettingsPanel(Config& config, std::filesystem::path autostartFolder = {},
                           QWidget* parent = nullptr);

    void gatherConnectMode();
    void gatherFlags();

signals:
    // The manual connect mode was chosen: minimising to the tray stops at once.
    void manualConnectChosen();
    void importRequested();
    void exportRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void showStartAtLogin();
    void startAtLoginToggled(bool on);
    void connectModeChanged();
    QCheckBox* flagBox(const QString& name, std::string_view textKey, bool Config::Fields::*flag);

    Config& config_;
    QRadioButton* manualConnectButton_;
    QRadioButton* autoConnectButton_;
    QCheckBox* startAtLoginBox_;
    std::filesystem::path autostartFolder_;
    std::vector<std::pair<QCheckBox*, bool Config::Fields::*>> flags_;
};

}  // namespace scalino
