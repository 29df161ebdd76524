// The session handshake with the remote-desktop portal and the keys sent through it, against a
// portal of the test's own (portal-mock.py) on a private session bus per test; the mock writes
// every call it takes to a file the tests compare.
#include "platform/RemoteDesktopPortal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <string>
#include <vector>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/DesktopLayout.h"
#include "platform/KeyEventBackend.h"
#include "platform/PortalKeyboard.h"
#include "platform/PortalMock.h"
#include "platform/RecordingKeyboard.h"
#include "support/Subprocess.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using test::PrivateBus;
using test::portalPython;

class RemoteDesktopPortalTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("scalino-portal-" + std::to_string(getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        python_ = portalPython();
        if (!python_)
            GTEST_SKIP() << "no python3 with dbus-python and PyGObject (python3-dbus, "
                            "python3-gi)";
        bus_ = std::make_unique<PrivateBus>(folder_);
        if (!bus_->failure().empty()) GTEST_SKIP() << bus_->failure();
        // The code under test finds the bus as every program does.
        setenv("DBUS_SESSION_BUS_ADDRESS", bus_->address().c_str(), 1);
        calls_ = folder_ / "calls";
    }

    void TearDown() override {
        portal_.reset();
        bus_.reset();
        std::error_code error;
        fs::remove_all(folder_, error);
    }

    // Starts the mock portal with its options for this test and waits until it owns its name.
    void startPortal(std::vector<std::string> options = {}) {
        options.insert(options.begin(), {PORTAL_MOCK, "--calls", calls_.string()});
        portal_ = std::make_unique<test::RunningProgram>(
            *python_, options,
            std::vector<std::string>{"DBUS_SESSION_BUS_ADDRESS=" + bus_->address()});
        auto ready = portal_->readLine(20s);
        ASSERT_EQ(ready.value_or(""), "ready") << portal_->err();
    }

    // The calls the mock took, one a line.
    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        std::ifstream in(calls_);
        for (std::string line; std::getline(in, line);) {
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    // A token store in memory that keeps every save.
    struct Tokens {
        std::string stored;
        std::vector<std::string> saves;
        RestoreTokenStore store() {
            return {[this] { return stored; },
                    [this](const std::string& token) {
                        stored = token;
                        saves.push_back(token);
                    }};
        }
    };

    fs::path folder_;
    fs::path calls_;
    std::optional<std::string> python_;
    std::unique_ptr<PrivateBus> bus_;
    std::unique_ptr<test::RunningProgram> portal_;
};

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

constexpr const char* kFirstSelect = "SelectDevices persist_mode=2 types=1";
constexpr const char* kStart = "Start parent_window=";

// Without a token, with a stored one, with one the desktop no longer takes: the requests the
// portal sees and the token kept after.
TEST_F(RemoteDesktopPortalTest, HandshakeAndTheRestoreToken) {
    struct Case {
        const char* name;
        std::string stored;
        std::vector<std::string> mockOptions;
        std::vector<std::string> expectedCalls;
        std::vector<std::string> expectedSaves;
    };
    const Case cases[] = {
        {"first start",
         "",
         {"--new-token", "first-token"},
         {"CreateSession session_handle_token=", kFirstSelect, kStart},
         {"first-token"}},
        {"stored token",
         "stored-token",
         {"--new-token", "next-token"},
         {"CreateSession session_handle_token=",
          "SelectDevices persist_mode=2 restore_token=stored-token types=1", kStart},
         {"next-token"}},
        {"refused token",
         "stale-token",
         {"--refuse-token", "--new-token", "fresh-token"},
         {"CreateSession session_handle_token=",
          "SelectDevices persist_mode=2 restore_token=stale-token types=1", kStart, "Session.Close",
          "CreateSession session_handle_token=", kFirstSelect, kStart},
         {"", "fresh-token"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(calls_);
        startPortal(c.mockOptions);
        Tokens tokens{c.stored, {}};
        {
            auto portal = RemoteDesktopPortal::open(tokens.store());
            EXPECT_EQ(portal->version(), 2u);
            EXPECT_NE(portal->sessionHandle().find("/org/freedesktop/portal/desktop/session/"),
                      std::string::npos)
                << portal->sessionHandle();
        }
        // The session token differs per run: compare the calls without its value.
        std::vector<std::string> seen = calls();
        for (std::string& line : seen) {
            const std::string key = "session_handle_token=";
            if (auto at = line.find(key); at != std::string::npos && line.rfind("Create", 0) == 0) {
                EXPECT_GT(line.size(), at + key.size()) << line;
                line = line.substr(0, at + key.size());
            }
        }
        // Closing the session at the end is the last call.
        std::vector<std::string> expected = c.expectedCalls;
        expected.push_back("Session.Close");
        EXPECT_EQ(joined(seen), joined(expected));
        EXPECT_EQ(tokens.saves, c.expectedSaves);
        portal_.reset();
    }
}

// The user declines in the dialog, the portal fails without a token to blame, or the desktop
// grants other devices than the keyboard: refused, with what to do, and nothing stored.
TEST_F(RemoteDesktopPortalTest, RefusalSaysWhatToDo) {
    struct Case {
        std::vector<std::string> mockOptions;
        const char* message;
    };
    const Case cases[] = {
        {{"--start-response", "1"},
         "the desktop refused remote keyboard access: allow it in the dialog, or choose another "
         "way with --keyboard"},
        {{"--start-response", "2"},
         "the remote-desktop portal could not start a keyboard session: choose another way with "
         "--keyboard"},
        {{"--devices", "2"}, "the keyboard was not among the devices granted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mockOptions[0] + " " + c.mockOptions[1]);
        startPortal(c.mockOptions);
        Tokens tokens;
        try {
            RemoteDesktopPortal::open(tokens.store());
            ADD_FAILURE() << "the session started";
        } catch (const KeyEventError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
        EXPECT_TRUE(tokens.saves.empty());
        portal_.reset();
    }
}

TEST_F(RemoteDesktopPortalTest, NoPortalOnTheBus) {
    Tokens tokens{"kept-token", {}};
    try {
        RemoteDesktopPortal::open(tokens.store());
        FAIL() << "a session started without a portal";
    } catch (const KeyEventError& error) {
        EXPECT_EQ(
            std::string(error.what())
                .rfind("no remote-desktop portal on the session bus (xdg-desktop-portal with a "
                       "GNOME or KDE backend is needed)",
                       0),
            0u)
            << error.what();
    }
    EXPECT_TRUE(tokens.saves.empty());
}

// Giving up the connection while the desktop's dialog is open ends the wait then, not after
// the two minutes the dialog may take.
TEST_F(RemoteDesktopPortalTest, StopEndsTheWaitForTheDialog) {
    startPortal({"--silent-start"});
    Tokens tokens;
    std::stop_source stop;
    std::jthread user([&stop] {
        std::this_thread::sleep_for(200ms);
        stop.request_stop();
    });
    PortalTimeouts timeouts;
    timeouts.stop = stop.get_token();
    try {
        RemoteDesktopPortal::open(tokens.store(), timeouts);
        FAIL() << "the session started";
    } catch (const KeyEventError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the wait for the remote-desktop portal's Start was given up");
    }
    EXPECT_TRUE(tokens.saves.empty());
}

// A dialog nobody answers ends in the time given, with the message saying what to do.
TEST_F(RemoteDesktopPortalTest, StartWithoutAnswerTimesOut) {
    startPortal({"--silent-start"});
    Tokens tokens;
    const auto begin = std::chrono::steady_clock::now();
    try {
        RemoteDesktopPortal::open(tokens.store(), PortalTimeouts{.request = 5s, .start = 1s, .stop = {}});
        FAIL() << "the session started";
    } catch (const KeyEventError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the remote-desktop portal gave no answer to Start within 1 s: allow remote "
                  "keyboard access in the desktop's dialog, or choose another way with "
                  "--keyboard");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    EXPECT_TRUE(tokens.saves.empty());
}

TEST_F(RemoteDesktopPortalTest, DetectsWhetherThePortalOffersEis) {
    struct Case {
        std::vector<std::string> mockOptions;
        uint32_t version;
        bool offersEis;
    };
    const Case cases[] = {
        {{"--version", "2", "--eis"}, 2, true},
        {{"--version", "2"}, 2, false},
        {{"--version", "1", "--eis"}, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mockOptions.size() == 3 ? "with ConnectToEIS" : "without ConnectToEIS");
        startPortal(c.mockOptions);
        Tokens tokens;
        auto keyboard = PortalKeyboard::open(tokens.store());
        EXPECT_EQ(keyboard->offersEis(), c.offersEis) << "version " << c.version;
        keyboard.reset();
        portal_.reset();
    }
}

// The keys of a text typed on the German layout arrive at the portal as the same presses and
// releases, in the same order, as a recording keyboard receives them.
TEST_F(RemoteDesktopPortalTest, KeysArriveAsKeycodesInOrder) {
    startPortal();
    const std::u32string text = U"z@Y°é1";
    // The typing engine owns the keyboard: what it typed is read before it goes.
    auto typeText = [&text](std::unique_ptr<PhysicalKeyboard> keyboard) {
        auto keys = std::make_unique<DesktopKeyEvents>(std::make_unique<NamedDesktopLayout>("de"),
                                                       std::move(keyboard));
        keys->startText();
        for (char32_t c : text) {
            keys->keyPress(VirtualKey::character(c));
            keys->keyRelease(VirtualKey::character(c));
        }
        keys->keyPress(VirtualKey::Enter);
        keys->keyRelease(VirtualKey::Enter);
        return keys;
    };
    auto recording = std::make_unique<test::RecordingKeyboard>();
    test::RecordingKeyboard& recorded = *recording;
    auto recordedKeys = typeText(std::move(recording));
    const auto events = recorded.events();
    recordedKeys.reset();

    Tokens tokens;
    auto keyboard = PortalKeyboard::open(tokens.store());
    EXPECT_EQ(keyboard->method(), "the remote-desktop portal");
    typeText(std::move(keyboard)).reset();

    std::vector<std::string> expected;
    for (const auto& event : events)
        expected.push_back("NotifyKeyboardKeycode " + std::to_string(event.key) +
                           (event.down ? " 1" : " 0"));
    std::vector<std::string> sent;
    for (const std::string& line : calls()) {
        if (line.rfind("NotifyKeyboardKeycode", 0) == 0) sent.push_back(line);
    }
    ASSERT_GE(expected.size(), 2 * text.size());
    EXPECT_EQ(joined(sent), joined(expected));
}

// Caps Lock and NumLock are as the keyboard's own presses of them left them.
TEST_F(RemoteDesktopPortalTest, LightsFollowTheLockKeysSent) {
    startPortal();
    Tokens tokens;
    auto keyboard = PortalKeyboard::open(tokens.store());
    struct Step {
        int key;
        bool capsLock;
        bool numLock;
    };
    const Step steps[] = {
        {KEY_A, false, false},       {KEY_CAPSLOCK, true, false},  {KEY_NUMLOCK, true, true},
        {KEY_CAPSLOCK, false, true}, {KEY_LEFTSHIFT, false, true}, {KEY_NUMLOCK, false, false},
    };
    EXPECT_FALSE(keyboard->isLedOn(KeyboardLed::CapsLock));
    EXPECT_FALSE(keyboard->isLedOn(KeyboardLed::NumLock));
    for (const Step& step : steps) {
        keyboard->press(step.key);
        keyboard->release(step.key);
        EXPECT_EQ(keyboard->isLedOn(KeyboardLed::CapsLock), step.capsLock) << step.key;
        EXPECT_EQ(keyboard->isLedOn(KeyboardLed::NumLock), step.numLock) << step.key;
    }
}

// --keyboard portal: the backend keeps the token in the user's state folder, and the next start
// hands it back to the portal.
TEST_F(RemoteDesktopPortalTest, BackendKeepsTheTokenInTheStateFolder) {
    const fs::path state = folder_ / "state";
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    startPortal({"--new-token", "backend-token"});
    const fs::path tokenFile = state / "scalino" / "portal-restore-token";
    for (int run = 0; run < 2; ++run) {
        auto keys = createKeyEventGenerator(ConfigHelper::KeyboardType::DESKTOP, "portal", "de");
        EXPECT_EQ(keys->method(), "the remote-desktop portal");
        keys->keyPress(VirtualKey::character(U'z'));
        keys->keyRelease(VirtualKey::character(U'z'));
    }
    std::string stored;
    std::getline(std::ifstream(tokenFile), stored);
    EXPECT_EQ(stored, "backend-token");
    EXPECT_EQ(fs::status(tokenFile).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    std::vector<std::string> selects;
    for (const std::string& line : calls()) {
        if (line.rfind("SelectDevices", 0) == 0) selects.push_back(line);
    }
    EXPECT_EQ(joined(selects), joined({kFirstSelect,
                                       "SelectDevices persist_mode=2 "
                                       "restore_token=backend-token types=1"}));
    unsetenv("XDG_STATE_HOME");
}

// scalino-cli type --keyboard portal: typed through the portal with the token kept, or, when the
// user declines, the exit status of an output that cannot start and the message saying why.
TEST_F(RemoteDesktopPortalTest, TypeCommandThroughThePortal) {
    struct Case {
        const char* name;
        std::vector<std::string> mockOptions;
        int status;
        std::string err;
        std::vector<std::string> keys;
        std::string token;
    };
    const Case cases[] = {
        {"allowed",
         {"--new-token", "cli-token"},
         0,
         "scalino-cli type: typing through the remote-desktop portal\n",
         {"NotifyKeyboardKeycode 21 1", "NotifyKeyboardKeycode 21 0",  // z on the German layout
          "NotifyKeyboardKeycode 20 1", "NotifyKeyboardKeycode 20 0"},
         "cli-token"},
        {"declined",
         {"--start-response", "1"},
         3,
         "the desktop refused remote keyboard access: allow it in the dialog, or choose another "
         "way with --keyboard",
         {},
         ""},
    };
    const fs::path state = folder_ / "state";
    const fs::path tokenFile = state / "scalino" / "portal-restore-token";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(calls_);
        fs::remove_all(state);
        startPortal(c.mockOptions);
        const auto result = test::runProgram(
            SCALINO_CLI,
            {"type", "zt", "--keyboard", "portal", "--prefs", (folder_ / "prefs").string(), "--set",
             "keyboardType=DESKTOP", "--set", "xkbLayout=de", "--set",
             "instrument=BARCODE_ALPHA_COMPLETE", "--set", "startWith=NONE", "--set",
             "outputTerminator=NONE", "--set", "delay=0"},
            "",
            {"DBUS_SESSION_BUS_ADDRESS=" + bus_->address(), "XDG_STATE_HOME=" + state.string()});
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        std::vector<std::string> keys;
        for (const std::string& line : calls()) {
            if (line.rfind("NotifyKeyboardKeycode", 0) == 0) keys.push_back(line);
        }
        EXPECT_EQ(joined(keys), joined(c.keys));
        std::string stored;
        std::getline(std::ifstream(tokenFile), stored);
        EXPECT_EQ(stored, c.token);
        portal_.reset();
    }
}

constexpr const char* kEnded =
    "the desktop ended the remote keyboard session (revoked from its indicator, or the user "
    "logged out): press Start again to ask for access anew";

// The calls up to the first key or the end, with the session token's value left out.
std::vector<std::string> handshakeCalls(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        const std::string key = "session_handle_token=";
        if (auto at = line.find(key); at != std::string::npos && line.rfind("Create", 0) == 0)
            line = line.substr(0, at + key.size());
    }
    return lines;
}

// The desktop's dialog names Scalino where the portal has the host registry: the id of the
// desktop entry, registered before the session; a portal without the registry, or one that
// refuses the registration, still gives the session, and nothing is said about it.
TEST_F(RemoteDesktopPortalTest, RegistersTheAppIdWhereThePortalHasTheRegistry) {
    // The id is the installed desktop entry's (resources/desktop, beside tests/).
    const fs::path sources = fs::path(PORTAL_MOCK).parent_path().parent_path().parent_path();
    EXPECT_TRUE(fs::exists(sources / "resources" / "desktop" /
                           (std::string(RemoteDesktopPortal::kAppId) + ".desktop.in")))
        << RemoteDesktopPortal::kAppId;
    EXPECT_TRUE(fs::exists(sources / "resources" / "desktop" /
                           (std::string(RemoteDesktopPortal::kAppId) + ".metainfo.xml")));

    const std::string registered = std::string("Register ") + RemoteDesktopPortal::kAppId;
    struct Case {
        const char* name;
        std::vector<std::string> mockOptions;
        std::vector<std::string> expectedCalls;
    };
    const Case cases[] = {
        {"registry offered",
         {"--registry"},
         {registered, "CreateSession session_handle_token=", kFirstSelect, kStart}},
        {"no registry (older xdg-desktop-portal)",
         {},
         {"CreateSession session_handle_token=", kFirstSelect, kStart}},
        {"registration refused",
         {"--registry", "--registry-refuse"},
         {registered, "CreateSession session_handle_token=", kFirstSelect, kStart}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(calls_);
        startPortal(c.mockOptions);
        Tokens tokens;
        testing::internal::CaptureStderr();
        {
            auto portal = RemoteDesktopPortal::open(tokens.store());
            portal->notifyKeyboardKeycode(KEY_A, true);
            portal->notifyKeyboardKeycode(KEY_A, false);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        std::vector<std::string> expected = c.expectedCalls;
        expected.insert(expected.end(), {"NotifyKeyboardKeycode 30 1", "NotifyKeyboardKeycode 30 0",
                                         "Session.Close"});
        EXPECT_EQ(joined(handshakeCalls(calls())), joined(expected));
        portal_.reset();
    }
}

// Reads what is there on fd within a few seconds.
std::string readAvailable(int fd) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 5000) != 1) return "";
    char buffer[256];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    return count > 0 ? std::string(buffer, static_cast<size_t>(count)) : "";
}

// ConnectToEIS gives the connection the portal made (the mock writes a marker at its end),
// as a descriptor of the caller's own; a portal without it, or refusing it, says so.
TEST_F(RemoteDesktopPortalTest, ConnectToEisHandsOverThePortalsConnection) {
    struct Case {
        const char* name;
        std::vector<std::string> mockOptions;
        const char* message;  // nullptr: connected
        bool asked;           // whether the call reached the portal
    };
    const Case cases[] = {
        {"offered", {"--eis"}, nullptr, true},
        {"refused",
         {"--eis", "--eis-refuse"},
         "the remote-desktop portal refused an EIS connection: no EIS connection for this session",
         true},
        {"version 2 without ConnectToEIS",
         {},
         "the remote-desktop portal offers no EIS connection (ConnectToEIS, from version 2 of its "
         "interface with a backend that has it; this one is version 2 without it)",
         false},
        {"version 1",
         {"--version", "1", "--eis"},
         "the remote-desktop portal offers no EIS connection (ConnectToEIS, from version 2 of its "
         "interface with a backend that has it; this one is version 1 without it)",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(calls_);
        startPortal(c.mockOptions);
        Tokens tokens;
        auto portal = RemoteDesktopPortal::open(tokens.store());
        EXPECT_EQ(portal->offersEis(), c.asked);
        if (c.message == nullptr) {
            const int fd = portal->connectToEis();
            ASSERT_GE(fd, 0);
            EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
            EXPECT_EQ(readAvailable(fd), "scalino-portal-mock-eis\n");
            // The caller's own: it outlives the session and the connection to the bus.
            portal.reset();
            EXPECT_EQ(write(fd, "x", 1), 1) << std::strerror(errno);
            close(fd);
        } else {
            try {
                portal->connectToEis();
                ADD_FAILURE() << "connected";
            } catch (const KeyEventError& error) {
                EXPECT_EQ(std::string(error.what()), c.message);
            }
        }
        portal.reset();
        bool asked = false;
        for (const std::string& line : calls()) {
            if (line == "ConnectToEIS") asked = true;
        }
        EXPECT_EQ(asked, c.asked);
        portal_.reset();
    }
}

// The desktop ends the session (its indicator, a logout): after some keys, or while none is
// typed. The next key is not sent and says what happened and what to do; so does asking for
// EIS; the ended session is not closed again.
TEST_F(RemoteDesktopPortalTest, SessionEndedByTheDesktop) {
    struct Case {
        const char* name;
        std::vector<std::string> mockOptions;
        int keysBefore;  // keys sent before the desktop ends it, the last one ending it
        bool bySignal;   // ended by the test (SIGUSR1 to the mock) after those keys
    };
    const Case cases[] = {
        {"after three keys", {"--close-after", "3", "--eis"}, 3, false},
        {"after the first key", {"--close-after", "1", "--eis"}, 1, false},
        {"while idle", {"--eis"}, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(calls_);
        startPortal(c.mockOptions);
        Tokens tokens;
        auto portal = RemoteDesktopPortal::open(tokens.store());
        std::vector<std::string> expectedKeys;
        for (int key = 0; key < c.keysBefore; ++key) {
            EXPECT_FALSE(portal->closed());
            portal->notifyKeyboardKeycode(KEY_B, key % 2 == 0);
            expectedKeys.push_back(std::string("NotifyKeyboardKeycode 48 ") +
                                   (key % 2 == 0 ? "1" : "0"));
        }
        if (c.bySignal) {
            EXPECT_FALSE(portal->closed());
            portal_->signal(SIGUSR1);
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (!portal->closed() && std::chrono::steady_clock::now() < deadline)
                usleep(10000);
        }
        EXPECT_TRUE(portal->closed());
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                portal->notifyKeyboardKeycode(KEY_C, true);
                ADD_FAILURE() << "a key went to an ended session";
            } catch (const KeyEventError& error) {
                EXPECT_EQ(std::string(error.what()), kEnded);
            }
        }
        try {
            portal->connectToEis();
            ADD_FAILURE() << "EIS for an ended session";
        } catch (const KeyEventError& error) {
            EXPECT_EQ(std::string(error.what()), kEnded);
        }
        portal.reset();
        std::vector<std::string> after;
        bool ended = false;
        for (const std::string& line : calls()) {
            if (line == "Session.Closed") ended = true;
            if (ended || line.rfind("NotifyKeyboardKeycode", 0) == 0) after.push_back(line);
        }
        // The end comes after the keys (with the last of them where the desktop ended it then).
        std::vector<std::string> expected = expectedKeys;
        expected.push_back("Session.Closed");
        EXPECT_EQ(joined(after), joined(expected));
        portal_.reset();
    }
}

// Through the keyboard the backends hand out: the key after the end throws with the message.
TEST_F(RemoteDesktopPortalTest, PortalKeyboardSaysTheDesktopEndedTheSession) {
    startPortal({"--close-after", "2"});
    Tokens tokens;
    auto keyboard = PortalKeyboard::open(tokens.store());
    keyboard->press(KEY_A);
    EXPECT_FALSE(keyboard->closed());
    keyboard->release(KEY_A);
    EXPECT_TRUE(keyboard->closed());
    try {
        keyboard->press(KEY_A);
        FAIL() << "a key went to an ended session";
    } catch (const KeyEventError& error) {
        EXPECT_EQ(std::string(error.what()), kEnded);
    }
}

// Restores an environment variable at the end of the scope.
class KeptVariable {
public:
    explicit KeptVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) value_ = value;
    }
    ~KeptVariable() {
        if (value_)
            setenv(name_, value_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> value_;
};

// A listening socket nobody accepts on: a bus that never answers.
class SilentSocket {
public:
    explicit SilentSocket(const fs::path& path) {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd_, 16) != 0)
            ADD_FAILURE() << "no listening socket: " << std::strerror(errno);
    }
    ~SilentSocket() {
        if (fd_ >= 0) close(fd_);
    }

private:
    int fd_ = -1;
};

// The probe of the automatic choice: true only where a portal with RemoteDesktop answers; no
// bus is false at once, and a bus that does not answer is false when the time is up.
TEST_F(RemoteDesktopPortalTest, ProbeSaysWhetherThePortalIsOffered) {
    KeptVariable address("DBUS_SESSION_BUS_ADDRESS");
    KeptVariable runtime("XDG_RUNTIME_DIR");
    const fs::path silentPath = folder_ / "silent";
    SilentSocket silent(silentPath);
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::chrono::milliseconds timeout;
        bool offered;
        std::chrono::milliseconds atMost;  // how long the answer may take
        std::chrono::milliseconds atLeast;
    };
    const std::string busAddress = bus_->address();
    const Case cases[] = {
        {"no session bus",
         [] {
             unsetenv("DBUS_SESSION_BUS_ADDRESS");
             unsetenv("XDG_RUNTIME_DIR");
         },
         5s, false, 500ms, 0ms},
        {"no bus at the address",
         [this] {
             setenv("DBUS_SESSION_BUS_ADDRESS",
                    ("unix:path=" + (folder_ / "none").string()).c_str(), 1);
         },
         5s, false, 500ms, 0ms},
        {"no bus in the runtime folder",
         [this] {
             unsetenv("DBUS_SESSION_BUS_ADDRESS");
             setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
         },
         5s, false, 500ms, 0ms},
        {"a bus that does not answer",
         [&silentPath] {
             setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + silentPath.string()).c_str(), 1);
         },
         300ms, false, 2000ms, 250ms},
        {"a bus without a portal",
         [&busAddress] { setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1); }, 5s, false,
         2000ms, 0ms},
        {"a portal without RemoteDesktop",
         [&] {
             setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
             startPortal({"--no-remote-desktop", "--registry"});
         },
         5s, false, 2000ms, 0ms},
        {"a portal with RemoteDesktop",
         [&] {
             setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
             startPortal();
         },
         5s, true, 2000ms, 0ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(calls_);
        c.arrange();
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(RemoteDesktopPortal::offeredVersion(c.timeout) > 0, c.offered);
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_LE(took, c.atMost);
        EXPECT_GE(took, c.atLeast);
        // No session, no dialog: the portal was asked nothing but its version.
        EXPECT_EQ(joined(calls()), "");
        portal_.reset();
    }
}

}  // namespace
}  // namespace scalino
