#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace scalino::cli {

// Turns SIGINT and SIGTERM into a call of onSignal on a thread of its own, instead of their
// default action of ending the process, so that a command can stop its work cleanly (close the
// port, report how it ended). The signals are blocked in the creating thread and so in every
// thread it starts afterwards: create the watcher before starting other threads, and destroy it
// on the thread that created it, which gets its previous signal mask back.
class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void(int signal)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void watch();

    std::function<void(int)> onSignal_;
    sigset_t previousMask_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace scalino::cli
