// A connection's output side over a scripted port: duplicate suppression, sound and typing in
// their order for every line, the problems reported while connecting, and both ways a
// connection ends.
#include "worker/Connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>

#include "config/Instrument.h"
#include "rs232/SerialExceptions.h"
#include "support/RecordingWorkerView.h"
#include "support/ScriptedDriver.h"
#include "util/ResourceBundle.h"
#include "worker/RecordingKeyEvents.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
using ConfigHelper::Instrument;
using Problem = ConnectionView::Problem;
using test::ScriptedDriver;

using RecordingConnectionView = test::RecordingWorkerView;

// Counts what the sound player asks of it; can refuse to open.
class CountingSequencer : public Sequencer {
public:
    struct Counts {
        int opened = 0, started = 0, closed = 0;
    };
    CountingSequencer(std::shared_ptr<Counts> counts, bool refuse)
        : counts_(std::move(counts)), refuse_(refuse) {}
    void open() override {
        if (refuse_) throw SoundError("no sound card in this test");
        ++counts_->opened;
    }
    void load(const MidiSequence&) override {}
    void rewindAndStart() override { ++counts_->started; }
    void close() override { ++counts_->closed; }

private:
    std::shared_ptr<Counts> counts_;
    bool refuse_;
};

// Holds the first key press until stop is under way (or a moment has passed), so that a test
// can stop while a value is being typed and others wait.
class HeldKeyEvents : public RecordingKeyEvents {
public:
    void keyPress(int keyCode) override {
        std::unique_lock lock(mutex_);
        if (!held_) {
            held_ = true;
            changed_.notify_all();
            changed_.wait_for(lock, 200ms, [this] { return released_; });
        }
        lock.unlock();
        RecordingKeyEvents::keyPress(keyCode);
    }
    // False when no key went down within a few seconds.
    bool awaitHeld() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [this] { return held_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
};

std::string windowText(std::string_view key) {
    return ResourceBundle::getBundle("scalino.Scalino").getString(key);
}

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { Keybot::clearQueue(); }

    Config settings(Instrument instrument = Instrument::GENERIC) {
        Config config = ConfigHelper::getDefaultConfig(instrument);
        config.setInstrument(instrument);
        config.setPort("/dev/ttyUSB7");
        config.setInputTerminator('\n');
        config.setDelay("0");
        return config;
    }

    Connection::Outputs outputs(bool typing = true, bool sound = true, bool soundFails = false) {
        Connection::Outputs result;
        if (typing) result.keys = [this](const Config&, std::stop_token) { return keys; };
        if (sound) {
            result.sequencer = [this, soundFails] {
                return std::make_unique<CountingSequencer>(sounds, soundFails);
            };
        }
        result.portOpener = [this](const SerialConfig& serial) {
            return std::make_unique<SerialPortLocal>(serial, driver,
                                                     PlatformInfo::forPlatform("Linux", "amd64"));
        };
        return result;
    }

    // What typing these values in this order sends, with the settings' keys.
    std::string typed(const Config& config, const std::vector<std::string>& values) {
        RecordingKeyEvents expected;
        auto keybot = Keybot::fromConfig(config, nullptr, expected);
        for (const auto& value : values) {
            keybot->typeStart();
            keybot->typeString(value);
            keybot->typeEnd();
        }
        return expected.transcript();
    }

    std::shared_ptr<ScriptedDriver> driver = std::make_shared<ScriptedDriver>();
    std::shared_ptr<RecordingKeyEvents> keys = std::make_shared<RecordingKeyEvents>();
    std::shared_ptr<CountingSequencer::Counts> sounds =
        std::make_shared<CountingSequencer::Counts>();
    RecordingConnectionView view;
    QueueExecutor ui;
};

