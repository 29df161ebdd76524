#pragma once

#include <string>

namespace scalino {

// What the automatic port detection reports to its dialog (or to the command-line front end).
// Every call arrives on the UI thread.
class AutoPortWorkerView {
public:
    virtual ~AutoPortWorkerView() = default;
    // The dialog's button now cancels the search.
    virtual void setButtonToCancel() = 0;
    // The search has ended: the button now closes the dialog.
    virtual void setButtonToClose() = 0;
    // The port the search proposes.
    virtual void setPort(const std::string& portName) = 0;
    // Appends one message to the dialog's log; the outcome of the search is emphasised.
    virtual void update(const std::string& message, bool emphasised) = 0;
};

}  // namespace scalino
