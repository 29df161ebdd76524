// The background task under a manual executor: results published on the task's thread reach
// the UI side in order and before the completion step, and the four endings are told apart.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <stdexcept>
#include <thread>

#include "worker/BackgroundTask.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;

// Publishes 1..count, then does what the test asks: return, throw, or wait until stopped.
class CountingTask : public BackgroundTask<int, int> {
public:
    enum class Then { Return, Throw, WaitForStop };

    CountingTask(UiExecutor& executor, int count, Then then)
        : BackgroundTask(executor), count_(count), then_(then) {}

    std::vector<std::vector<int>> batches;
    std::vector<int> seenAtDone;
    std::optional<TaskOutcome<int>> outcome;

protected:
    int doInBackground(std::stop_token stop) override {
        for (int i = 1; i <= count_; ++i)
            publish(i);
        if (then_ == Then::Throw) throw std::runtime_error("the port failed");
        if (then_ == Then::WaitForStop) {
            while (sleepFor(10s, stop)) {
            }
        }
        return count_;
    }
    void process(std::vector<int>& chunks) override { batches.push_back(chunks); }
    void done(const TaskOutcome<int>& ended) override {
        for (const auto& batch : batches)
            seenAtDone.insert(seenAtDone.end(), batch.begin(), batch.end());
        outcome = ended;
    }

private:
    int count_;
    Then then_;
};

std::vector<int> upTo(int count) {
    std::vector<int> all;
    for (int i = 1; i <= count; ++i)
        all.push_back(i);
    return all;
}

TEST(BackgroundTaskTest, EveryPublishedResultArrivesInOrderBeforeTheCompletionStep) {
    QueueExecutor ui;
    auto task = std::make_shared<CountingTask>(ui, 20000, CountingTask::Then::Return);
    task->execute();
    ASSERT_TRUE(ui.runUntil([&] { return task->isDone(); }, 60s));
    EXPECT_EQ(task->seenAtDone, upTo(20000));
    EXPECT_GE(task->batches.size(), 1u);
    ASSERT_TRUE(task->outcome);
    EXPECT_EQ(task->outcome->ending, TaskEnding::Completed);
    EXPECT_EQ(task->outcome->result, 20000);
    EXPECT_EQ(ui.runPending(), 0);  // nothing after the completion step
}

TEST(BackgroundTaskTest, EndingsAreToldApart) {
    using Then = CountingTask::Then;
    struct Case {
        const char* name;
        Then then;
        std::function<void(CountingTask&)> stop;
        TaskEnding ending;
        std::optional<int> result;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"cancelled", Then::WaitForStop, [](CountingTask& t) { t.cancel(true); },
         TaskEnding::Cancelled, std::nullopt, ""},
        {"interrupted", Then::WaitForStop, [](CountingTask& t) { t.interrupt(); },
         TaskEnding::Interrupted, 3, ""},
        {"failed", Then::Throw, [](CountingTask&) {}, TaskEnding::Failed, std::nullopt,
         "the port failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QueueExecutor ui;
        auto task = std::make_shared<CountingTask>(ui, 3, c.then);
        task->execute();
        // The task is running and has published; stop it from the UI side.
        ASSERT_TRUE(ui.runUntil([&] { return task->batches.size() > 0; }, 60s));
        c.stop(*task);
        ASSERT_TRUE(ui.runUntil([&] { return task->isDone(); }, 60s));
        EXPECT_EQ(task->seenAtDone, upTo(3));
        EXPECT_EQ(task->outcome->ending, c.ending);
        EXPECT_EQ(task->outcome->result, c.result);
        EXPECT_EQ(task->outcome->error, c.error);
    }
}

TEST(BackgroundTaskTest, ACancelBeforeTheStartStopsTheWorkAtOnceAndLateCancelsChangeNothing) {
    QueueExecutor ui;
    auto task = std::make_shared<CountingTask>(ui, 1, CountingTask::Then::WaitForStop);
    EXPECT_TRUE(task->cancel(true));
    task->execute();
    ASSERT_TRUE(ui.runUntil([&] { return task->isDone(); }, 60s));
    EXPECT_EQ(task->outcome->ending, TaskEnding::Cancelled);

    auto finished = std::make_shared<CountingTask>(ui, 1, CountingTask::Then::Return);
    finished->execute();
    ASSERT_TRUE(ui.runUntil([&] { return finished->isDone(); }, 60s));
    EXPECT_FALSE(finished->cancel(true));
    EXPECT_FALSE(finished->isCancelled());
}

