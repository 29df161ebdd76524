#include "cli/ReadCommand.h"

#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/LineOutput.h"
#include "cli/SettingArguments.h"
#include "cli/SignalWatcher.h"
#include "cli/StoredSettings.h"
#include "platform/FluidSynthSequencer.h"
#include "platform/KeyEventBackend.h"
#include "rs232/SerialPortLocal.h"
#include "util/Text.h"
#include "worker/Ignorer.h"
#include "worker/Keybot.h"
#include "worker/RecordingKeyEvents.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerChoice.h"

namespace scalino::cli {
namespace {

constexpr const char* kHelp =
    R"(Usage: scalino-cli read [--port NAME] [--prefs FILE] [--set KEY=VALUE]...
                        [--type [--keyboard x11|uinput|record]] [--sound]

Connects to the instrument as the desktop program's start button does: opens
the serial port with the settings' bit rate, data bits, parity and stop bits,
reads lines up to the input terminator and processes each one through the
connection the instrument calls for (barcode scanners keep their text; the
A&D balances with handshake have their handshake lines checked first). Runs
until Ctrl+C (SIGINT) or SIGTERM, which disconnects like the stop button.

Options:
  --port NAME       The serial port, for example /dev/ttyUSB0 (see
                    'scalino-cli ports'). Without it, the stored port setting.
  --prefs FILE      Use FILE as the settings file instead of the usual one.
  --set KEY=VALUE   Set one setting for this run, in the form the settings
                    store holds it; may be repeated. See
                    'scalino-cli process --help' for the keys.
  --type            Type every value into the application that has the
                    keyboard focus, with the settings' keyboard layout, start
                    key, end key and delay (see 'scalino-cli type --help').
  --keyboard NAME   How keys are sent with --type: x11, uinput or record
                    (record prints the key events at the end, on a line
                    starting with "keys<tab>"). Without it: x11 where an X
                    display answers and the session is not Wayland, else
                    uinput.
  --sound           Play the settings' sound for every value (with --set
                    sound=COWBELL, for example).
  --help            Show this text.

Standard output, one line per received line, flushed at once, as
'scalino-cli process' prints it:
  NUMBER <tab> VALUE <tab> FAULT <tab> RAW
A suppressed duplicate (with ignoreDuplicates) shows an empty VALUE.

Standard error carries the event log, one entry per line with the time:
  14:03:07 Port /dev/ttyUSB0 opened: 9600 bit/s, 8 data bits, ...

Exit status: 0 after SIGINT or SIGTERM, 1 when the port (or the keyboard
output of --type) cannot be opened, 2 for a bad option, 3 when the
connection ended because of an error (an unplugged adapter, a value the
number formatter cannot read).

Examples:
  scalino-cli read --port /dev/ttyUSB0 --set instrument=KERN_MPS
  scalino-cli simulate --link /tmp/scale &
  scalino-cli read --port /tmp/scale --type --set outputTerminator=ENTER
)";

constexpr const char* kPrefix = "scalino-cli read: ";

struct Options {
    std::optional<std::string> port;
    bool type = false;
    bool sound = false;
    std::string keyboard;
    std::vector<std::string> assignments;
};

std::optional<int> parseOptions(std::vector<std::string> arguments, Options& options,
                                std::FILE* out, std::FILE* err) {
    if (auto error = takePreferencesOption(arguments)) {
        std::fprintf(err, "%s%s\n", kPrefix, error->c_str());
        return 2;
    }
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, out);
            return 0;
        }
        if (argument == "--type") {
            options.type = true;
        } else if (argument == "--sound") {
            options.sound = true;
        } else if (auto port = optionValue(arguments, i, "--port")) {
            options.port = *port;
        } else if (auto assignment = optionValue(arguments, i, "--set")) {
            options.assignments.push_back(*assignment);
        } else if (auto keyboard = optionValue(arguments, i, "--keyboard")) {
            if (auto error = keyboardError(*keyboard)) {
                std::fprintf(err, "%s%s\n", kPrefix, error->c_str());
                return 2;
            }
            options.keyboard = *keyboard;
        } else {
            std::fprintf(err, "%sunexpected argument '%s'; see --help\n", kPrefix,
                         argument.c_str());
            return 2;
        }
    }
    if (!options.keyboard.empty() && !options.type) {
        std::fprintf(err, "%s--keyboard goes with --type\n", kPrefix);
        return 2;
    }
    return std::nullopt;
}

