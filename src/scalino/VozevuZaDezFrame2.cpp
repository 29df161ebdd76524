#include "scalino/VozevuZaDezFrame2.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include <utility>

#include "config/ConfigKeys.h"
#include "prefs/Preferences.h"
#include "rs232/FriendlyPortUtil.h"
#include "rs232/SerialExceptions.h"
#include "scalino/AboutPanel.h"
#include "scalino/ConfigSignals.h"
#include "scalino/EventLogPanel.h"
#include "scalino/InputPanel.h"
#include "scalino/MessageDialogs.h"
#include "scalino/OutputPanel.h"
#include "scalino/ProcessingPanel.h"
#include "scalino/QtText.h"
#include "scalino/SettingsPanel.h"
#include "scalino/StartPanel.h"
#include "scalino/TrayController.h"
#include "scalino/UpdateUrl.h"
#include "scalino/UpdateWorker.h"
#include "scalino/XkbLayoutDialog.h"
#include "util/ProcessProperties.h"
#include "util/ResourceBundle.h"

namespace scalino {
namespace {

QString text(std::string_view key) {
    return windowText(key);
}

}  // namespace

VozevuZaDezFrame2::VozevuZaDezFrame2(const QStringList& arguments, WindowServices services)
    : services_(std::move(services)),
      node_(services_.preferencesRoot->node(kSettingsNodePath)),
      configSignals_(std::make_unique<ConfigSignals>(config_)),
      connectionView_(*this, this),
      tray_(new TrayController(this)) {
    setObjectName("VozevuZaDezFrame2");
    startUp(arguments);
}

// The connection goes first: it waits for its worker, whose steps reach the view of this
// window. The tabs go next, while the settings they edit still exist.
VozevuZaDezFrame2::~VozevuZaDezFrame2() {
    abandonKeyboardOpening();
    connection_.reset();
    delete takeCentralWidget();
}

void VozevuZaDezFrame2::startUp(const QStringList& arguments) {
    readPortList(arguments);
    loadConfig();
    reportLoadProblems();
    if (portGivenOnCommandLine_) config_.setPort(ports_.front());
    oldConfig_ = Config::copyConfig(config_);
    initComponents();
    if (config_.checkForUpdates() && services_.updateCheckDue && services_.updateCheckDue()) {
        startUpdateCheck();
    }
    setWindowIcon(createWindowIcon());
    show();
    updateConfigFromTabs();
    if (config_.minimizeToTray()) {
        tray_->addMinimizeToTraySupport(true, config_.notifyWhenMinimizedToTray());
    }
    autoStart();
}

void VozevuZaDezFrame2::readPortList(const QStringList& arguments) {
    if (!arguments.isEmpty() && !arguments.front().isEmpty()) {
        ports_ = {fromQString(arguments.front())};
        portGivenOnCommandLine_ = true;
        return;
    }
    try {
        ports_ = services_.listPorts();
    } catch (const std::exception& error) {
        dialogs::showError(this, text("error"),
                           text("error.listing.available.ports") + "\n" + error.what());
    }
    refreshFriendlyNames();
    if (ports_.empty()) {
        dialogs::showError(this, text("error"),
                           text("no.rs.232.port.found.on.your.system.program.will.now.exit"));
    } else if (std::find(ports_.begin(), ports_.end(), "") != ports_.end()) {
        std::erase(ports_, "");
        dialogs::showError(this, text("error"), text("error.listing.available.ports"));
    }
}

// Ports the driver has no information about are listed by their plain names.
void VozevuZaDezFrame2::refreshFriendlyNames() {
    try {
        FriendlyPortUtil::update();
    } catch (const std::exception&) {
        FriendlyPortUtil::update({});
    }
}

bool VozevuZaDezFrame2::loadConfig() {
    loadReport_ = scalino::loadConfig(config_, node_, ports_);
    return loadReport_.allValid() && !loadReport_.storeFailure;
}

void VozevuZaDezFrame2::reportLoadProblems() {
    if (loadReport_.storeFailure) {
        dialogs::showError(this, text("error.while.loading.settings"),
                           text("access.error.while.loading.settings") + "\n" +
                               toQString(*loadReport_.storeFailure));
    }
    if (loadReport_.allValid()) return;
    std::string listed;
    for (const InvalidSetting& invalid : loadReport_.invalidSettings) {
        listed += "\n" + invalid.key + "=" + invalid.storedValue + " \u2192 " +
                  findConfigKey(invalid.key)->get(config_);
    }
    dialogs::showError(this, text("error.while.loading.settings"),
                       windowText("invalid.stored.settings.0", {listed}));
}

void VozevuZaDezFrame2::saveConfig() {
    scalino::saveConfig(config_, node_);
}

void VozevuZaDezFrame2::initComponents() {
    setWindowTitle("Velmora Scalino");
    startPanel_ = new StartPanel;
    inputPanel_ =
        new InputPanel(config_, executor_, services_.outputs.portOpener, services_.listPorts);
    inputPanel_->setPorts(ports_);
    processingPanel_ = new ProcessingPanel(config_, *configSignals_);
    outputPanel_ = new OutputPanel(config_, *configSignals_);
    settingsPanel_ = new SettingsPanel(config_, services_.autostartFolder);
    eventLogPanel_ = new EventLogPanel;
    aboutPanel_ = new AboutPanel;
    tabbedPane_ = new QTabWidget;
    tabbedPane_->setObjectName("tabbedPane");
    tabbedPane_->addTab(startPanel_, text("VozevuZaDezFrame2.panel1.tab.title"));
    tabbedPane_->addTab(inputPanel_, text("VozevuZaDezFrame2.inputPanel.tab.title"));
    tabbedPane_->addTab(processingPanel_, text("VozevuZaDezFrame2.processingPanel.tab.title"));
    tabbedPane_->addTab(outputPanel_, text("VozevuZaDezFrame2.outputPanel.tab.title"));
    tabbedPane_->addTab(settingsPanel_, text("VozevuZaDezFrame2.settingsPanel.tab.title"));
    tabbedPane_->addTab(eventLogPanel_, text("VozevuZaDezFrame2.eventLogPanel.tab.title"));
    tabbedPane_->addTab(aboutPanel_, text("VozevuZaDezFrame2.aboutPanel.tab.title"));
    currentTab_ = startPanel_;
    statusJLabel_ = new QLabel(text("VozevuZaDezFrame2.statusJLabel.text"));
    statusJLabel_->setObjectName("statusJLabel");
    lineCountTimer_.setSingleShot(true);
    lineCountTimer_.setInterval(EventLogPanel::kFlushIntervalMs);
    connect(&lineCountTimer_, &QTimer::timeout, this, [this] {
        if (!pendingLineCount_.isEmpty()) statusJLabel_->setText(pendingLineCount_);
        pendingLineCount_.clear();
    });
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(tabbedPane_);
    layout->addWidget(statusJLabel_);
    setCentralWidget(central);
    resize(640, 480);

    connect(tabbedPane_, &QTabWidget::currentChanged, this,
            &VozevuZaDezFrame2::tabbedPaneStateChanged);
    connect(startPanel_, &StartPanel::startStopRequested, this,
            &VozevuZaDezFrame2::startStopJButtonActionPerformed);
    connect(inputPanel_, &InputPanel::showRequested, this, [this] { showPanel(inputPanel_); });
    connect(processingPanel_, &ProcessingPanel::showRequested, this,
            [this] { showPanel(processingPanel_); });
    connect(settingsPanel_, &SettingsPanel::manualConnectChosen, tray_,
            &TrayController::removeMinimizeToTraySupport);
    connect(settingsPanel_, &SettingsPanel::importRequested, this,
            &VozevuZaDezFrame2::importSettingsButtonActionPerformed);
    connect(settingsPanel_, &SettingsPanel::exportRequested, this,
            &VozevuZaDezFrame2::exportSettingsButtonActionPerformed);
}

void VozevuZaDezFrame2::startUpdateCheck() {
    const std::string language = Locale::fromEnvironment().language;
    updateWorker_ =
        new UpdateWorker(*this, chosenUpdateUrl(), toQString(ProcessProperties::get("VERSION", "")),
                         toQString(language), this);
    updateWorker_->start();
}

void VozevuZaDezFrame2::autoStart() {
    if (config_.getConnect() != ConfigHelper::Connect::AUTO) return;
    const std::optional<std::string>& previous = config_.getPrevPort();
    // Without a previous port there is nothing that could have gone.
    if (config_.abortAutoStartWhenPrevPortNotAvailable() && !portGivenOnCommandLine_ && previous &&
        *previous != config_.getPort()) {
        dialogs::showError(
            this, text("error"),
            windowText("previously.used.port.0.no.longer.available.naborting.auto.start",
                       {*previous}));
        return;
    }
    // Once connected: a start that failed shows why, and the window stays in view to put it
    // right.
    minimizeWhenConnected_ = config_.minimizeToTray();
    startStopJButtonActionPerformed();
    if (keyboardOpening_) return;  // keyboardOpened minimizes
    if (minimizeWhenConnected_ && isConnected()) showMinimized();
    minimizeWhenConnected_ = false;
}

void VozevuZaDezFrame2::updateConfigFromTabs() {
    inputPanel_->gather();
    settingsPanel_->gatherConnectMode();
    outputPanel_->gatherKeyboard();
    outputPanel_->gatherOutput();
    processingPanel_->gather();
    processingPanel_->applyConsistencyRules();
    settingsPanel_->gatherFlags();
}

void VozevuZaDezFrame2::startStopJButtonActionPerformed() {
    // Stop while the keys are still being opened gives up the wait for the desktop.
    if (keyboardOpening_) {
        // Keys that open all the same, the moment after, are dropped too.
        keyboardOpeningGivenUp_ = true;
        keyboardOpening_->cancel(true);
        return;
    }
    if (isConnected()) {
        connection_->stop();
        return;
    }
    connectInstrument();
}

void VozevuZaDezFrame2::connectInstrument() {
    updateConfigFromTabs();
    if (!desktopLayoutKnown()) return;
    // The previous connection, ended by the instrument's side, goes before the new one starts.
    connection_.reset();
    if (!services_.outputs.keys) {
        startConnection(services_.outputs);
        return;
    }
    // The keys open first, on a thread of their own: the desktop may ask the user for consent.
    // Meanwhile the window looks connected, without the settings tabs, and Stop gives up.
    arrangeTabs(true);
    showStatus(text("keyboard.output.opening"));
    keyboardOpening_ = std::make_shared<KeyboardOpening>(
        executor_, services_.outputs.keys, config_,
        [this](const KeyboardOpening::Outcome& outcome) { keyboardOpened(outcome); });
    keyboardOpening_->execute();
}

// The opening's thread posts to this window's executor: it ends before the window does.
void VozevuZaDezFrame2::abandonKeyboardOpening() {
    if (!keyboardOpening_) return;
    keyboardOpening_->cancel(true);
    keyboardOpening_->waitForWorkStep();
    keyboardOpening_.reset();
}

void VozevuZaDezFrame2::keyboardOpened(const KeyboardOpening::Outcome& outcome) {
    keyboardOpening_.reset();
    if (std::exchange(keyboardOpeningGivenUp_, false) || outcome.ending == TaskEnding::Cancelled ||
        outcome.ending == TaskEnding::Interrupted) {
        arrangeTabs(false);
        return;
    }
    // The connection takes the keys as opened, or reports why they could not be, as it would
    // have opening them itself.
    Connection::Outputs outputs = services_.outputs;
    outputs.keys = [keys = outcome.result.value_or(nullptr), error = outcome.error](
                       const Config&, std::stop_token) -> std::shared_ptr<KeyEventGenerator> {
        if (!keys) throw std::runtime_error(error);
        return keys;
    };
    startConnection(std::move(outputs));
    if (minimizeWhenConnected_ && isConnected()) showMinimized();
    minimizeWhenConnected_ = false;
}

void VozevuZaDezFrame2::startConnection(Connection::Outputs outputs) {
    connection_ = std::make_unique<Connection>(connectionView_, executor_, std::move(outputs));
    try {
        connection_->start(config_);
        return;
    } catch (const SerialParameterException& error) {
        arrangeTabs(false);
        dialogs::showError(this, text("invalid.setting"), error.what());
    } catch (const std::invalid_argument& error) {
        arrangeTabs(false);
        dialogs::showError(this, text("invalid.setting"), error.what());
    } catch (const std::exception& error) {
        arrangeTabs(false);
        dialogs::showError(this, text("error.opening.port"), error.what());
    }
}

// Typing with the desktop's layout needs its keymap: the Wayland virtual keyboard brings the
// compositor's; otherwise from the name in the settings, else from the X server. Where neither
// is there (Wayland without Xwayland or its virtual keyboard) the user names the layout, and it
// is saved at once for every later connection. Cancel leaves the window disconnected rather
// than reading values that would never be typed.
bool VozevuZaDezFrame2::desktopLayoutKnown() {
    if (!services_.outputs.keys ||
        config_.getKeyboardType() != ConfigHelper::KeyboardType::DESKTOP ||
        !config_.getXkbLayout().empty() || keymapFromCompositor() ||
        !services_.serverLayoutAvailable || services_.serverLayoutAvailable()) {
        return true;
    }
    const std::optional<std::string> layout = askXkbLayout(this, systemXkbLayout());
    if (!layout) return false;
    outputPanel_->setXkbLayout(*layout);
    autoSave();
    return true;
}

bool VozevuZaDezFrame2::keymapFromCompositor() const {
    switch (config_.getKeyboardOutput()) {
        case ConfigHelper::KeyboardOutput::PORTAL:
        case ConfigHelper::KeyboardOutput::KDE:
        case ConfigHelper::KeyboardOutput::WAYLAND: return true;
        case ConfigHelper::KeyboardOutput::AUTO:
            return services_.waylandKeyboardAvailable && services_.waylandKeyboardAvailable();
        case ConfigHelper::KeyboardOutput::UINPUT:
        case ConfigHelper::KeyboardOutput::X11: break;
    }
    return false;
}

void VozevuZaDezFrame2::showConnected(bool connected) {
    try {
        arrangeTabs(connected);
    } catch (const std::exception&) {
        rearrangingTabs_ = false;
        dialogs::showError(this, text("error"), text("internal.error"));
    }
}

void VozevuZaDezFrame2::arrangeTabs(bool connected) {
    rearrangingTabs_ = true;
    startPanel_->showConnected(connected);
    const std::vector<std::pair<QWidget*, const char*>> settingsTabs = {
        {inputPanel_, "VozevuZaDezFrame2.inputPanel.tab.title"},
        {processingPanel_, "VozevuZaDezFrame2.processingPanel.tab.title"},
        {outputPanel_, "VozevuZaDezFrame2.outputPanel.tab.title"},
        {settingsPanel_, "VozevuZaDezFrame2.settingsPanel.tab.title"}};
    if (connected) {
        for (const auto& [panel, title] : settingsTabs) {
            if (const int index = tabbedPane_->indexOf(panel); index >= 0) {
                tabbedPane_->removeTab(index);
            }
        }
        showStatus(text("switch.to.target.application"));
    } else {
        for (auto tab = settingsTabs.rbegin(); tab != settingsTabs.rend(); ++tab) {
            if (tabbedPane_->indexOf(tab->first) < 0) {
                tabbedPane_->insertTab(1, tab->first, text(tab->second));
            }
        }
        showStatus(text("VozevuZaDezFrame2.statusJLabel.text"));
    }
    currentTab_ = tabbedPane_->currentWidget();
    rearrangingTabs_ = false;
}

void VozevuZaDezFrame2::showLine(const DataLine& line) {
    eventLogPanel_->append(displayLine(line));
    // The count changes with every line; the status line follows at most every 50 ms, since each
    // new text lays the whole window out again.
    pendingLineCount_ = text("line.count") + QString::number(line.getCount());
    if (!lineCountTimer_.isActive()) lineCountTimer_.start();
}

void VozevuZaDezFrame2::appendToLog(const std::vector<StyledText>& pieces) {
    eventLogPanel_->append(pieces);
}

void VozevuZaDezFrame2::showWarning(const std::string& title, const std::string& message) {
    dialogs::showWarning(this, toQString(title), toQString(message));
}

void VozevuZaDezFrame2::showProblem(ConnectionView::Problem problem, const std::string& detail) {
    switch (problem) {
        case ConnectionView::Problem::KeyboardOutput:
            dialogs::showError(this, text("error"),
                               text("error.initializing.keyboard.output") + toQString(detail));
            break;
        case ConnectionView::Problem::CapsLock:
            dialogs::showWarning(this, text("warning"), text("please.turn.off.caps.lock"));
            break;
        case ConnectionView::Problem::SoundOutput:
            dialogs::showError(
                this, text("sound.output.error"),
                text("error.while.initializing.sound.output") + " " + toQString(detail));
            break;
    }
}

void VozevuZaDezFrame2::setText(const QString& status) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, status] { setText(status); }, Qt::QueuedConnection);
        return;
    }
    showStatus(status);
}

