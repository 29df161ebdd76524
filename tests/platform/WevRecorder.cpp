#include "platform/WevRecorder.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <stdexcept>

#include "platform/SwayServer.h"
#include "platform/XvfbServer.h"

namespace scalino::test {

namespace {

constexpr auto kEventTimeout = std::chrono::milliseconds(5000);

// The text between the quotes of "utf8: '...'"; wev prints the character itself.
std::string utf8Of(const std::string& line) {
    const size_t start = line.find("utf8: '");
    if (start == std::string::npos) return "";
    const size_t end = line.rfind('\'');
    if (end <= start + 7) return "";
    return line.substr(start + 7, end - start - 7);
}

// The keysym name of "sym: a            (97), utf8: 'a'".
std::string symOf(const std::string& line) {
    const size_t start = line.find("sym: ");
    if (start == std::string::npos) return "";
    const size_t nameStart = start + 5;
    const size_t nameEnd = line.find(' ', nameStart);
    return line.substr(nameStart, nameEnd - nameStart);
}

// The keysym value of "sym: a            (97), utf8: 'a'".
unsigned keysymOf(const std::string& line) {
    const size_t open = line.find('(', line.find("sym: "));
    if (open == std::string::npos) return 0;
    return static_cast<unsigned>(std::stoul(line.substr(open + 1)));
}

}  // namespace

WevRecorder::WevRecorder(const SwayServer& server) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    composeTable_ =
        xkb_compose_table_new_from_locale(context, "C.UTF-8", XKB_COMPOSE_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    if (composeTable_ == nullptr) {
        failure_ = "the system has no compose table for C.UTF-8 (package libx11-data)";
        return;
    }
    composeState_ = xkb_compose_state_new(composeTable_, XKB_COMPOSE_STATE_NO_FLAGS);
    const std::string wev = findProgram("wev");
    if (wev.empty()) {
        failure_ = "wev is not installed (package wev, see scripts/install-deps.sh)";
        return;
    }
    // Line by line into the pipe, as it prints to a terminal.
    wev_ = std::make_unique<RunningProgram>(
        findProgram("stdbuf"), std::vector<std::string>{"-oL", wev},
        std::vector<std::string>{"WAYLAND_DISPLAY=" + server.socket(),
                                 "XDG_RUNTIME_DIR=" + server.runtimeDir().string()});
    // Sway maps the window full-size and activates it: from then on it has the focus.
    while (auto line = wev_->readLine(kEventTimeout)) {
        if (line->find("activated") != std::string::npos) return;
    }
    failure_ = "wev did not get an active window: " + wev_->err();
}

WevRecorder::~WevRecorder() {
    xkb_compose_state_unref(composeState_);
    xkb_compose_table_unref(composeTable_);
}

std::string WevRecorder::compose(unsigned keysym, const std::string& text) {
    xkb_compose_state_feed(composeState_, keysym);
    switch (xkb_compose_state_get_status(composeState_)) {
        case XKB_COMPOSE_COMPOSING: return "";
        case XKB_COMPOSE_CANCELLED: xkb_compose_state_reset(composeState_); return "";
        case XKB_COMPOSE_COMPOSED: {
            char composed[64];
            xkb_compose_state_get_utf8(composeState_, composed, sizeof composed);
            xkb_compose_state_reset(composeState_);
            return composed;
        }
        case XKB_COMPOSE_NOTHING: break;
    }
    return text;
}

std::string WevRecorder::takeUntil(const std::string& end) {
    std::string text;
    bool pressed = false;
    while (auto line = wev_->readLine(kEventTimeout)) {
        if (line->find("] key: ") != std::string::npos) {
            pressed = line->find("(pressed)") != std::string::npos;
            continue;
        }
        if (!pressed || line->find("sym: ") == std::string::npos) continue;
        pressed = false;
        if (symOf(*line) == end) return text;
        text += compose(keysymOf(*line), utf8Of(*line));
    }
    throw std::runtime_error("no press of " + end + " reached wev; it received: " + text +
                             "; its errors: " + wev_->err());
}

}  // namespace scalino::test