// The event log on standard error, as the window's log formats its entries.
class EventLog {
public:
    explicit EventLog(std::FILE* err) : err_(err) {}
    void add(const std::string& text) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::lock_guard lock(mutex_);
        std::fprintf(err_, "%02d:%02d:%02d %s\n", local.tm_hour, local.tm_min, local.tm_sec,
                     text.c_str());
        std::fflush(err_);
    }

private:
    std::mutex mutex_;
    std::FILE* err_;
};

// What the window does with a connection, on a terminal: logs its events, and passes every
// received line through the duplicate suppressor to the sound, the output and the typing.
class ConsoleView : public WeightWorkerView {
public:
    ConsoleView(std::FILE* out, EventLog& log) : out_(out), log_(log) {}

    std::optional<Ignorer> ignorer;
    std::unique_ptr<SoundBot> soundBot;
    bool typing = false;

    void logEvent(const std::string& text) override { log_.add(text); }
    void logImportantEvent(const std::string& text) override { log_.add(text); }
    void setConnectedInGUI(bool) override {}
    void showWarning(const std::string& title, const std::string& message) override {
        log_.add(title + ": " + message);
    }
    void update(const DataLine& received) override {
        DataLine line = received.copy();
        if (ignorer) ignorer->process(line);
        if (line.hasValue() && soundBot) soundBot->beep();
        printDataLine(out_, line);
        if (line.hasValue() && typing) Keybot::add(latin1ToUtf8(line.getProcessedData()));
    }

private:
    std::FILE* out_;
    EventLog& log_;
};

// The sound player, or none when the sound output cannot start: values still arrive.
std::unique_ptr<SoundBot> startSound(const Config& config, EventLog& log) {
    try {
        return makeSoundBot(config.getSound());
    } catch (const std::exception& error) {
        log.add(workerText("error.while.initializing.sound.output") + " " + error.what());
        return nullptr;
    }
}

// Waits, within reason, until the typing thread has taken every queued value, so that values
// received just before the end are typed too.
void awaitTyping() {
    using namespace std::chrono_literals;
    for (int i = 0; i < 1000 && Keybot::queuedCount() > 0; ++i)
        std::this_thread::sleep_for(10ms);
}

}  // namespace

int runRead(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    Options options;
    if (auto status = parseOptions(arguments, options, out, err)) return *status;
    // Before any thread starts, so that every thread leaves the signals to it.
    QueueExecutor ui;
    std::shared_ptr<WeightWorker> worker;
    SignalWatcher signals([&](int) {
        ui.post([&] {
            if (worker) worker->cancel(true);
        });
    });

    Config config = loadStoredSettings(
        err, "read", options.port ? std::vector<std::string>{} : SerialPortLocal::getPortList());
    if (options.port) config.setPort(*options.port);
    if (auto error = applySettings(config, options.assignments)) {
        std::fprintf(err, "%s%s\n", kPrefix, error->message.c_str());
        return 2;
    }
    EventLog log(err);
    ConsoleView view(out, log);
    std::unique_ptr<KeyEventGenerator> keys;
    std::unique_ptr<Keybot> keybot;
    if (options.type) {
        try {
            keys = createKeyEventGenerator(config.getKeyboardType(), options.keyboard);
        } catch (const std::exception& error) {
            std::fprintf(err, "%s%s%s\n", kPrefix,
                         workerText("error.initializing.keyboard.output").c_str(), error.what());
            return 1;
        }
        keybot = Keybot::fromConfig(config, &view, *keys);
        keybot->start();
        view.typing = true;
        if (keys->isCapsLockOn()) log.add(workerText("please.turn.off.caps.lock"));
    }
    if (options.sound) view.soundBot = startSound(config, log);
    if (config.ignoreDuplicates()) view.ignorer.emplace(config);

    try {
        worker = createWeightWorker(config, view, ui);
    } catch (const std::exception& error) {
        std::fprintf(err, "%s%s\n", kPrefix, error.what());
        if (config.getPort().empty()) {
            std::fprintf(err, "%sname it with --port; 'scalino-cli ports' lists the ports\n",
                         kPrefix);
        }
        return 1;
    }
    worker->execute();
    ui.runUntil([&] { return worker->isDone(); });
    if (keybot) {
        awaitTyping();
        keybot->stop();
    }
    if (view.soundBot) view.soundBot->close();
    if (const auto* recording = dynamic_cast<const RecordingKeyEvents*>(keys.get())) {
        std::fprintf(out, "keys\t%s\n", recording->transcript().c_str());
    }
    return worker->ending() == TaskEnding::Failed ? 3 : 0;
}

}  // namespace scalino::cli
