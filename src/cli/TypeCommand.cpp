#include "cli/TypeCommand.h"

#include <optional>
#include <stdexcept>

#include "cli/LineOutput.h"
#include "cli/SettingArguments.h"
#include "cli/StoredSettings.h"
#include "platform/KeyEventBackend.h"
#include "worker/Connection.h"
#include "worker/Keybot.h"
#include "worker/RecordingKeyEvents.h"
#include "worker/WorkerBundle.h"

namespace scalino::cli {
namespace {

constexpr const char* kHelp =
    R"(Usage: scalino-cli type TEXT
                        [--keyboard auto|portal|kde|wayland|uinput|x11|record]
                        [--prefs FILE] [--set KEY=VALUE]...

Types TEXT (UTF-8) into the application that has the keyboard focus, the way
a connection types a value: the start key, every character through the key
map of the keyboard layout, the end key, with the delay after every key
event. The settings used are keyboardType (the layout the receiving computer
has: QWERTY for US, US_INTERNATIONAL, AZERTY for French, GERMAN), instrument
(its key map: weighing instruments type digits and the signs + - , . only,
BARCODE_ALPHA adds capital letters, BARCODE_ALPHA_COMPLETE everything),
delay, startWith and outputTerminator.

The settings are loaded from the settings store as the desktop program loads
them at start-up; --set changes them for this run only.

Options:
  --keyboard NAME   How keys are sent:
                      auto    the first way that works, as below
                      portal  through the remote-desktop portal of GNOME
                              and KDE Plasma, after the desktop's dialog
                              has asked once; its restore token is kept
                              in $XDG_STATE_HOME/scalino. Through libei
                              with the desktop's keymap where the portal
                              offers EIS and libei1 is installed; else
                              the layout is the X server's or the
                              xkbLayout setting's
                      kde     through KWin's fake input (KDE Plasma),
                              allowed to the installed program without
                              asking, with the seat's keymap
                      wayland through the virtual keyboard of the Wayland
                              compositor named by WAYLAND_DISPLAY (Sway and
                              other wlroots compositors), with its keymap
                      uinput  through a virtual keyboard of the kernel, for
                              other Wayland compositors and the text
                              console; needs write access to /dev/uinput
                      x11     through the X server named by DISPLAY (XTest)
                      record  nothing is sent; the key events are printed on
                              standard output, one line: "+Shift" a press,
                              "-Shift" a release, "." a wait, for example
                              +Shift . +A . -A . -Shift .
                    Without it, the setting keyboardOutput chooses (AUTO,
                    PORTAL, KDE, WAYLAND, UINPUT or X11, as the window
                    sends keys). With auto (or AUTO), in a Wayland
                    session: portal where it offers EIS and libei is
                    installed, else kde, else portal without libei (which
                    asks at every start), else wayland, else uinput where
                    /dev/uinput is writable, else x11 on Xwayland (which
                    only X11 applications receive); elsewhere x11 where an
                    X display answers, else uinput. The way taken is told on standard error:
                    "typing through ...".
  --prefs FILE      Use FILE as the settings file instead of the usual one.
  --set KEY=VALUE   Set one setting; may be repeated. See 'scalino-cli process
                    --help'.
  --help            Show this text.
  --                Ends the options: a TEXT that starts with -- follows it.

A character the key map lacks is reported on standard error and skipped. An
empty TEXT types nothing, not even the start and end keys, as a connection
never types an empty value. Exit status: 0 when everything was typed, 1 when
a character or key could not be typed (or, with record, the key events could
not be written), 2 for a bad option, 3 when no keyboard output can be started.

Examples:
  scalino-cli type 12.5 --set outputTerminator=ENTER
  scalino-cli type 'Lot 7/B' --set instrument=BARCODE_ALPHA_COMPLETE \
      --set keyboardType=GERMAN --keyboard record
)";

constexpr const char* kPrefix = "scalino-cli type: ";

struct Options {
    std::optional<std::string> text;
    std::string keyboard;
    std::vector<std::string> assignments;
};

// Parses the options; on --help or a bad option, the exit status.
std::optional<int> parseOptions(std::vector<std::string> arguments, Options& options,
                                std::FILE* out, std::FILE* err) {
    if (auto error = takePreferencesOption(arguments)) {
        std::fprintf(err, "%s%s\n", kPrefix, error->c_str());
        return 2;
    }
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        // A negative number such as -12.5 is text, not an option.
        const bool option = !optionsEnded && (argument.starts_with("--") || argument == "-h");
        std::optional<std::string> text;
        if (!option) {
            text = argument;
        } else if (argument == "--") {
            optionsEnded = true;
            continue;
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, out);
            return 0;
        } else if (auto assignment = optionValue(arguments, i, "--set")) {
            options.assignments.push_back(*assignment);
            continue;
        } else if (auto keyboard = optionValue(arguments, i, "--keyboard")) {
            if (auto error = keyboardError(*keyboard)) {
                std::fprintf(err, "%s%s\n", kPrefix, error->c_str());
                return 2;
            }
            options.keyboard = *keyboard;
            continue;
        } else {
            std::fprintf(err, "%sunexpected argument '%s'; see --help\n", kPrefix,
                         argument.c_str());
            return 2;
        }
        if (options.text) {
            std::fprintf(err,
                         "%sonly one TEXT can be typed, '%s' is a second one; quote a text "
                         "with spaces\n",
                         kPrefix, text->c_str());
            return 2;
        }
        options.text = std::move(text);
    }
    if (!options.text) {
        std::fprintf(err, "%sthe TEXT to type is missing, for example: scalino-cli type 12.5\n",
                     kPrefix);
        return 2;
    }
    return std::nullopt;
}

