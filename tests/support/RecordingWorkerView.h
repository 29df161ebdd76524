#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "worker/ConnectionView.h"

namespace scalino::test {

// Keeps everything a connection reports, in order; the log entries of important events start
// with "! ", warnings with "warning ". Workers call it from their own thread too.
class RecordingWorkerView : public ConnectionView {
public:
    void connectionProblem(Problem problem, const std::string& detail) override {
        std::lock_guard lock(mutex_);
        problems_.emplace_back(problem, detail);
    }
    std::vector<std::pair<Problem, std::string>> problems() const {
        std::lock_guard lock(mutex_);
        return problems_;
    }
    void logEvent(const std::string& text) override { add(log_, text); }
    void logImportantEvent(const std::string& text) override { add(log_, "! " + text); }
    void setConnectedInGUI(bool connected) override {
        add(log_, connected ? "connected" : "disconnected");
    }
    void update(const DataLine& line) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    void showWarning(const std::string& title, const std::string& message) override {
        add(log_, "warning " + title + ": " + message);
    }

    std::vector<std::string> log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::vector<DataLine> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    size_t lineCount() const {
        std::lock_guard lock(mutex_);
        return lines_.size();
    }
    // Whether some log entry starts with prefix.
    bool logged(const std::string& prefix) const {
        std::lock_guard lock(mutex_);
        for (const auto& entry : log_) {
            if (entry.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }

private:
    void add(std::vector<std::string>& to, std::string text) {
        std::lock_guard lock(mutex_);
        to.push_back(std::move(text));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> log_;
    std::vector<DataLine> lines_;
    std::vector<std::pair<Problem, std::string>> problems_;
};

}  // namespace scalino::test
