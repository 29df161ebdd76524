#include "cli/SignalWatcher.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>

namespace scalino::cli {
namespace {

// Sent by the destructor to the watcher thread alone, to end its wait.
constexpr int kStopSignal = SIGUSR2;

sigset_t watchedSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, kStopSignal);
    return signals;
}

}  // namespace

SignalWatcher::SignalWatcher(std::function<void(int signal)> onSignal)
    : onSignal_(std::move(onSignal)) {
    const sigset_t signals = watchedSignals();
    pthread_sigmask(SIG_BLOCK, &signals, &previousMask_);
    thread_ = std::thread([this] { watch(); });
}

SignalWatcher::~SignalWatcher() {
    stopping_ = true;
    pthread_kill(thread_.native_handle(), kStopSignal);
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void SignalWatcher::watch() {
    const sigset_t signals = watchedSignals();
    for (;;) {
        int signal = 0;
        if (const int error = sigwait(&signals, &signal); error != 0) {
            std::fprintf(stderr, "Signals cannot be watched: %s\n", std::strerror(error));
            return;
        }
        // A stray SIGUSR2 from outside is not the destructor's request.
        if (signal == kStopSignal) {
            if (stopping_) return;
            continue;
        }
        onSignal_(signal);
    }
}

}  // namespace scalino::cli
