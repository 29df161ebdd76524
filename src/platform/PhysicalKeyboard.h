#pragma once

#include <memory>
#include <string>

#include "platform/DesktopLayout.h"

namespace scalino {

// The keyboard lights a backend can read.
enum class KeyboardLed { CapsLock, NumLock };

// A keyboard that presses and releases physical keys, named by their Linux evdev codes
// (linux/input-event-codes.h). What a key types is up to the layout of whoever receives it.
// The calls may come from different threads; implementations serialise them.
class PhysicalKeyboard {
public:
    virtual ~PhysicalKeyboard() = default;
    // Both throw KeyEventError when the event cannot be sent.
    virtual void press(int key) = 0;
    virtual void release(int key) = 0;
    virtual bool isLedOn(KeyboardLed led) = 0;
    // How the keys are sent, for the user (KeyEventGenerator::method); "" for none of the
    // platform's ways.
    virtual std::string method() const { return ""; }
    // The layout whoever receives these keys reads them with, where the keyboard itself hands
    // over or is handed the keymap (a Wayland virtual keyboard, an EIS device); null where the
    // keymap is the desktop's business (XTest, uinput). The layout may follow the receiver's
    // changes; one thread at a time uses it.
    virtual std::unique_ptr<DesktopLayout> receiverLayout() const { return nullptr; }
};

}  // namespace scalino
