#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "worker/UiExecutor.h"

namespace scalino {

// How a background task's work step ended.
enum class TaskEnding {
    Completed,    // the work step returned its result
    Cancelled,    // cancel() was called: the result, if any, is discarded
    Failed,       // the work step threw; the message says why
    Interrupted,  // interrupt() stopped the work step without a cancel
};

template <class Result>
struct TaskOutcome {
    TaskEnding ending = TaskEnding::Completed;
    std::optional<Result> result;  // set when the work step returned and was not cancelled
    std::string error;             // the failure's message
};

// Work on a thread of its own that reports to the user-interface thread: doInBackground runs on
// the task's thread and may publish intermediate results; they reach process in batches, in
// order, through the UI executor; done runs there last, after every batch. Tasks are shared
// objects (create them with std::make_shared) so that steps still queued on the executor keep
// them alive; the executor must outlive them.
template <class Result, class Progress>
class BackgroundTask : public std::enable_shared_from_this<BackgroundTask<Result, Progress>> {
public:
    explicit BackgroundTask(UiExecutor& executor) : executor_(executor) {}
    virtual ~BackgroundTask() {
        if (!thread_.joinable()) return;
        // The last owner may be the task's own thread, on its way out.
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.request_stop();
            thread_.join();
        }
    }
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // Starts the work step; a task runs once.
    void execute() {
        if (thread_.joinable()) return;
        auto self = this->shared_from_this();
        thread_ = std::jthread([self](std::stop_token stop) { self->run(stop); });
        // A request made before the thread existed applies now.
        if (earlyStop_.stop_requested()) thread_.request_stop();
    }

    // Marks the task cancelled and, with mayInterruptIfRunning, asks the work step to stop.
    // False when the task had already finished.
    bool cancel(bool mayInterruptIfRunning) {
        {
            std::lock_guard lock(stateMutex_);
            if (finished_) return false;
            cancelled_ = true;
        }
        if (mayInterruptIfRunning) stopSource().request_stop();
        return true;
    }
    // Asks the work step to stop without cancelling: the task ends as interrupted.
    void interrupt() { stopSource().request_stop(); }

    // Blocks until the work step has ended; its completion step may still be queued on the
    // executor. For an owner that goes away before the UI thread runs that step. Called on the
    // UI thread, as execute is.
    void waitForWorkStep() {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    }

    bool isCancelled() const { return cancelled_; }
    // True once done has run.
    bool isDone() const { return doneRun_; }
    // How the work step ended; meaningful once isDone().
    TaskEnding ending() const { return ending_; }

protected:
    virtual Result doInBackground(std::stop_token stop) = 0;
    // Batches of published results, on the UI thread.
    virtual void process(std::vector<Progress>& /*chunks*/) {}
    // The completion step, on the UI thread, after the last batch.
    virtual void done(const TaskOutcome<Result>& /*outcome*/) {}

    // From the work step: hands one result to process.
    void publish(Progress item) {
        bool first = false;
        {
            std::lock_guard lock(publishMutex_);
            first = pending_.empty();
            pending_.push_back(std::move(item));
        }
        if (first) {
            executor_.post([self = this->shared_from_this()] { self->deliverPending(); });
        }
    }

    // Waits for the duration unless stop is requested first; false when it was.
    static bool sleepFor(std::chrono::milliseconds duration, std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wakeUp;
        std::unique_lock lock(mutex);
        wakeUp.wait_for(lock, stop, duration, [] { return false; });
        return !stop.stop_requested();
    }

    UiExecutor& executor() { return executor_; }

private:
    // Before execute, the thread has no stop source yet; requests are remembered until it has.
    // Called on the UI thread, as execute is.
    std::stop_source stopSource() {
        if (thread_.joinable()) return thread_.get_stop_source();
        return earlyStop_;
    }

    void run(std::stop_token stop) {
        TaskOutcome<Result> outcome;
        try {
            outcome.result = doInBackground(stop);
        } catch (const std::exception& error) {
            outcome.ending = TaskEnding::Failed;
            outcome.error = error.what();
        } catch (...) {
            outcome.ending = TaskEnding::Failed;
            outcome.error = "unknown error";
        }
        bool cancelled = false;
        {
            // A cancel either lands before this point and counts, or finds the task finished.
            std::lock_guard lock(stateMutex_);
            finished_ = true;
            cancelled = cancelled_;
        }
        if (cancelled) {
            outcome.ending = TaskEnding::Cancelled;
            outcome.result.reset();
        } else if (outcome.ending == TaskEnding::Completed && stop.stop_requested()) {
            outcome.ending = TaskEnding::Interrupted;
        }
        executor_.post([self = this->shared_from_this(), outcome = std::move(outcome)] {
            self->ending_ = outcome.ending;
            self->done(outcome);
            self->doneRun_ = true;
        });
    }

    void deliverPending() {
        std::vector<Progress> chunks;
        {
            std::lock_guard lock(publishMutex_);
            chunks.swap(pending_);
        }
        if (!chunks.empty()) process(chunks);
    }

    UiExecutor& executor_;
    std::jthread thread_;
    std::stop_source earlyStop_;
    std::atomic<bool> cancelled_{false};
    std::mutex stateMutex_;
    bool finished_ = false;  // under stateMutex_
    std::atomic<bool> doneRun_{false};
    TaskEnding ending_ = TaskEnding::Completed;  // on the UI thread
    std::mutex publishMutex_;
    std::vector<Progress> pending_;
};

}  // namespace scalino
