#include "worker/Keybot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>

#include "util/Text.h"
#include "worker/RecordingKeyEvents.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;
using Messages = std::vector<std::string>;

class RecordingView : public WeightWorkerView {
public:
    void logEvent(const std::string&) override {}
    void logImportantEvent(const std::string& text) override {
        std::lock_guard lock(mutex_);
        important_.push_back(text);
    }
    void setConnectedInGUI(bool) override {}
    void update(const DataLine&) override {}
    Messages important() const {
        std::lock_guard lock(mutex_);
        return important_;
    }

private:
    mutable std::mutex mutex_;
    Messages important_;
};

using namespace std::chrono_literals;

// How long a test waits for the typing thread before it reports what did not come.
constexpr auto kDeadline = 10s;

// Tells when a key has been released a given number of times, so a test knows that the typing
// thread has typed everything it expects without waiting for a fixed time.
class SignallingKeyEvents : public RecordingKeyEvents {
public:
    SignallingKeyEvents(int keyCode, int releases) : keyCode_(keyCode), remaining_(releases) {}
    void keyRelease(int keyCode) override {
        RecordingKeyEvents::keyRelease(keyCode);
        if (keyCode == keyCode_ && --remaining_ == 0) done_.set_value();
    }
    // False when the releases had not all come by the deadline.
    bool awaitReleases() { return released_.wait_for(kDeadline) == std::future_status::ready; }

private:
    int keyCode_;
    int remaining_;
    std::promise<void> done_;
    std::future<void> released_ = done_.get_future();
};

constexpr int kTab = VirtualKey::Tab;
constexpr int kEnter = VirtualKey::Enter;

class KeybotTest : public ::testing::Test {
protected:
    void SetUp() override { Keybot::clearQueue(); }
    void TearDown() override { Keybot::clearQueue(); }

    // The transcript of typing text with no start or end key.
    std::string typed(KeyboardType layout, KeyMapType type, std::string_view text) {
        RecordingKeyEvents keys;
        Keybot(20, 0, 0, layout, type, &view, keys).typeString(text);
        return keys.transcript();
    }

    RecordingView view;
};

struct TypingCase {
    KeyboardType layout;
    std::string_view text;
    std::string_view transcript;
};

TEST_F(KeybotTest, KeysGoDownInOrderAndUpInReverseWithAWaitAfterEach) {
    const TypingCase cases[] = {
        {KeyboardType::QUERTY, "", ""},
        {KeyboardType::QUERTY, "A", "+Shift . +A . -A . -Shift ."},
        {KeyboardType::QUERTY, "1a", "+D1 . -D1 . +A . -A ."},
        {KeyboardType::QUERTY, " ", "+Space . -Space ."},
        {KeyboardType::AZERTY, "-", "+D6 . -D6 ."},
        {KeyboardType::GERMAN, "?", "+Alt . +Kp6 . +Kp3 . -Kp3 . -Kp6 . -Alt ."},
        // A dead key's own character: the space follows once the other keys are up.
        {KeyboardType::US_INTERNATIONAL, "'", "+DeadAcute . -DeadAcute . +Space . -Space ."},
        {KeyboardType::US_INTERNATIONAL, "\"",
         "+Shift . +DeadAcute . -DeadAcute . -Shift . +Space . -Space ."},
        {KeyboardType::AZERTY, "`", "+Ctrl . +Alt . +D7 . -D7 . -Alt . -Ctrl . +Space . -Space ."},
    };
    for (const TypingCase& c : cases) {
        EXPECT_EQ(typed(c.layout, KeyMapType::ALPHANUMERIC_COMPLETE, c.text), c.transcript)
            << ConfigHelper::name(c.layout) << " " << c.text;
    }
    EXPECT_EQ(view.important(), Messages{});
}

