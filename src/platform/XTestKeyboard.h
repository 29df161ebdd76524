#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/PhysicalKeyboard.h"

struct _XDisplay;

namespace scalino {

// Keys sent to an X server through the XTest extension, as from the server's own keyboard: an
// X keycode is the evdev code + 8. Caps Lock and NumLock are read from the XKB indicators.
class XTestKeyboard : public PhysicalKeyboard {
public:
    // Connects to displayName, or to $DISPLAY when it is empty; throws KeyEventError when no X
    // server answers there or it lacks XTest.
    static std::unique_ptr<XTestKeyboard> open(const std::string& displayName = "");
    ~XTestKeyboard() override;
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    void press(int key) override;
    void release(int key) override;
    bool isLedOn(KeyboardLed led) override;
    // Under Wayland it says that only X11 applications receive the keys.
    std::string method() const override;
    // Returns once the server has handled every event sent so far.
    void sync();

private:
    XTestKeyboard(_XDisplay* display, std::string displayName);
    void send(int key, bool down);

    std::mutex mutex_;  // Xlib calls on one connection come one at a time
    _XDisplay* display_;
    std::string displayName_;
    int minKeycode_ = 0;
    int maxKeycode_ = 0;
};

}  // namespace scalino