// Publishes numbered texts of a given length, a given number or until stopped, and records how
// publish behaves: how many calls have returned, and the stalls it reported.
class FloodTask : public BackgroundTask<int, std::string> {
public:
    static constexpr int kUntilStopped = -1;

    FloodTask(UiExecutor& executor, std::size_t length, int count)
        : BackgroundTask(executor), length_(length), count_(count) {}

    std::atomic<int> published{0};
    std::atomic<int> stalls{0};
    std::promise<std::size_t> stalled;  // the number waiting at the first stall
    std::promise<void> workEnded;
    std::vector<std::string> received;  // the numbers, on the UI side

protected:
    int doInBackground(std::stop_token stop) override {
        for (int i = 0; i != count_ && !stop.stop_requested(); ++i) {
            std::string text = std::to_string(i);
            text.resize(std::max(length_, text.size()), ' ');
            publish(std::move(text));
            ++published;
        }
        workEnded.set_value();
        return published;
    }
    void process(std::vector<std::string>& chunks) override {
        for (const std::string& text : chunks)
            received.push_back(text.substr(0, text.find(' ')));
    }
    std::size_t sizeOf(const std::string& text) const override { return text.size(); }
    void publishStalled(std::size_t waiting) override {
        if (stalls++ == 0) stalled.set_value(waiting);
    }

private:
    std::size_t length_;
    int count_;
};

std::vector<std::string> numbersUpTo(int count) {
    std::vector<std::string> all;
    for (int i = 0; i < count; ++i)
        all.push_back(std::to_string(i));
    return all;
}

using Flood = BackgroundTask<int, std::string>;

TEST(BackgroundTaskTest, PublishWaitsAtTheBoundUntilTheUiSideTakesResultsAndLosesNone) {
    constexpr std::size_t kMiB = 1024 * 1024;
    struct Case {
        const char* name;
        std::size_t length;
        std::size_t bound;  // results that fit before publish waits
    };
    const std::vector<Case> cases = {
        {"short results: the number of results", 1, Flood::kMaxUnprocessedResults},
        {"long results: their size", kMiB, Flood::kMaxUnprocessedBytes / kMiB},
        {"one result above the byte bound alone", Flood::kMaxUnprocessedBytes + 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QueueExecutor ui;
        const int total = static_cast<int>(c.bound) + 1;
        auto task = std::make_shared<FloodTask>(ui, c.length, total);
        task->execute();
        // The UI side takes nothing yet: the last result waits.
        auto stalled = task->stalled.get_future();
        ASSERT_EQ(stalled.wait_for(30s), std::future_status::ready)
            << "publish did not report waiting for room";
        EXPECT_EQ(stalled.get(), c.bound);
        EXPECT_EQ(task->published, static_cast<int>(c.bound));
        ASSERT_TRUE(ui.runUntil([&] { return task->isDone(); }, 30s))
            << "the task did not end once its results were taken";
        EXPECT_EQ(task->received, numbersUpTo(total));
        EXPECT_EQ(task->stalls, 1);
        EXPECT_EQ(task->ending(), TaskEnding::Completed);
    }
}

TEST(BackgroundTaskTest, AStopWhilePublishWaitsEndsTheWorkAtOnceAndKeepsEveryResult) {
    for (const bool fromAnotherThread : {false, true}) {
        SCOPED_TRACE(fromAnotherThread ? "cancelled from another thread" : "cancelled");
        QueueExecutor ui;
        auto task = std::make_shared<FloodTask>(ui, 1, FloodTask::kUntilStopped);
        task->execute();
        ASSERT_EQ(task->stalled.get_future().wait_for(30s), std::future_status::ready)
            << "publish did not report waiting for room";
        if (fromAnotherThread) {
            std::thread([&] { task->cancel(true); }).join();
        } else {
            task->cancel(true);
        }
        // Nothing has been taken, yet the work step ends.
        ASSERT_EQ(task->workEnded.get_future().wait_for(30s), std::future_status::ready)
            << "the work step went on waiting after the cancel";
        ASSERT_TRUE(ui.runUntil([&] { return task->isDone(); }, 30s))
            << "the completion step did not come";
        // The result in hand when the cancel came is kept too.
        EXPECT_EQ(task->received, numbersUpTo(task->published));
        EXPECT_EQ(task->published, static_cast<int>(Flood::kMaxUnprocessedResults) + 1);
        EXPECT_EQ(task->ending(), TaskEnding::Cancelled);
    }
}

}  // namespace
}  // namespace scalino