void VozevuZaDezFrame2::showStatus(const QString& status) {
    lineCountTimer_.stop();
    pendingLineCount_.clear();
    statusJLabel_->setText(status);
}

void VozevuZaDezFrame2::logImportantEvent(const std::string& entry) {
    connectionView_.logImportantEvent(entry);
}

void VozevuZaDezFrame2::showPanel(QWidget* panel) {
    if (tabbedPane_->indexOf(panel) >= 0) tabbedPane_->setCurrentWidget(panel);
}

// Leaving a tab whose controls are gathered rather than stored at once saves what changed.
void VozevuZaDezFrame2::tabbedPaneStateChanged(int index) {
    QWidget* left = currentTab_;
    currentTab_ = tabbedPane_->widget(index);
    if (rearrangingTabs_) return;
    if (left == inputPanel_ || left == processingPanel_ || left == outputPanel_ ||
        left == aboutPanel_) {
        autoSave();
    }
}

void VozevuZaDezFrame2::autoSave() {
    updateConfigFromTabs();
    if (!Config::hasChanged(oldConfig_, config_)) return;
    oldConfig_ = Config::copyConfig(config_);
    try {
        saveConfig();
    } catch (const std::exception& error) {
        logImportantEvent(fromQString(text("autosave.error")) + " " + error.what());
    }
}