TEST_F(KeybotTest, UntypeableCharactersAreReportedAndSkipped) {
    const std::string cannot = workerText("cannot_type");
    struct Case {
        KeyMapType type;
        std::string text;
        Messages messages;
    };
    const Case cases[] = {
        {KeyMapType::NUMERIC, "1A\r2", {cannot + "A", cannot + "<13>"}},
        {KeyMapType::ALPHANUMERIC_BASIC, "1a2", {cannot + "a"}},
        {KeyMapType::ALPHANUMERIC_COMPLETE, "1\t2", {cannot + "<9>"}},
        // Code points, not bytes: a two-byte, a three-byte and a four-byte character.
        {KeyMapType::ALPHANUMERIC_COMPLETE,
         "1\u00E9\u20AC\U0001F600"
         "2",
         {cannot + "<233>", cannot + "<8364>", cannot + "<128512>"}},
        // Latin-1 data as the worker hands it over, and a stray byte that is not UTF-8.
        {KeyMapType::NUMERIC,
         latin1ToUtf8("1\xB0"
                      "2"),
         {cannot + "<176>"}},
        {KeyMapType::NUMERIC,
         "1\xB0"
         "2",
         {cannot + "<176>"}},
        {KeyMapType::NUMERIC,
         "1\xE2\x82"
         "2",
         {cannot + "<226>", cannot + "<130>"}},
    };
    for (const Case& c : cases) {
        RecordingView caseView;
        RecordingKeyEvents keys;
        Keybot(20, 0, 0, KeyboardType::QUERTY, c.type, &caseView, keys).typeString(c.text);
        EXPECT_EQ(keys.transcript(), "+D1 . -D1 . +D2 . -D2 .") << readableForm(c.text);
        EXPECT_EQ(caseView.important(), c.messages) << readableForm(c.text);
    }
}

TEST_F(KeybotTest, RefusedKeysAreReportedAndTypingGoesOn) {
    const std::string on = " on " + ConfigHelper::toString(KeyboardType::US_INTERNATIONAL);
    struct Case {
        int refusedPress;
        int refusedRelease;
        std::string_view transcript;
        Messages messages;
    };
    // Types A, then an apostrophe (DeadAcute + Space), then b.
    const Case cases[] = {
        {VirtualKey::Shift,
         0,
         "+A . -A . +DeadAcute . -DeadAcute . +Space . -Space . +B . -B .",
         {"Error pressing key 16" + on + " keyboard: refused key 16"}},
        {0,
         VirtualKey::A,
         "+Shift . +A . -Shift . +DeadAcute . -DeadAcute . +Space . -Space . "
         "+B . -B .",
         {"Error releasing key 65" + on + " keyboard: refused key 65"}},
        {VirtualKey::Space,
         0,
         "+Shift . +A . -A . -Shift . +DeadAcute . -DeadAcute . +B . -B .",
         {"Deadkey error: refused key 32"}},
        {0,
         VirtualKey::Space,
         "+Shift . +A . -A . -Shift . +DeadAcute . -DeadAcute . +Space . +B . -B .",
         {"Deadkey error: refused key 32"}},
    };
    for (const Case& c : cases) {
        RecordingView caseView;
        RecordingKeyEvents keys;
        keys.rejectPress(c.refusedPress);
        keys.rejectRelease(c.refusedRelease);
        Keybot(20, 0, 0, KeyboardType::US_INTERNATIONAL, KeyMapType::ALPHANUMERIC_COMPLETE,
               &caseView, keys)
            .typeString("A'b");
        EXPECT_EQ(keys.transcript(), c.transcript);
        EXPECT_EQ(caseView.important(), c.messages);
    }
}

TEST_F(KeybotTest, WithoutAViewProblemsGoToStandardError) {
    RecordingKeyEvents keys;
    keys.rejectPress(VirtualKey::Shift);
    keys.rejectRelease(VirtualKey::D1);
    Keybot keybot(0, 0, 0, KeyboardType::QUERTY, KeyMapType::ALPHANUMERIC_BASIC, nullptr, keys);
    ::testing::internal::CaptureStderr();
    keybot.typeString("A1\r");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error on pressing: 16: refused key 16\n"
              "Error on releasing: 49: refused key 49\n" +
                  workerText("cannot_type") + "<13>\n");
    EXPECT_EQ(keys.transcript(), "+A . -A . +D1 .");
}