// Typing problems go to standard error and are counted for the exit status.
class ErrorView : public WeightWorkerView {
public:
    explicit ErrorView(std::FILE* err) : err_(err) {}
    void logEvent(const std::string&) override {}
    void logImportantEvent(const std::string& text) override {
        std::fprintf(err_, "%s%s\n", kPrefix, text.c_str());
        ++problems_;
    }
    void setConnectedInGUI(bool) override {}
    void update(const DataLine&) override {}
    int problems() const { return problems_; }

private:
    std::FILE* err_;
    int problems_ = 0;
};

}  // namespace

int runType(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    Options options;
    if (auto status = parseOptions(arguments, options, out, err)) return *status;
    Config config = loadStoredSettings(err, "type", {});
    if (auto error = applySettings(config, options.assignments)) {
        std::fprintf(err, "%s%s\n", kPrefix, error->message.c_str());
        return 2;
    }
    if (options.text->empty()) {
        // A connection never types an empty value, not even its start and end keys; nor does
        // this command, which needs no keyboard for it.
        std::fprintf(err, "%sthe TEXT is empty: nothing is typed\n", kPrefix);
        if (options.keyboard == "record") std::fputs("\n", out);  // no key events
        return outputWritten(out, err, "type") ? 0 : 1;
    }
    std::unique_ptr<KeyEventGenerator> keys;
    try {
        // --keyboard given wins over the setting the window sends its keys by.
        const std::string_view backend =
            options.keyboard.empty() ? ConfigHelper::backendName(config.getKeyboardOutput())
                                     : std::string_view(options.keyboard);
        keys = createKeyEventGenerator(config.getKeyboardType(), backend,
                                       config.getXkbLayout());
    } catch (const KeyEventError& error) {
        std::fprintf(err, "%s%s%s\n", kPrefix,
                     workerText("error.initializing.keyboard.output").c_str(), error.what());
        return 3;
    }
    // Which way the keys take decides which applications receive them.
    if (const std::string method = keys->method(); !method.empty()) {
        std::fprintf(err, "%styping through %s\n", kPrefix, method.c_str());
    }
    if (keys->isCapsLockOn()) {
        std::fprintf(err, "%s%s\n", kPrefix, workerText("please.turn.off.caps.lock").c_str());
    }
    if (const std::string desktop = keys->differingDesktopLayout(); !desktop.empty()) {
        std::fprintf(err, "%s%s\n", kPrefix,
                     Connection::layoutMismatchText(config.getKeyboardType(), desktop).c_str());
    }
    ErrorView view(err);
    {
        const auto keybot = Keybot::fromConfig(config, &view, *keys);
        keybot->typeStart();
        keybot->typeString(*options.text);
        keybot->typeEnd();
    }
    if (const auto* recording = dynamic_cast<const RecordingKeyEvents*>(keys.get())) {
        std::fprintf(out, "%s\n", recording->transcript().c_str());
    }
    // The transcript of record is what was typed: losing it is a failure to type.
    if (!outputWritten(out, err, "type")) return 1;
    return view.problems() == 0 ? 0 : 1;
}

}  // namespace scalino::cli
