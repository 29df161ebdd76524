#pragma once

#include <QObject>

#include "worker/UiExecutor.h"

namespace scalino {

// The UI executor of the desktop window: posts every step to the Qt GUI thread's event loop,
// where steps run in the order they were posted. post may be called from any thread. Steps
// still queued when the executor is destroyed are dropped.
class QtUiExecutor : public UiExecutor {
public:
    QtUiExecutor();
    void post(std::function<void()> step) override;

private:
    QObject context_;  // lives on the thread that made the executor: the GUI thread
};

}  // namespace scalino