TEST_F(KeybotTest, EachTextIsFramedByTheStartAndEndKeys) {
    SignallingKeyEvents keys(kEnter, 2);
    Keybot keybot(20, kTab, kEnter, KeyboardType::QUERTY, KeyMapType::ALPHANUMERIC_BASIC, &view,
                  keys);
    Keybot::add("");  // dropped: neither start nor end key for it
    Keybot::add("A1");
    Keybot::add("2");
    EXPECT_EQ(Keybot::queuedCount(), 2u);
    std::stop_source stop;
    std::atomic<bool> typed{false};
    std::jthread stopper([&] {
        typed = keys.awaitReleases();
        stop.request_stop();
    });
    keybot.run(stop.get_token());
    stopper.join();
    ASSERT_TRUE(typed) << "the end key (Enter) was not released after each of the two texts";
    // No wait after the start and end keys' release.
    EXPECT_EQ(keys.transcript(),
              "+Tab . -Tab +Shift . +A . -A . -Shift . +D1 . -D1 . +Enter . -Enter "
              "+Tab . -Tab +D2 . -D2 . +Enter . -Enter");
    EXPECT_EQ(keys.delayCount(), (1 + 4 + 2 + 1) + (1 + 2 + 1));
    EXPECT_EQ(keys.delayTotal(), 20 * keys.delayCount());
    EXPECT_EQ(Keybot::queuedCount(), 0u);
}

TEST_F(KeybotTest, StopWinsOverQueuedTextsWhichStayForTheNextKeybot) {
    RecordingKeyEvents first;
    {
        Keybot keybot(0, kTab, kEnter, KeyboardType::QUERTY, KeyMapType::NUMERIC, &view, first);
        keybot.start();
        keybot.stop();  // ends the thread waiting on the empty queue
        Keybot::add("5");
        std::stop_source stop;
        stop.request_stop();
        keybot.run(stop.get_token());  // stopped before taking anything
    }
    EXPECT_EQ(first.transcript(), "");
    ASSERT_EQ(Keybot::queuedCount(), 1u);

    Keybot::add("6");
    SignallingKeyEvents next(kEnter, 2);
    Keybot keybot(0, 0, kEnter, KeyboardType::QUERTY, KeyMapType::NUMERIC, &view, next);
    keybot.start();
    const bool typed = next.awaitReleases();
    keybot.stop();
    ASSERT_TRUE(typed) << "the next typing engine did not type both queued texts: "
                       << next.transcript();
    EXPECT_EQ(next.transcript(), "+D5 . -D5 . +Enter . -Enter +D6 . -D6 . +Enter . -Enter");
}

TEST_F(KeybotTest, AStopWhileTypingFinishesTheTextWithoutItsPauses) {
    // Requests the stop as the first key goes down, as the window does on disconnect.
    class StoppingKeyEvents : public RecordingKeyEvents {
    public:
        std::stop_source stop;
        void keyPress(int keyCode) override {
            RecordingKeyEvents::keyPress(keyCode);
            stop.request_stop();
        }
    } keys;
    Keybot keybot(1000, 0, kEnter, KeyboardType::QUERTY, KeyMapType::NUMERIC, &view, keys);
    Keybot::add("12");
    Keybot::add("3");
    keybot.run(keys.stop.get_token());
    EXPECT_EQ(keys.transcript(), "+D1 -D1 +D2 -D2 +Enter -Enter");
    EXPECT_EQ(Keybot::queuedCount(), 1u);
}

TEST_F(KeybotTest, TextsFromAnotherThreadAreTypedWholeAndInOrder) {
    constexpr int kTexts = 300;
    SignallingKeyEvents keys(kEnter, kTexts);
    Keybot keybot(0, 0, kEnter, KeyboardType::QUERTY, KeyMapType::NUMERIC, &view, keys);
    keybot.start();
    std::string expected;
    {
        std::jthread producer([] {
            for (int i = 0; i < kTexts; ++i)
                Keybot::add(std::to_string(i));
        });
        for (int i = 0; i < kTexts; ++i) {
            for (char digit : std::to_string(i)) {
                const std::string key = "D" + std::string(1, digit);
                expected += "+" + key + " . -" + key + " . ";
            }
            expected += "+Enter . -Enter ";
        }
        expected.pop_back();
    }
    const bool typed = keys.awaitReleases();
    keybot.stop();
    ASSERT_TRUE(typed) << "the end key was not released after each of the " << kTexts << " texts";
    EXPECT_EQ(keys.transcript(), expected);
    EXPECT_EQ(view.important(), Messages{});
}

}  // namespace
}  // namespace scalino
