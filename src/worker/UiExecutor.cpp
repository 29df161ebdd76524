#include "worker/UiExecutor.h"

namespace scalino {

void GuardedExecutor::post(std::function<void()> step) {
    inner_.post([open = open_, step = std::move(step)] {
        if (*open) step();
    });
}

void QueueExecutor::post(std::function<void()> step) {
    // Notified under the lock: once the step is visible, the owner may run it, see its work
    // finished and destroy this executor, which must not happen during the notification.
    std::lock_guard lock(mutex_);
    steps_.push_back(std::move(step));
    posted_.notify_all();
}

std::function<void()> QueueExecutor::take() {
    std::lock_guard lock(mutex_);
    if (steps_.empty()) return {};
    auto step = std::move(steps_.front());
    steps_.pop_front();
    return step;
}

int QueueExecutor::runPending() {
    int ran = 0;
    while (auto step = take()) {
        step();
        ++ran;
    }
    return ran;
}

bool QueueExecutor::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (auto step = take()) {
            step();
            continue;
        }
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !steps_.empty(); })) {
            return done();
        }
    }
    return true;
}

}  // namespace scalino
