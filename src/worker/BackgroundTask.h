#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
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
// order, through the UI executor; done runs there last, after every batch. The results waiting
// for the UI thread are bounded: publish waits for room when the UI side falls behind. Tasks
// are shared objects (create them with std::make_shared) so that steps still queued on the
// executor keep them alive; the executor must outlive them.
template <class Result, class Progress>
class BackgroundTask : public std::enable_shared_from_this<BackgroundTask<Result, Progress>> {
public:
    // Published results that the UI thread has not processed yet, at most: a work step that
    // produces faster than the UI side takes (a stalled standard output, a busy window) waits in
    // publish instead of filling memory. One result larger than the byte bound still passes
    // when nothing else waits.
    static constexpr std::size_t kMaxUnprocessedResults = 4096;
    static constexpr std::size_t kMaxUnprocessedBytes = 8 * 1024 * 1024;
    // How long publish waits for room before the stall is reported (publishStalled).
    static constexpr std::chrono::seconds kStallNoticeDelay{1};

    explicit BackgroundTask(UiExecutor& executor) : executor_(executor) {}
    virtual ~BackgroundTask() {
        if (!thread_.joinable()) return;
        // The last owner may be the task's own thread, on its way out.
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            stop_.request_stop();
            thread_.join();
        }
    }
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // Starts the work step; a task runs once. Called on the UI thread.
    void execute() {
        if (thread_.joinable()) return;
        auto self = this->shared_from_this();
        thread_ = std::thread([self] { self->run(self->stop_.get_token()); });
    }

    // Marks the task cancelled and, with mayInterruptIfRunning, asks the work step to stop.
    // False when the task had already finished. May be called from any thread, before execute
    // as well: the work step then starts stopped.
    bool cancel(bool mayInterruptIfRunning) {
        {
            std::lock_guard lock(stateMutex_);
            if (finished_) return false;
            cancelled_ = true;
        }
        if (mayInterruptIfRunning) stop_.request_stop();
        return true;
    }
    // Asks the work step to stop without cancelling: the task ends as interrupted. May be
    // called from any thread.
    void interrupt() { stop_.request_stop(); }

    // Blocks until the work step has ended; its completion step may still be queued on the
    // executor. For an owner that goes away before the UI thread runs that step. Called on the
    // UI thread, as execute is, after cancel or interrupt: a work step that is not asked to stop
    // may be waiting in publish for this very thread to take its results.
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
    // The memory one result holds, for the byte bound.
    virtual std::size_t sizeOf(const Progress& /*item*/) const { return sizeof(Progress); }
    // On the task's thread, once per stall: publish has waited kStallNoticeDelay for the UI
    // side to take some of the waiting results, and waits on.
    virtual void publishStalled(std::size_t /*waiting*/) {}

    // From the work step: hands one result to process. Waits while the bound is reached, until
    // the UI thread takes results or a stop is requested; the result is never dropped, so after
    // a stop it passes over the bound.
    void publish(Progress item) {
        const std::size_t bytes = sizeOf(item);
        std::unique_lock lock(publishMutex_);
        if (full(bytes)) waitForRoom(lock, bytes);
        const bool first = pending_.empty();
        pending_.push_back(std::move(item));
        pendingBytes_ += bytes;
        ++unprocessed_;
        unprocessedBytes_ += bytes;
        lock.unlock();
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
    // Under publishMutex_.
    bool full(std::size_t bytes) const {
        return unprocessed_ > 0 && (unprocessed_ >= kMaxUnprocessedResults ||
                                    unprocessedBytes_ + bytes > kMaxUnprocessedBytes);
    }

    void waitForRoom(std::unique_lock<std::mutex>& lock, std::size_t bytes) {
        const std::stop_token stop = stop_.get_token();
        const auto room = [&] { return !full(bytes); };
        if (taken_.wait_for(lock, stop, kStallNoticeDelay, room) || stop.stop_requested()) return;
        const std::size_t waiting = unprocessed_;
        lock.unlock();
        publishStalled(waiting);
        lock.lock();
        taken_.wait(lock, stop, room);
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
        std::size_t bytes = 0;
        {
            std::lock_guard lock(publishMutex_);
            chunks.swap(pending_);
            std::swap(bytes, pendingBytes_);
        }
        const std::size_t count = chunks.size();
        if (count > 0) process(chunks);
        {
            // The batch counts against the bound until it has been processed.
            std::lock_guard lock(publishMutex_);
            unprocessed_ -= count;
            unprocessedBytes_ -= bytes;
        }
        taken_.notify_all();
    }

    UiExecutor& executor_;
    std::thread thread_;
    // Exists from construction, so that a stop may be requested from any thread at any time.
    std::stop_source stop_;
    std::atomic<bool> cancelled_{false};
    std::mutex stateMutex_;
    bool finished_ = false;  // under stateMutex_
    std::atomic<bool> doneRun_{false};
    TaskEnding ending_ = TaskEnding::Completed;  // on the UI thread
    std::mutex publishMutex_;
    std::condition_variable_any taken_;  // the UI thread processed a batch
    // Under publishMutex_: the results not handed to the UI thread yet, and all results not
    // processed yet (those plus the batch being processed).
    std::vector<Progress> pending_;
    std::size_t pendingBytes_ = 0;
    std::size_t unprocessed_ = 0;
    std::size_t unprocessedBytes_ = 0;
};

}  // namespace scalino
