#pragma once

#include <memory>
#include <string>

struct xkb_compose_table;
struct xkb_compose_state;

#include "support/Subprocess.h"

namespace scalino::test {

class SwayServer;

// wev, a Wayland client that prints every event it receives, in a window of a compositor that
// gives it the keyboard focus: what a key press types there is the text it names ("utf8: 'a'"),
// through the keymap and modifiers the compositor handed it. wev does not compose; the recorder
// runs the keysyms it prints through the system's compose table (C.UTF-8), as GTK and Qt
// applications do, so that a dead key and the key after it make one character.
class WevRecorder {
public:
    // Empty failure() when wev runs and its window is active.
    explicit WevRecorder(const SwayServer& server);
    ~WevRecorder();
    WevRecorder(const WevRecorder&) = delete;
    WevRecorder& operator=(const WevRecorder&) = delete;

    const std::string& failure() const { return failure_; }
    // The text typed by the key presses received up to a press of the key named end (an XKB
    // keysym name such as F12); "" for presses of keys that type nothing (the modifiers).
    // Throws std::runtime_error when end does not come within a few seconds.
    std::string takeUntil(const std::string& end);

private:
    // What a press of the keysym with wev's text types, after the keys before it.
    std::string compose(unsigned keysym, const std::string& text);

    std::unique_ptr<RunningProgram> wev_;
    xkb_compose_table* composeTable_ = nullptr;
    xkb_compose_state* composeState_ = nullptr;
    std::string failure_;
};

}  // namespace scalino::test
