#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/PhysicalKeyboard.h"

namespace scalino::test {

// A physical keyboard that keeps the keys pressed and released instead of sending them, with
// lights a test sets: what a backend would send, to compare or to check.
class RecordingKeyboard : public PhysicalKeyboard {
public:
    struct Event {
        bool down;
        int key;  // evdev code
        bool operator==(const Event&) const = default;
    };

    void press(int key) override { record({true, key}); }
    void release(int key) override { record({false, key}); }
    bool isLedOn(KeyboardLed led) override {
        std::lock_guard lock(mutex_);
        return led == KeyboardLed::CapsLock ? capsLock_ : numLock_;
    }

    void setLeds(bool capsLock, bool numLock) {
        std::lock_guard lock(mutex_);
        capsLock_ = capsLock;
        numLock_ = numLock;
    }
    std::vector<Event> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }
    // "+42 +30 -30 -42": presses and releases by evdev code, for failure messages.
    static std::string transcript(const std::vector<Event>& events) {
        std::string text;
        for (const Event& event : events) {
            if (!text.empty()) text += ' ';
            text += (event.down ? "+" : "-") + std::to_string(event.key);
        }
        return text;
    }

private:
    void record(Event event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }

    mutable std::mutex mutex_;
    std::vector<Event> events_;
    bool capsLock_ = false;
    bool numLock_ = false;
};

}  // namespace scalino::test
