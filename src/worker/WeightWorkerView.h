#pragma once

#include <string>

#include "worker/DataLine.h"

namespace scalino {

// What a connection reports to the window (or to the command-line front end). logEvent,
// logImportantEvent and setConnectedInGUI may be called from the worker or typing thread as
// well as from the UI thread; update is called on the UI thread only.
class WeightWorkerView {
public:
    virtual ~WeightWorkerView() = default;
    virtual void logEvent(const std::string& text) = 0;
    virtual void logImportantEvent(const std::string& text) = 0;
    virtual void setConnectedInGUI(bool connected) = 0;
    virtual void update(const DataLine& line) = 0;
    // A warning the user should see before going on (the A&D handshake check); the window shows
    // it as a modal dialog. Called on the thread that creates the worker.
    virtual void showWarning(const std::string& title, const std::string& message) {
        logImportantEvent(title + ": " + message);
    }
};

}  // namespace scalino
