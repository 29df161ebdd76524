// scalino-cli type with the recording keyboard: the key events a text becomes, and bad options.
#include <gtest/gtest.h>

#include "support/Subprocess.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

test::ProcessResult type(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "type");
    return test::runProgram(SCALINO_CLI, arguments, "");
}

TEST(TypeCommandTest, RecordsTheKeysOfStartKeyTextAndEndKey) {
    const auto result = type({"@?", "--keyboard", "record", "--set", "keyboardType=GERMAN", "--set",
                              "instrument=BARCODE_ALPHA_COMPLETE", "--set", "startWith=TAB",
                              "--set", "outputTerminator=ENTER", "--set", "delay=0"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out,
              "+Tab . -Tab "
              "+Ctrl . +Alt . +Q . -Q . -Alt . -Ctrl . "
              "+Alt . +Kp6 . +Kp3 . -Kp3 . -Kp6 . -Alt . "
              "+Enter . -Enter\n");
    EXPECT_EQ(result.err, "");
}

TEST(TypeCommandTest, AnEmptyTextTypesNothingNotEvenTheStartAndEndKeys) {
    const auto result = type(
        {"", "--keyboard", "record", "--set", "startWith=TAB", "--set", "outputTerminator=ENTER"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "\n");
    EXPECT_EQ(result.err, "scalino-cli type: the TEXT is empty: nothing is typed\n");
}

TEST(TypeCommandTest, ACharacterOutsideTheKeyMapIsReportedAndSkipped) {
    const auto result = type({"-1a", "--keyboard=record"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "+Minus . -Minus . +D1 . -D1 .\n");
    EXPECT_EQ(result.err, "scalino-cli type: " + workerText("cannot_type") + "a\n");
}

// On the desktop's layout a recording takes what the named layout has, text beyond ASCII
// included for a text key map, and reports the rest; a layout the system lacks is refused.
TEST(TypeCommandTest, TheDesktopsLayoutRecordsWhatTheNamedLayoutHas) {
    struct Case {
        std::string layout;
        std::string instrument;
        int status;
        std::string out;
        std::string err;
    };
    const std::string cannot = "scalino-cli type: " + workerText("cannot_type");
    const Case cases[] = {
        {"de", "BARCODE_ALPHA_COMPLETE", 0, "+'ß' . -'ß' . +'5' . -'5' . +'µ' . -'µ' .\n", ""},
        {"us", "BARCODE_ALPHA_COMPLETE", 1, "+'5' . -'5' .\n",
         cannot + "<223>\n" + cannot + "<181>\n"},
        {"de", "BARCODE_ALPHA", 1, "+'5' . -'5' .\n", cannot + "<223>\n" + cannot + "<181>\n"},
        {"xx", "BARCODE_ALPHA_COMPLETE", 3, "",
         "the system has no keyboard layout 'xx': 'localectl list-x11-keymap-layouts' lists"},
    };
    for (const Case& c : cases) {
        const auto result = type({"ß5µ", "--keyboard", "record", "--set", "keyboardType=DESKTOP",
                                  "--set", "xkbLayout=" + c.layout, "--set", "delay=0", "--set",
                                  "instrument=" + c.instrument});
        EXPECT_EQ(result.exitStatus, c.status) << c.layout << " " << result.err;
        EXPECT_EQ(result.out, c.out) << c.layout;
        if (c.err.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        }
    }
}

// Without --keyboard the setting keyboardOutput chooses the way; --keyboard given wins over it.
// No display is set, so X11 cannot start.
TEST(TypeCommandTest, TheKeyboardOutputSettingChoosesUnlessKeyboardIsGiven) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string err;
    };
    // Why X11 cannot start: no display, or a build without X11.
    const std::string why = SCALINO_WITH_X11 ? "no X display: DISPLAY is not set"
                                             : "this build has no X11 keyboard output; use "
                                               "--keyboard wayland or uinput";
    const std::string noX11 =
        "scalino-cli type: " + workerText("error.initializing.keyboard.output") + why + "\n";
    const Case cases[] = {
        {{"--set", "keyboardOutput=X11"}, 3, "", noX11},
        {{"--set", "keyboardOutput=X11", "--keyboard", "record"}, 0, "+D1 . -D1 .\n", ""},
        {{"--set", "keyboardOutput=X11", "--keyboard", "x11"}, 3, "", noX11},
        {{"--set", "keyboardOutput=AUTO", "--keyboard", "record"}, 0, "+D1 . -D1 .\n", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"type", "1", "--set", "delay=0"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const auto result =
            test::runProgram(SCALINO_CLI, arguments, "", {"DISPLAY=", "WAYLAND_DISPLAY="});
        SCOPED_TRACE(c.arguments.back());
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST(TypeCommandTest, BadOptionsAreRefusedBeforeAnyKeyIsSent) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"12", "--keyboard", "xtest"},
         "'xtest' is not a keyboard; use auto, portal, kde, wayland, uinput, x11 or record"},
        {{"--keyboard", "record"}, "the TEXT to type is missing"},
        {{"12", "13", "--keyboard", "record"}, "'13' is a second one"},
        {{"12", "--keyboard", "record", "--set", "keyboardType=SWISS"}, "keyboardType"},
        {{"12", "--set", "keyboardOutput=XTEST"}, "AUTO, PORTAL, KDE, WAYLAND, UINPUT or X11"},
    };
    for (const auto& [arguments, message] : cases) {
        const auto result = type(arguments);
        EXPECT_EQ(result.exitStatus, 2) << arguments[0];
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
}

}  // namespace
}  // namespace scalino