void VozevuZaDezFrame2::closeEvent(QCloseEvent* event) {
    updateConfigFromTabs();
    try {
        saveConfig();
    } catch (const std::exception&) {
        dialogs::showError(this, text("error"), text("access.error.while.saving.settings"));
    }
    abandonKeyboardOpening();
    if (connection_) connection_->stop();
    event->accept();
    services_.exit(0);
}

std::optional<QString> VozevuZaDezFrame2::chooseExportFile() {
    QFileDialog chooser(this);
    chooser.setObjectName("exportChooser");
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setOption(QFileDialog::DontConfirmOverwrite);
    chooser.selectFile("Scalino.xml");
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
    const QString file = chooser.selectedFiles().front();
    if (QFileInfo::exists(file) &&
        !dialogs::askOkCancel(this, text("overwrite"), text("file.already.exists.overwrite"))) {
        return {};
    }
    return file;
}

void VozevuZaDezFrame2::exportSettingsButtonActionPerformed() {
    const std::optional<QString> file = chooseExportFile();
    if (!file) return;
    updateConfigFromTabs();
    try {
        exportConfig(config_, node_, fromQString(*file));
        oldConfig_ = Config::copyConfig(config_);
    } catch (const std::exception& error) {
        dialogs::showError(this, text("error"), text("export.failed") + error.what());
        return;
    }
    dialogs::showInformation(this, text("export.successful"),
                             text("configuration.exported.to.file.n") + *file);
}

void VozevuZaDezFrame2::importSettingsButtonActionPerformed() {
    QFileDialog chooser(this);
    chooser.setObjectName("importChooser");
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setNameFilter("XML (*.xml)");
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    try {
        importConfig(fromQString(chooser.selectedFiles().front()), *services_.preferencesRoot);
    } catch (const std::exception& error) {
        dialogs::showError(this, text("error"), QString("Import failed\n") + error.what());
        return;
    }
    // Ends without the save on closing, so that the imported values are the stored ones.
    if (dialogs::askOkCancel(this, "Restart required", "Apply imported configuration and exit?")) {
        services_.exit(4);
    }
}

}  // namespace scalino
