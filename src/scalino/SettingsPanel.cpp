#include "scalino/SettingsPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QCoreApplication>
#include <QRadioButton>
#include <QSignalBlocker>

#include <cstdlib>

#include "prefs/AutostartEntry.h"
#include "scalino/MessageDialogs.h"
#include "scalino/PanelForm.h"
#include "scalino/QtText.h"

namespace scalino {
namespace {

// The program the entry starts: this very file, by its absolute path, so that the login starts
// what the user ticked the box in whatever the session's PATH holds. An AppImage runs from a
// mount that is gone once it ends, so its own file is named instead.
std::string programPath() {
    if (const char* appImage = std::getenv("APPIMAGE"); appImage != nullptr && *appImage != '\0')
        return appImage;
    return fromQString(QCoreApplication::applicationFilePath());
}

AutostartEntry autostartEntry(const std::filesystem::path& folder) {
    return folder.empty() ? AutostartEntry::forUser() : AutostartEntry(folder);
}

}  // namespace

SettingsPanel::SettingsPanel(Config& config, std::filesystem::path autostartFolder,
                             QWidget* parent)
    : QWidget(parent), config_(config), autostartFolder_(std::move(autostartFolder)) {
    setObjectName("settingsPanel");
    buildControls();
}

QCheckBox* SettingsPanel::flagBox(const QString& name, std::string_view textKey,
                                  bool Config::Fields::*flag) {
    auto* box = new QCheckBox(windowText(textKey));
    box->setObjectName(name);
    box->setChecked(config_.flag(flag));
    connect(box, &QCheckBox::toggled, this, [this, flag](bool on) { config_.setFlag(flag, on); });
    flags_.emplace_back(box, flag);
    return box;
}

void SettingsPanel::buildControls() {
    using Fields = Config::Fields;
    PanelForm form(this);
    manualConnectButton_ =
        new QRadioButton(windowText("VozevuZaDezFrame2.manualConnectButton.text"));
    manualConnectButton_->setObjectName("manualConnectButton");
    setToolTipKey(manualConnectButton_, "VozevuZaDezFrame2.manualConnectButton.toolTipText");
    autoConnectButton_ = new QRadioButton(windowText("VozevuZaDezFrame2.autoConnectButton.text"));
    autoConnectButton_->setObjectName("autoConnectButton");
    setToolTipKey(autoConnectButton_, "VozevuZaDezFrame2.autoConnectButton.toolTipText");
    auto* group = new QButtonGroup(this);
    group->addButton(manualConnectButton_);
    group->addButton(autoConnectButton_);
    (config_.getConnect() == ConfigHelper::Connect::AUTO ? autoConnectButton_
                                                         : manualConnectButton_)
        ->setChecked(true);
    form.addRow("VozevuZaDezFrame2.label13.text", manualConnectButton_);
    form.addRow("", autoConnectButton_);
    startAtLoginBox_ = new QCheckBox(windowText("VozevuZaDezFrame2.startAtLoginCheckBox.text"));
    startAtLoginBox_->setObjectName("startAtLoginCheckBox");
    setToolTipKey(startAtLoginBox_, "VozevuZaDezFrame2.startAtLoginCheckBox.toolTipText");
    showStartAtLogin();
    form.addRow("", startAtLoginBox_);
    form.addRow("VozevuZaDezFrame2.label28.text",
                flagBox("minimizeToTrayCheckBox", "VozevuZaDezFrame2.minimizeToTrayCheckBox.text",
                        &Fields::minimizeToTray));
    form.addRow("", flagBox("notifyWhenMinimizedToTrayCheckBox",
                            "VozevuZaDezFrame2.notifyWhenMinimizedToTrayCheckBox.text",
                            &Fields::notifyWhenMinimizedToTray));
    form.addWide(separator("separator7"));
    auto* updates = new QLabel("Updates:");
    updates->setObjectName("label1");
    QCheckBox* checkForUpdates =
        flagBox("checkForUpdatesCheckBox", "VozevuZaDezFrame2.checkForUpdatesCheckBox.text",
                &Fields::checkForUpdates);
    form.addRow(updates, checkForUpdates);
    QCheckBox* abortAutoStart =
        flagBox("abortAutoStartCheckBox", "VozevuZaDezFrame2.abortAutoStartCheckBox.text",
                &Fields::abortAutoStartWhenPrevPortNotAvailable);
    setToolTipKey(abortAutoStart, "VozevuZaDezFrame2.abortAutoStartCheckBox.toolTipText");
    form.addRow("", abortAutoStart);
    form.addWide(separator("separator8"));
    auto* importButton = new QPushButton(windowText("VozevuZaDezFrame2.importSettingsButton.text"));
    importButton->setObjectName("importSettingsButton");
    setToolTipKey(importButton, "VozevuZaDezFrame2.importSettingsButton.toolTipText");
    auto* exportButton = new QPushButton(windowText("VozevuZaDezFrame2.exportSettingsButton.text"));
    exportButton->setObjectName("exportSettingsButton");
    setToolTipKey(exportButton, "VozevuZaDezFrame2.exportSettingsButton.toolTipText");
    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(importButton);
    row->addWidget(exportButton);
    row->addStretch();
    form.addWide(buttons);
    form.finish();

    connect(manualConnectButton_, &QRadioButton::clicked, this, &SettingsPanel::connectModeChanged);
    connect(autoConnectButton_, &QRadioButton::clicked, this, &SettingsPanel::connectModeChanged);
    connect(startAtLoginBox_, &QCheckBox::toggled, this, &SettingsPanel::startAtLoginToggled);
    connect(importButton, &QPushButton::clicked, this, &SettingsPanel::importRequested);
    connect(exportButton, &QPushButton::clicked, this, &SettingsPanel::exportRequested);
}

void SettingsPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showStartAtLogin();
}

// What the desktop will do at the next login; unticked when the folder cannot even be found.
void SettingsPanel::showStartAtLogin() {
    bool enabled = false;
    try {
        enabled = autostartEntry(autostartFolder_).isEnabled();
    } catch (const AutostartException&) {
    }
    const QSignalBlocker quiet(startAtLoginBox_);
    startAtLoginBox_->setChecked(enabled);
}

void SettingsPanel::startAtLoginToggled(bool on) {
    try {
        const AutostartEntry entry = autostartEntry(autostartFolder_);
        if (on) {
            entry.enable(programPath());
        } else {
            entry.disable();
        }
    } catch (const AutostartException& error) {
        dialogs::showError(window(), windowText("error"),
                           windowText("autostart.failed") + toQString(error.what()));
    }
    // After a failure the box goes back to what the entry, unchanged, says.
    showStartAtLogin();
}

void SettingsPanel::connectModeChanged() {
    if (autoConnectButton_->isChecked()) {
        config_.setConnect(ConfigHelper::Connect::AUTO);
        return;
    }
    config_.setConnect(ConfigHelper::Connect::MANUAL);
    emit manualConnectChosen();
}

void SettingsPanel::gatherConnectMode() {
    config_.setConnect(autoConnectButton_->isChecked() ? ConfigHelper::Connect::AUTO
                                                       : ConfigHelper::Connect::MANUAL);
}

void SettingsPanel::gatherFlags() {
    for (const auto& [box, flag] : flags_)
        config_.setFlag(flag, box->isChecked());
}

}  // namespace scalino
