#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>

#include "scalino/EventLogText.h"
#include "worker/ConnectionView.h"

namespace scalino {

// What the window shows of a connection; every call on the GUI thread.
class ConnectionDisplay {
public:
    virtual ~ConnectionDisplay() = default;
    virtual void appendToLog(const std::vector<StyledText>& pieces) = 0;
    virtual void showConnected(bool connected) = 0;
    // A received line after duplicate suppression and sound.
    virtual void showLine(const DataLine& line) = 0;
    virtual void showWarning(const std::string& title, const std::string& message) = 0;
    virtual void showProblem(ConnectionView::Problem problem, const std::string& detail) = 0;
};

// The window's view of its connections: takes the calls of the worker and typing threads and
// hands them to the GUI thread in the order they were made. Each log entry carries the time of
// its call and reaches the log whole. Calls after the window has gone are dropped.
class GuiConnectionView : public ConnectionView {
public:
    // context: a QObject of the window, living on the GUI thread.
    GuiConnectionView(ConnectionDisplay& display, QObject* context);

    void logEvent(const std::string& text) override;
    void logImportantEvent(const std::string& text) override;
    // Records the state at once; the look follows on the GUI thread.
    void setConnectedInGUI(bool connected) override;
    void update(const DataLine& line) override;
    void showWarning(const std::string& title, const std::string& message) override;
    void connectionProblem(Problem problem, const std::string& detail) override;
    // The control of the window's tabs that holds the setting ("in the Input terminator list on
    // the Input tab"); a setting without one is named.
    std::string settingControl(std::string_view key, std::string_view value) const override;

    bool connected() const { return connected_; }

private:
    void log(const std::string& text, LogStyle style);
    // Runs the call on the GUI thread after every call posted before it.
    void post(std::function<void()> call);

    ConnectionDisplay& display_;
    QPointer<QObject> context_;
    std::atomic<bool> connected_{false};
};

}  // namespace scalino
