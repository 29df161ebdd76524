#include "cli/ReadCommand.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "cli/LineOutput.h"
#include "cli/SettingArguments.h"
#include "cli/SignalWatcher.h"
#include "cli/StoredSettings.h"
#include "platform/FluidSynthSequencer.h"
#include "platform/KeyEventBackend.h"
#include "config/SettingsStore.h"
#include "rs232/FriendlyPortUtil.h"
#include "rs232/SerialPortLocal.h"
#include "util/Text.h"
#include "worker/Connection.h"
#include "worker/RecordingKeyEvents.h"
#include "worker/WorkerBundle.h"

namespace scalino::cli {
namespace {

constexpr const char* kHelp =
    R"(Usage: scalino-cli read [--port NAME] [--prefs FILE] [--set KEY=VALUE]...
                        [--defaults] [-b RATE] [--line SETTINGS]
                        [--type [--keyboard auto|portal|kde|wayland|uinput|x11|record]]
                        [--sound]

Connects to the instrument as the desktop program's start button does: opens
the serial port with the settings' bit rate, data bits, parity and stop bits,
reads lines up to the input terminator and processes each one through the
connection the instrument calls for (barcode scanners keep their text; the
A&D balances with handshake have their handshake lines checked first). Runs
until Ctrl+C (SIGINT) or SIGTERM, which disconnects like the stop button.

Options:
  --port NAME       The serial port, for example /dev/ttyUSB0 (see
                    'scalino-cli ports --long'). Without it, the port of the
                    stored settings (or the first port present when none is
                    stored); when that port is not present, read lists the
                    ports that are and ends.
  --prefs FILE      Use FILE as the settings file instead of the usual one.
  --set KEY=VALUE   Set one setting for this run; may be repeated. Serial
                    settings take their real values (bitRate=9600, dataBits=7,
                    stopBits=2, parity=even). See 'scalino-cli process
                    --help' for the keys.
  --defaults        Use the instrument's own line settings (bit rate, data
                    bits, parity, stop bits, input terminator) where no option
                    gives them, and show its setup hint.
  -b, --baud RATE   The bit rate, as --set bitRate=RATE.
  --line SETTINGS   Bit rate, data bits, parity and stop bits at once:
                    9600,8N1 or 2400,7E1, optionally with the line end:
                    2400,7E1,LF.
  --type            Type every value into the application that has the
                    keyboard focus, with the settings' keyboard layout, start
                    key, end key and delay (see 'scalino-cli type --help').
  --keyboard NAME   How keys are sent with --type: auto, portal, kde, wayland,
                    uinput, x11 or record (record prints the key events at the
                    end, on a line starting with "keys<tab>"). Without it, as
                    for 'scalino-cli type'; the event log tells the way taken
                    ("typing through ...").
  --sound           Play the settings' sound for every value (with --set
                    sound=COWBELL, for example).
  --help            Show this text.

Standard output, one line per received line, flushed at once, as
'scalino-cli process' prints it:
  NUMBER <tab> VALUE <tab> FAULT <tab> RAW
A suppressed duplicate (with ignoreDuplicates) shows an empty VALUE. When
standard output does not take the lines (a reader that stalls, Ctrl+S in a
terminal), reading pauses once 4096 lines wait and the log says so; the
instrument's data then waits in the port, and no line already read is
dropped. Standard output that cannot be written at all stops reading.

Standard error carries the event log, one entry per line with the time:
  14:03:07 Port /dev/ttyUSB0 opened: 9600 bit/s, 8 data bits, ...

Exit status: 0 after SIGINT or SIGTERM, 1 when the port (or the keyboard
output of --type) cannot be opened or is not present, 2 for a bad option, 3 when the
connection ended because of an error (an unplugged adapter, a value the
number formatter cannot read, standard output that cannot be written).

Examples:
  scalino-cli read --port /dev/ttyUSB0 --set instrument=KERN_MPS --defaults
  scalino-cli read --port /dev/ttyUSB0 --set instrument=GENERIC --line 9600,8N1,CR
  scalino-cli simulate --set instrument=KERN_MPS --defaults --link /tmp/scale &
  scalino-cli read --port /tmp/scale --set instrument=KERN_MPS --defaults --type
)";

