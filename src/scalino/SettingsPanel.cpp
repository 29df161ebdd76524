#include "scalino/SettingsPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "scalino/PanelForm.h"

namespace scalino {

SettingsPanel::SettingsPanel(Config& config, QWidget* parent) : QWidget(parent), config_(config) {
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
    connect(importButton, &QPushButton::clicked, this, &SettingsPanel::importRequested);
    connect(exportButton, &QPushButton::clicked, this, &SettingsPanel::exportRequested);
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