TEST_F(ConnectionTest, EachLineIsSuppressedSoundedShownAndTypedInThatOrder) {
    Config config = settings();
    config.ignoreDuplicates() = true;
    config.setSound(ConfigHelper::Sound::COWBELL);
    config.setOutputTerminator(ConfigHelper::OutputTerminator::TAB);
    Connection connection(view, ui, outputs());
    connection.start(config);
    driver->script("12.5\n12.5\n13.0\nno value here\n");
    ASSERT_TRUE(ui.runUntil([&] { return view.lineCount() >= 4; }, 60s));
    ASSERT_TRUE(connection.awaitTyping(60s));
    connection.stop();

    std::vector<std::string> shown;
    for (const DataLine& line : view.lines())
        shown.push_back(line.getProcessedData());
    EXPECT_EQ(shown, (std::vector<std::string>{"12.5", "", "13.0", ""}));
    EXPECT_EQ(sounds->started, 2) << "one sound per value that remains";
    EXPECT_EQ(keys->transcript(), typed(config, {"12.5", "13.0"}));
    EXPECT_EQ(sounds->closed, 1);
}

TEST_F(ConnectionTest, TheStartIsLoggedAfterThePortOpenedAndBeforeAnyLine) {
    Config config = settings(Instrument::KERN_MPS);
    config.setCustomRegEx("W=([0-9.]+)");
    config.setKeyboardType(ConfigHelper::KeyboardType::GERMAN);
    Connection connection(view, ui, outputs());
    connection.start(config);
    const std::vector<std::string> log = view.log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "connected");
    EXPECT_TRUE(log[1].starts_with("Port /dev/ttyUSB7 ")) << log[1];
    const std::vector<std::string> started(log.end() - 3, log.end());
    EXPECT_EQ(started, (std::vector<std::string>{
                           windowText("VozevuZaDezFrame2.deviceLabel.text") + " " +
                               ConfigHelper::toString(Instrument::KERN_MPS),
                           "Custom regEx: W=([0-9.]+)",
                           windowText("keyboard.output.started.type") + " " +
                               ConfigHelper::toString(ConfigHelper::KeyboardType::GERMAN)}));
}

// Keys that say how they go, as the real backends do.
class NamedWayKeyEvents : public RecordingKeyEvents {
public:
    std::string method() const override { return "a test's own way"; }
};

TEST_F(ConnectionTest, TheWayTheKeysTakeIsLoggedOnceAfterTypingStarted) {
    keys = std::make_shared<NamedWayKeyEvents>();
    Connection connection(view, ui, outputs());
    connection.start(settings());
    driver->script("1.5\n2.5\n");
    ASSERT_TRUE(ui.runUntil([&] { return view.lineCount() >= 2; }, 60s));
    ASSERT_TRUE(connection.awaitTyping(60s));
    connection.stop();
    const std::vector<std::string> log = view.log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "typing through a test's own way"), 1);
    const auto started = std::find(log.begin(), log.end(),
                                    windowText("keyboard.output.started.type") + " " +
                                        ConfigHelper::toString(ConfigHelper::KeyboardType::QUERTY));
    ASSERT_NE(started, log.end());
    ASSERT_NE(started + 1, log.end());
    EXPECT_EQ(*(started + 1), "typing through a test's own way");
}