constexpr const char* kPrefix = "scalino-cli read: ";

struct Options {
    std::optional<std::string> port;
    bool type = false;
    bool sound = false;
    std::string keyboard;
    SettingOptions settings;
};

std::optional<int> parseOptions(std::vector<std::string> arguments, Options& options,
                                std::FILE* out, std::FILE* err) {
    if (auto error = takePreferencesOption(arguments)) {
        std::fprintf(err, "%s%s\n", kPrefix, error->c_str());
        return 2;
    }
    takeSettingOptions(arguments, options.settings, true);
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
            if (port->empty()) throw UsageError("--port needs the name of a serial port");
            options.port = *port;
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

// The front end of a connection on a terminal: events on standard error, lines on standard
// output. Output that cannot be written is reported once, and the call given to whenOutputFails
// is made: the lines that follow would be lost as well.
class ConsoleView : public ConnectionView {
public:
    ConsoleView(std::FILE* out, std::FILE* err, EventLog& log) : out_(out), err_(err), log_(log) {}

    void whenOutputFails(std::function<void()> call) { outputFailed_ = std::move(call); }

    void logEvent(const std::string& text) override { log_.add(text); }
    void logImportantEvent(const std::string& text) override { log_.add(text); }
    void setConnectedInGUI(bool) override {}
    void showWarning(const std::string& title, const std::string& message) override {
        log_.add(title + ": " + message);
    }
    // On the command line every setting is changed with --set.
    std::string settingControl(std::string_view key, std::string_view value) const override {
        if (value.empty()) return workerText("setting.option.any", {std::string(key)});
        return workerText("setting.option", {std::string(key), std::string(value)});
    }
    void update(const DataLine& line) override {
        if (printDataLine(out_, line) || failed_) return;
        reportUnwrittenOutput(err_, "read", errno);
        failed_ = true;
        if (outputFailed_) outputFailed_();
    }
    // Whether output was lost; reported unless already said.
    bool outputLost() {
        if (!failed_) failed_ = !outputWritten(out_, err_, "read");
        return failed_;
    }
    void connectionProblem(Problem problem, const std::string& detail) override {
        switch (problem) {
            case Problem::KeyboardOutput:
                log_.add(workerText("error.initializing.keyboard.output") + detail);
                break;
            case Problem::CapsLock: log_.add(workerText("please.turn.off.caps.lock")); break;
            case Problem::SoundOutput:
                log_.add(workerText("error.while.initializing.sound.output") + " " + detail);
                break;
        }
    }

private:
    std::FILE* out_;
    std::FILE* err_;
    EventLog& log_;
    std::function<void()> outputFailed_;
    bool failed_ = false;
};

// The same device, also through a stable name such as /dev/serial/by-id/...
bool samePort(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code error;
    const auto realA = std::filesystem::canonical(a, error);
    if (error) return false;
    const auto realB = std::filesystem::canonical(b, error);
    return !error && realA == realB;
}

// Discovery lists the adapters it knows; a device node that exists is there all the same (a
// pseudo-terminal, a Bluetooth serial link).
bool isPresent(const std::string& port, const std::vector<std::string>& present) {
    if (port.empty()) return false;
    for (const std::string& candidate : present) {
        if (samePort(port, candidate)) return true;
    }
    std::error_code error;
    return std::filesystem::is_character_file(port, error);
}

void listPresentPorts(std::FILE* err, const std::vector<std::string>& present) {
    if (present.empty()) {
        std::fprintf(err,
                     "%sno serial port is present: plug in the instrument's adapter ('scalino-cli "
                     "ports' lists the ports)\n",
                     kPrefix);
        return;
    }
    std::fprintf(err, "%sthe ports present are:\n", kPrefix);
    for (const std::string& port : present) {
        std::fprintf(err, "  %s\t%s\n", port.c_str(),
                     FriendlyPortUtil::getFriendlyPortName(port).c_str());
    }
    std::fprintf(err, "%sname the instrument's port with --port, for example --port %s\n",
                 kPrefix, present.front().c_str());
}

// Without --port the port comes from the stored settings, or is the first one present when none
// is stored. Says which; a port that is not present would only be waited on, so it is refused.
bool announcePort(std::FILE* err, const std::string& stored, const std::string& port,
                  const std::vector<std::string>& present) {
    if (isPresent(port, present)) {
        if (stored.empty()) {
            std::fprintf(err,
                         "%sreading %s, the first port present, as no port is stored (--port "
                         "names another)\n",
                         kPrefix, port.c_str());
        } else {
            std::fprintf(err,
                         "%sreading %s, the port of the stored settings (--port names another)\n",
                         kPrefix, port.c_str());
        }
        return true;
    }
    if (stored.empty()) {
        std::fprintf(err, "%sno port is given and none is stored\n", kPrefix);
    } else {
        std::fprintf(err, "%s%s, the port of the stored settings, is not present\n", kPrefix,
                     stored.c_str());
    }
    listPresentPorts(err, present);
    return false;
}

// How long the end of a connection waits for the typing of values received just before it.
constexpr std::chrono::seconds kTypingGrace{10};

}  // namespace

