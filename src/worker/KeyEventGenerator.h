#pragma once

#include <stdexcept>
#include <string>

namespace scalino {

// A key the platform refused to press or release; what() is the platform's reason.
class KeyEventError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Synthesises key events for the typing engine. Key codes are the virtual key codes of the key
// maps (Shift 16, Ctrl 17, Alt 18, Space 32, A 65, ...); a backend maps each to the physical key
// that carries that label on the layout it was made for.
class KeyEventGenerator {
public:
    virtual ~KeyEventGenerator() = default;
    // Both throw KeyEventError when the key cannot be sent.
    virtual void keyPress(int keyCode) = 0;
    virtual void keyRelease(int keyCode) = 0;
    // Waits between key events; a backend may count instead of sleeping.
    virtual void delay(int milliseconds) = 0;
    virtual bool isCapsLockOn() = 0;
    // A text begins: a backend may read the keyboard's state (its lights) once for the whole
    // text instead of before every character.
    virtual void startText() {}
    // Whether a key code that names a character (VirtualKey::character) can type it here. Only
    // the desktop's layout uses such codes; a recording takes any.
    virtual bool canType(char32_t character) {
        (void)character;
        return true;
    }
    // The layout of the desktop that receives the keys, as XKB names it ("de", "ch(fr)"), when
    // it is known to differ from the layout these key events are made for; "" otherwise.
    virtual std::string differingDesktopLayout() { return ""; }
    // How the keys leave the program, for telling the user once at connect: "the Wayland
    // virtual keyboard", "XTest on the X display :0", "uinput"; "" where they do not leave it.
    virtual std::string method() const { return ""; }
};

}  // namespace scalino
