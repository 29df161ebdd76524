#pragma once

#include <functional>
#include <memory>

#include "config/Config.h"
#include "worker/BackgroundTask.h"
#include "worker/Connection.h"

namespace scalino {

// Opens the key events of a connection off the UI thread: the remote-desktop portal waits for
// the user in the desktop's dialog, up to minutes, and the window must stay usable meanwhile.
// cancel(true) ends that wait. The outcome reaches the callback on the UI thread, once.
class KeyboardOpening
    : public BackgroundTask<std::shared_ptr<KeyEventGenerator>, int> {
public:
    using Outcome = TaskOutcome<std::shared_ptr<KeyEventGenerator>>;

    KeyboardOpening(UiExecutor& executor, KeyEventFactory keys, const Config& config,
                    std::function<void(const Outcome&)> opened)
        : BackgroundTask(executor),
          keys_(std::move(keys)),
          config_(Config::copyConfig(config)),
          opened_(std::move(opened)) {}

protected:
    std::shared_ptr<KeyEventGenerator> doInBackground(std::stop_token stop) override {
        return keys_(config_, stop);
    }
    void done(const Outcome& outcome) override { opened_(outcome); }

private:
    KeyEventFactory keys_;
    Config config_;  // a copy: the window's may change while the dialog is open
    std::function<void(const Outcome&)> opened_;
};

}  // namespace scalino
