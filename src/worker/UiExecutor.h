#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace scalino {

// Where background tasks run their batch and completion steps: the user-interface thread.
// post may be called from any thread; the steps run in the order they were posted.
class UiExecutor {
public:
    virtual ~UiExecutor() = default;
    virtual void post(std::function<void()> step) = 0;
};

// Posts through another executor, but the steps run only until close(): for an owner that goes
// away while steps posted for it are still queued. post may be called from any thread; close
// and the steps run on the UI thread.
class GuardedExecutor : public UiExecutor {
public:
    explicit GuardedExecutor(UiExecutor& inner) : inner_(inner) {}
    void post(std::function<void()> step) override;
    void close() { *open_ = false; }

private:
    UiExecutor& inner_;
    std::shared_ptr<bool> open_ = std::make_shared<bool>(true);
};

// A UI executor whose owner runs the posted steps on its own thread: the command-line front end
// and the tests, where no toolkit event loop exists.
class QueueExecutor : public UiExecutor {
public:
    void post(std::function<void()> step) override;

    // Runs every step posted so far (and those they post); returns how many ran.
    int runPending();
    // Runs steps as they are posted until done() holds after a step, or the time-out passes;
    // returns done(). Sleeps while nothing is posted.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::hours(24 * 365));

private:
    std::function<void()> take();

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> steps_;
};

}  // namespace scalino
