#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "config/SettingsStore.h"
#include "scalino/GuiConnectionView.h"
#include "scalino/KeyboardOpening.h"
#include "scalino/QtUiExecutor.h"
#include "scalino/UpdateWorkerView.h"
#include "scalino/WindowServices.h"

class QLabel;
class QTabWidget;

namespace scalino {

class AboutPanel;
class ConfigSignals;
class EventLogPanel;
class InputPanel;
class OutputPanel;
class Preferences;
class ProcessingPanel;
class SettingsPanel;
class StartPanel;
class TrayController;
class UpdateWorker;

// The main window and the program's controller: at start-up it lists the ports, loads the
// settings, builds its tabs, may check for a newer version and connects at once when told to.
// It connects and disconnects, shows every line in the event log, saves the settings when
// certain tabs are left and when it closes, exports and imports them, and minimises to the
// tray. Everything runs on the GUI thread but setText, which any thread may call.
class VozevuZaDezFrame2 : public QMainWindow, private ConnectionDisplay, public UpdateWorkerView {
    Q_OBJECT
public:
    // arguments: the command line's positional arguments; the first, when not empty, is the
    // port to use instead of the stored one.
    VozevuZaDezFrame2(const QStringList& arguments, WindowServices services);
    ~VozevuZaDezFrame2() override;

    void setText(const QString& text) override;
    void startStopJButtonActionPerformed();
    void updateConfigFromTabs();
    // True when every stored value was valid.
    bool loadConfig();
    // Throws BackingStoreException.
    void saveConfig();
    void exportSettingsButtonActionPerformed();
    void importSettingsButtonActionPerformed();

    const Config& config() const { return config_; }
    bool isConnected() const { return connectionView_.connected(); }
    QTabWidget* tabbedPane() const { return tabbedPane_; }
    EventLogPanel* eventLogPanel() const { return eventLogPanel_; }
    TrayController* tray() const { return tray_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void appendToLog(const std::vector<StyledText>& pieces) override;
    void showConnected(bool connected) override;
    void showLine(const DataLine& line) override;
    void showWarning(const std::string& title, const std::string& message) override;
    void showProblem(ConnectionView::Problem problem, const std::string& detail) override;

    void startUp(const QStringList& arguments);
    void readPortList(const QStringList& arguments);
    void refreshFriendlyNames();
    void reportLoadProblems();
    void initComponents();
    void startUpdateCheck();
    void autoStart();
    void connectInstrument();
    void keyboardOpened(const KeyboardOpening::Outcome& outcome);
    void abandonKeyboardOpening();
    void startConnection(Connection::Outputs outputs);
    // False when the desktop's layout is to be typed with, no X server tells it and the user
    // cancelled naming it.
    bool desktopLayoutKnown();
    // Whether the keys go a Wayland way that brings the desktop's keymap along (the portal with
    // libei, KWin's fake input, the virtual keyboard).
    bool keymapFromCompositor() const;
    // The connected look without the settings tabs, or the disconnected look with them.
    void arrangeTabs(bool connected);
    void tabbedPaneStateChanged(int index);
    void autoSave();
    void showPanel(QWidget* panel);
    void logImportantEvent(const std::string& text);
    // Shows the text at once; a line count on its way is dropped.
    void showStatus(const QString& status);
    std::optional<QString> chooseExportFile();

    WindowServices services_;
    Preferences& node_;
    QtUiExecutor executor_;
    Config config_;
    Config oldConfig_;
    bool portGivenOnCommandLine_ = false;
    std::vector<std::string> ports_;
    LoadReport loadReport_;
    std::unique_ptr<ConfigSignals> configSignals_;  // after config_, which it listens to
    GuiConnectionView connectionView_;
    std::unique_ptr<Connection> connection_;
    // While the keys of the next connection open; null otherwise.
    std::shared_ptr<KeyboardOpening> keyboardOpening_;
    bool keyboardOpeningGivenUp_ = false;  // Stop was pressed while they opened
    bool minimizeWhenConnected_ = false;
    QTabWidget* tabbedPane_ = nullptr;
    QLabel* statusJLabel_ = nullptr;
    QString pendingLineCount_;
    QTimer lineCountTimer_;
    StartPanel* startPanel_ = nullptr;
    InputPanel* inputPanel_ = nullptr;
    ProcessingPanel* processingPanel_ = nullptr;
    OutputPanel* outputPanel_ = nullptr;
    SettingsPanel* settingsPanel_ = nullptr;
    EventLogPanel* eventLogPanel_ = nullptr;
    AboutPanel* aboutPanel_ = nullptr;
    QWidget* currentTab_ = nullptr;
    bool rearrangingTabs_ = false;
    TrayController* tray_;
    UpdateWorker* updateWorker_ = nullptr;
};

}  // namespace scalino
