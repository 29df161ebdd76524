// The background task under a manual executor: results published on the task's thread reach
// the UI side in order and before the completion step, and the four endings are told apart.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

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

}  // namespace
}  // namespace scalino