int runRead(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    Options options;
    if (auto status = parseOptions(arguments, options, out, err)) return *status;
    // Before any thread starts, so that every thread leaves the signals to it.
    QueueExecutor ui;
    EventLog log(err);
    ConsoleView view(out, err, log);
    // After the view: the connection uses it until its end.
    std::unique_ptr<Connection> connection;
    view.whenOutputFails([&] {
        if (connection) connection->stopReading();
    });
    // A signal stops the reader at once, even while this thread waits for a stalled standard
    // output; the connection's end is then handled here as usual.
    std::mutex cancelMutex;
    std::function<void()> cancelReading;
    SignalWatcher signals([&](int) {
        {
            std::lock_guard lock(cancelMutex);
            if (cancelReading) cancelReading();
        }
        ui.post([&] {
            if (connection) connection->stopReading();
        });
    });

    const bool portGiven = options.port || givesSetting(options.settings, "port");
    const std::vector<std::string> present =
        portGiven ? std::vector<std::string>{} : SerialPortLocal::getPortList();
    Config config = loadStoredSettings(err, "read", present);
    if (options.port) config.setPort(*options.port);
    if (auto error = applySettings(config, options.settings)) {
        std::fprintf(err, "%s%s\n", kPrefix, error->message.c_str());
        return 2;
    }
    if (options.settings.defaults) reportDefaults(err, "read", config);
    if (!portGiven &&
        !announcePort(err, openSettingsNode().get("port", ""), config.getPort(), present))
        return 1;
    Connection::Outputs outputs;
    // The keyboard is opened first: without it, a --type run has nothing to do.
    std::shared_ptr<KeyEventGenerator> keys;
    if (options.type) {
        try {
            // --keyboard given wins over the setting the window sends its keys by.
            const std::string_view backend =
                options.keyboard.empty() ? ConfigHelper::backendName(config.getKeyboardOutput())
                                         : std::string_view(options.keyboard);
            keys = createKeyEventGenerator(config.getKeyboardType(), backend,
                                           config.getXkbLayout());
        } catch (const std::exception& error) {
            std::fprintf(err, "%s%s%s\n", kPrefix,
                         workerText("error.initializing.keyboard.output").c_str(), error.what());
            return 1;
        }
        // The connection tells once which way the keys take, when typing has started.
        outputs.keys = [keys](const Config&, std::stop_token) { return keys; };
    }
    if (options.sound) outputs.sequencer = defaultSequencer;
    connection = std::make_unique<Connection>(view, ui, std::move(outputs));
    try {
        connection->start(config);
    } catch (const std::exception& error) {
        std::fprintf(err, "%s%s\n", kPrefix, error.what());
        return 1;
    }
    {
        std::lock_guard lock(cancelMutex);
        cancelReading = connection->readingCanceller();
    }
    ui.runUntil([&] { return !connection->isReading(); });
    connection->awaitTyping(kTypingGrace);
    const bool failed = connection->ending() == TaskEnding::Failed;
    connection->stop();
    if (auto* recording = dynamic_cast<const RecordingKeyEvents*>(keys.get()))
        std::fprintf(out, "keys\t%s\n", recording->transcript().c_str());
    return failed || view.outputLost() ? 3 : 0;
}

}  // namespace scalino::cli
