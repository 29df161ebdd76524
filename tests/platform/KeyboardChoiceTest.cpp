// The automatic choice of the way keys leave the program in a Wayland session, as scalino-cli
// type makes it: with each way made unavailable in turn, the next one is taken and told
// ("typing through ..."), and the keys arrive there. The ways are real where they run here: the
// remote-desktop portal is the tests' mock on a private session bus, handing out the socket of
// a real EIS server of libeis; KWin (which cannot run here) is a server of libwayland-server
// with its fake-input interface, which offers it or, as KWin to a program it does not allow,
// not; GNOME's compositor offers neither it nor the virtual keyboard.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/DesktopLayout.h"
#include "platform/EisServer.h"
#include "platform/FakeInputServer.h"
#include "platform/PortalMock.h"
#include "platform/RecordingKeyboard.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Event = test::RecordingKeyboard::Event;

// What the desktop's layout types a text with on the named layout: the keys every way must
// deliver.
std::vector<Event> keysOn(const std::string& layout, const std::u32string& text) {
    auto keyboard = std::make_unique<test::RecordingKeyboard>();
    test::RecordingKeyboard& recorded = *keyboard;
    DesktopKeyEvents keys(std::make_unique<NamedDesktopLayout>(layout), std::move(keyboard));
    keys.startText();
    for (char32_t c : text) {
        keys.keyPress(VirtualKey::character(c));
        keys.keyRelease(VirtualKey::character(c));
    }
    return recorded.events();
}

// The compositor: KWin offering its fake input, or one that offers neither that nor the virtual
// keyboard (GNOME's, or KWin to a program it does not allow).
enum class Compositor { KWin, Closed };

struct Case {
    const char* name;
    Compositor compositor;
    std::vector<std::string> portal;  // the mock's options; none: no portal on the bus
    bool eisServer;                   // the portal hands out a real EIS server's socket
    std::string way;                  // as told: "typing through <way>"
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class KeyboardChoiceTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        python_ = test::portalPython();
        if (!python_) GTEST_SKIP() << "no python3 with dbus-python and PyGObject";
        bus_ = std::make_unique<test::PrivateBus>(folder_.path());
        if (!bus_->failure().empty()) GTEST_SKIP() << bus_->failure();
        if (GetParam().eisServer) {
            const std::string failure = eis_.load();
            if (!failure.empty()) GTEST_SKIP() << failure;
            void* libei = dlopen(test::libraryFile("libei.so.1").c_str(), RTLD_NOW | RTLD_LOCAL);
            if (libei == nullptr) GTEST_SKIP() << "cannot load libei.so.1" << test::kHowToGet;
            dlclose(libei);
        }
    }

    static std::string libeiFolder() { return std::string(SCALINO_LIBEI_DIR) + "/lib"; }

    void startPortal(std::vector<std::string> options) {
        options.insert(options.begin(),
                       {PORTAL_MOCK, "--calls", (folder_.path() / "calls").string()});
        portal_ = std::make_unique<test::RunningProgram>(
            *python_, options,
            std::vector<std::string>{"DBUS_SESSION_BUS_ADDRESS=" + bus_->address()});
        ASSERT_EQ(portal_->readLine(20s).value_or(""), "ready") << portal_->err();
    }

    std::vector<std::string> portalCalls() const {
        std::vector<std::string> lines;
        std::ifstream in(folder_.path() / "calls");
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    test::ProcessResult type(const std::string& waylandSocket, const std::string& text) {
        return test::runProgram(
            SCALINO_CLI,
            {"type", text, "--prefs", (folder_.path() / "prefs").string(), "--set",
             "keyboardType=DESKTOP", "--set", "xkbLayout=de", "--set",
             "instrument=BARCODE_ALPHA_COMPLETE", "--set", "startWith=NONE", "--set",
             "outputTerminator=NONE", "--set", "delay=0"},
            "",
            {"WAYLAND_DISPLAY=" + waylandSocket, "DISPLAY=",
             "DBUS_SESSION_BUS_ADDRESS=" + bus_->address(),
             "XDG_STATE_HOME=" + (folder_.path() / "state").string(),
             "XDG_RUNTIME_DIR=" + folder_.path().string(),
             "LD_LIBRARY_PATH=" + libeiFolder()});
    }

    test::TempDir folder_;
    std::optional<std::string> python_;
    std::unique_ptr<test::PrivateBus> bus_;
    std::unique_ptr<test::RunningProgram> portal_;
    test::LibEis eis_;
};

