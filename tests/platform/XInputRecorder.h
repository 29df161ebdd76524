#pragma once

#include <string>

struct _XDisplay;
struct _XIM;
struct _XIC;

namespace scalino::test {

// An X client with a focused window and an input method, as a text field of a desktop
// application has: dead keys compose, every key press is looked up as the layout and the input
// method make it.
class XInputRecorder {
public:
    // Throws std::runtime_error when the display or the input method cannot be opened.
    explicit XInputRecorder(const std::string& display);
    ~XInputRecorder();
    XInputRecorder(const XInputRecorder&) = delete;
    XInputRecorder& operator=(const XInputRecorder&) = delete;

    // What arrived since the last call: characters as UTF-8, keys that bring no printable
    // character as "<" keysym name ">" ("<Return>", "<Control_L>", "<dead_acute>"). Shift,
    // level-3 shift and the lock keys are modifiers and not listed. Events the server handled
    // before this call are all included.
    std::string take();
    // The connection to the server: readable when events may have come, for a caller that waits
    // for input with poll instead of calling take in a loop.
    int connectionFd() const;
    // Makes a group of the server's keymap the active one, as a desktop's layout switcher does.
    void lockGroup(unsigned group);

private:
    void record(void* event);

    _XDisplay* display_ = nullptr;
    unsigned long window_ = 0;
    _XIM* inputMethod_ = nullptr;
    _XIC* inputContext_ = nullptr;
    std::string received_;
};

}  // namespace scalino::test