TEST_F(ConnectionTest, ProblemsWithKeysOrSoundAreReportedAndTheValuesStillArrive) {
    struct Case {
        std::string name;
        bool keysFail, capsLock, soundFails;
        std::vector<Problem> problems;
        bool typing, sound;
    };
    const std::vector<Case> cases = {
        {"all well", false, false, false, {}, true, true},
        {"keys refused", true, false, false, {Problem::KeyboardOutput}, false, true},
        {"caps lock", false, true, false, {Problem::CapsLock}, true, true},
        {"no sound", false, false, true, {Problem::SoundOutput}, true, false},
        {"neither",
         true,
         false,
         true,
         {Problem::KeyboardOutput, Problem::SoundOutput},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        driver = std::make_shared<ScriptedDriver>();
        keys = std::make_shared<RecordingKeyEvents>();
        keys->setCapsLockOn(c.capsLock);
        sounds = std::make_shared<CountingSequencer::Counts>();
        RecordingConnectionView caseView;
        Connection::Outputs out = outputs(true, true, c.soundFails);
        if (c.keysFail) {
            out.keys = [](const Config&, std::stop_token) -> std::shared_ptr<KeyEventGenerator> {
                throw KeyEventError("no display");
            };
        }
        Config config = settings();
        config.setSound(ConfigHelper::Sound::CLAVES);
        Connection connection(caseView, ui, std::move(out));
        connection.start(config);
        driver->script("7.25\n");
        ASSERT_TRUE(ui.runUntil([&] { return caseView.lineCount() >= 1; }, 60s));
        ASSERT_TRUE(connection.awaitTyping(60s));
        connection.stop();

        std::vector<Problem> problems;
        for (const auto& [problem, detail] : caseView.problems()) {
            problems.push_back(problem);
            if (problem == Problem::KeyboardOutput) {
                EXPECT_EQ(detail, "no display");
            } else if (problem == Problem::SoundOutput) {
                EXPECT_EQ(detail, "no sound card in this test");
            }
        }
        EXPECT_EQ(problems, c.problems);
        EXPECT_EQ(caseView.lines().at(0).getProcessedData(), "7.25");
        EXPECT_EQ(connection.isTyping(), false);
        EXPECT_EQ(keys->transcript().empty(), !c.typing);
        EXPECT_EQ(sounds->started, c.sound ? 1 : 0);
        EXPECT_EQ(caseView.logged(windowText("keyboard.output.started.type")), c.typing);
    }
}

TEST_F(ConnectionTest, APortThatCannotBeOpenedReleasesEverythingAndIsThrown) {
    driver->openResult = NativeDriver::kInUse;
    Config config = settings();
    config.setSound(ConfigHelper::Sound::CLAVES);
    Connection connection(view, ui, outputs());
    EXPECT_THROW(connection.start(config), SerialPortException);
    EXPECT_FALSE(connection.isTyping());
    EXPECT_FALSE(connection.isReading());
    EXPECT_EQ(sounds->opened, sounds->closed);
    EXPECT_FALSE(view.logged(windowText("VozevuZaDezFrame2.deviceLabel.text")));
}

TEST_F(ConnectionTest, StoppingDropsTheValuesNotTypedYetAndSaysHowMany) {
    auto held = std::make_shared<HeldKeyEvents>();
    keys = held;
    Connection connection(view, ui, outputs(true, false));
    connection.start(settings());
    driver->script("1\n2\n3\n");
    ASSERT_TRUE(ui.runUntil([&] { return view.lineCount() >= 3; }, 60s));
    ASSERT_TRUE(held->awaitHeld()) << "typing did not start";
    ASSERT_EQ(Keybot::queuedCount(), 2u);
    connection.stop();
    EXPECT_EQ(Keybot::queuedCount(), 0u) << "nothing left for the next connection to type";
    EXPECT_TRUE(view.logged("! " + workerText("values.not.typed", {"2"})));
    // The value in hand is finished, without its pauses.
    std::string withoutPauses = typed(settings(), {"1"});
    std::erase(withoutPauses, '.');
    withoutPauses.erase(std::unique(withoutPauses.begin(), withoutPauses.end(),
                                    [](char a, char b) { return a == ' ' && b == ' '; }),
                        withoutPauses.end());
    while (withoutPauses.ends_with(' '))
        withoutPauses.pop_back();
    EXPECT_EQ(held->transcript(), withoutPauses);
    ASSERT_TRUE(ui.runUntil([&] { return !connection.isReading(); }, 60s));
    EXPECT_EQ(connection.ending(), TaskEnding::Cancelled);
}

TEST_F(ConnectionTest, WaitingForTypingWaitsForTheValueInHandToo) {
    auto held = std::make_shared<HeldKeyEvents>();
    keys = held;
    Connection connection(view, ui, outputs(true, false));
    connection.start(settings());
    driver->script("8.5\n");
    ASSERT_TRUE(ui.runUntil([&] { return view.lineCount() >= 1; }, 60s));
    ASSERT_TRUE(held->awaitHeld()) << "typing did not start";
    EXPECT_EQ(Keybot::queuedCount(), 0u);
    EXPECT_EQ(Keybot::untypedCount(), 1u) << "taken, but not typed yet";
    ASSERT_TRUE(connection.awaitTyping(60s));
    connection.stop();
    EXPECT_EQ(held->transcript(), typed(settings(), {"8.5"})) << "typed whole, with its pauses";
}

TEST_F(ConnectionTest, AnUnpluggedPortEndsReadingButTheValuesReceivedAreStillTyped) {
    Config config = settings();
    config.setSound(ConfigHelper::Sound::CLAVES);
    Connection connection(view, ui, outputs());
    connection.start(config);
    driver->script("4.5\n6.5\n");
    driver->hangUpAfterScript();
    ASSERT_TRUE(ui.runUntil([&] { return !connection.isReading(); }, 60s));
    EXPECT_EQ(connection.ending(), TaskEnding::Failed);
    EXPECT_EQ(view.log().back(), "disconnected");
    EXPECT_EQ(sounds->closed, 1) << "no value can come any more";
    EXPECT_TRUE(connection.awaitTyping(60s));
    connection.stop();
    EXPECT_EQ(keys->transcript(), typed(config, {"4.5", "6.5"}));
}

TEST_F(ConnectionTest, ALineThatCannotBeProcessedEndsAPlainConnectionButCostsABarcodeOneLine) {
    struct Case {
        Instrument instrument;
        std::string customRegEx;
        std::vector<std::string> shown;
        TaskEnding ending;
        std::string logged;
    };
    const std::vector<Case> cases = {
        // The expression captures text where a number belongs.
        {Instrument::GENERIC,
         "([a-z]+)",
         {},
         TaskEnding::Failed,
         "! " + workerText("execution.exception") + " " + workerText("invalid.number", {"ab"})},
        // The group takes no part in the match on the first line.
        {Instrument::BARCODE_ALPHA,
         "^(?:x|([a-z]+))$",
         {"cd"},
         TaskEnding::Cancelled,
         "! Error [WW]: " + workerText("no.value")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ConfigHelper::name(c.instrument));
        driver = std::make_shared<ScriptedDriver>();
        RecordingConnectionView caseView;
        Config config = settings(c.instrument);
        config.setCustomRegEx(c.customRegEx);
        config.setInputTerminator('\n');
        Connection connection(caseView, ui, outputs(false, false));
        connection.start(config);
        driver->script(c.instrument == Instrument::GENERIC ? "ab\ncd\n" : "x\ncd\n");
        ui.runUntil([&] { return !connection.isReading() || caseView.lineCount() >= 1; }, 60s);
        connection.stopReading();
        ASSERT_TRUE(ui.runUntil([&] { return !connection.isReading(); }, 60s));
        std::vector<std::string> shown;
        for (const DataLine& line : caseView.lines())
            shown.push_back(line.getProcessedData());
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(connection.ending(), c.ending);
        EXPECT_TRUE(caseView.logged(c.logged));
        // The failed line was read whole: it is neither data without its terminator nor a line
        // left unread.
        EXPECT_FALSE(caseView.logged("! " + workerText("unsent.data")));
        EXPECT_FALSE(caseView.logged("! " + workerText("unread.lines", {"1"})));
    }
}

// Counts the steps posted, so that a test can wait for a worker's step without running it.
class CountingExecutor : public UiExecutor {
public:
    explicit CountingExecutor(UiExecutor& inner) : inner_(inner) {}
    void post(std::function<void()> step) override {
        inner_.post(std::move(step));
        ++posted;
    }
    std::atomic<int> posted{0};

private:
    UiExecutor& inner_;
};

TEST_F(ConnectionTest, AConnectionGoneBeforeItsQueuedStepsRunLeavesThemHarmless) {
    CountingExecutor counting(ui);
    auto connection = std::make_unique<Connection>(view, counting, outputs());
    connection->start(settings());
    driver->script("1.5\n2.5\n");
    // Let the worker publish without running its steps, then let the connection go.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (counting.posted == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_GT(counting.posted, 0) << "the worker posted no step";
    connection.reset();
    const size_t shownBefore = view.lineCount();
    ui.runPending();
    EXPECT_EQ(view.lineCount(), shownBefore) << "steps of a gone connection reach nothing";
}

}  // namespace
}  // namespace scalino
