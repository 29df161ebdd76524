#pragma once

#include <string>

#include "worker/WeightWorkerView.h"

namespace scalino::test {

// The typing engine's view in keystroke tests: keeps its important events (what could not be
// typed), one per line, and ignores the rest.
class ReportingView : public WeightWorkerView {
public:
    void logEvent(const std::string&) override {}
    void logImportantEvent(const std::string& text) override { reports += text + "\n"; }
    void setConnectedInGUI(bool) override {}
    void update(const DataLine&) override {}
    std::string reports;
};

}  // namespace scalino::test