TEST_P(KeyboardChoiceTest, TheFirstWayThatWorksIsTakenAndTold) {
    const Case& c = GetParam();
    const std::string text = "Y-Z/";
    // The compositor's layout, not the one the settings name: every way here brings or reads the
    // compositor's keymap.
    const std::vector<Event> expected = keysOn("fr", U"Y-Z/");

    // KWin offers its fake input only to programs its desktop entries allow (version 0: none).
    const auto compositor = std::make_unique<test::FakeInputServer>(
        "fr", c.compositor == Compositor::KWin ? 4 : 0);
    if (!compositor->failure().empty()) GTEST_SKIP() << compositor->failure();
    std::unique_ptr<test::EisServer> eis;
    std::vector<std::string> portal = c.portal;
    if (c.eisServer) {
        eis = std::make_unique<test::EisServer>(eis_, test::compileKeymap("fr").text);
        // Without close-on-exec, so that the mock inherits it and hands it out.
        const int handedOut = dup(eis->takeClientFd());
        ASSERT_GE(handedOut, 0);
        portal.insert(portal.end(), {"--eis-fd", std::to_string(handedOut)});
        startPortal(portal);
        close(handedOut);
    } else if (!portal.empty()) {
        startPortal(portal);
    }

    const auto result = type(compositor->socket(), text);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "scalino-cli type: typing through " + c.way + "\n");

    std::vector<Event> arrived;
    if (eis) {
        arrived = eis->takeKeys(expected.size());
    } else if (c.way == "KWin's fake input") {
        for (const auto& request : compositor->requests()) {
            if (request.name == "keyboard_key")
                arrived.push_back({request.state == 1, static_cast<int>(request.key)});
        }
    } else {
        for (const std::string& call : portalCalls()) {
            int key = 0;
            int pressed = 0;
            if (std::sscanf(call.c_str(), "NotifyKeyboardKeycode %d %d", &key, &pressed) == 2)
                arrived.push_back({pressed != 0, key});
        }
    }
    EXPECT_EQ(test::RecordingKeyboard::transcript(arrived),
              test::RecordingKeyboard::transcript(expected));
}

const Case kCases[] = {
    // GNOME 45 and later, KDE Plasma 6.1 and later: the portal with libei, even where KWin
    // would allow its fake input.
    {"PortalWithLibei", Compositor::KWin, {"--version", "2", "--eis"}, true,
     "the remote-desktop portal (libei)"},
    // KDE Plasma 5.27: the portal has no EIS; KWin's fake input asks nobody.
    {"KWinBeforeThePortalWithoutEis", Compositor::KWin, {"--version", "1"}, false,
     "KWin's fake input"},
    // No portal on the bus: KWin's fake input.
    {"KWinWithoutAPortal", Compositor::KWin, {}, false, "KWin's fake input"},
    // GNOME 43 and 44: neither EIS nor another way; the portal's own keys.
    {"PortalWithoutEis", Compositor::Closed, {"--version", "1"}, false,
     "the remote-desktop portal"},
    // A portal of version 2 whose backend has no EIS (ConnectToEIS absent): its own keys.
    {"PortalOfVersionTwoWithoutEis", Compositor::Closed, {"--version", "2"}, false,
     "the remote-desktop portal"},
};

INSTANTIATE_TEST_SUITE_P(Ways, KeyboardChoiceTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace scalino
