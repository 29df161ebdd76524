#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/PhysicalKeyboard.h"

struct _XDisplay;

namespace scalino {

// Keys sent to an X server through the XTest extension, as from the server's own keyboard: an
// X keycode is the evdev code + 8. Caps Lock and NumLock are read from the XKB indicators, which
// the server reports as they change, so that reading them costs no round trip; after a lock key
// sent here, the next read waits for the server to have handled it.
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
    XTestKeyboard(_XDisplay* display, std::string displayName, int xkbEventBase);
    void send(int key, bool down);
    void takeIndicatorEvents();
    void readIndicators();

    std::mutex mutex_;  // Xlib calls on one connection come one at a time
    _XDisplay* display_;
    std::string displayName_;
    int minKeycode_ = 0;
    int maxKeycode_ = 0;
    int xkbEventBase_ = 0;
    // The indicators as the server last reported them; stale after a keymap change.
    unsigned indicatorState_ = 0;
    int capsLockIndex_ = -1;
    int numLockIndex_ = -1;
    bool indicatorsStale_ = true;
    bool lockKeySent_ = false;
};

}  // namespace scalino
