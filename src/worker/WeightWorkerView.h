#pragma once

#include <string>
#include <string_view>

#include "worker/DataLine.h"
#include "worker/WorkerBundle.h"

namespace scalino {

// What a connection reports to the window (or to the command-line front end). logEvent,
// logImportantEvent and setConnectedInGUI may be called from the worker or typing thread as
// well as from the UI thread, settingControl from any thread; update is called on the UI thread
// only.
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
    // Where this front end changes a setting, as a phrase that completes a sentence such as "Set
    // the input terminator to 13 ...": the messages of the shared core then send each user to
    // the control or option in hand. key is the setting's key in the settings store; value the
    // value to give it, empty when the message suggests none. Here the setting is only named.
    virtual std::string settingControl(std::string_view key, std::string_view /*value*/) const {
        return workerText("setting.named", {std::string(key)});
    }
};

}  // namespace scalino
