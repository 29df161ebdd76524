#pragma once

#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "worker/KeyEventGenerator.h"

namespace scalino {

// Keeps key events instead of sending them, for tests and dry runs: waits are counted, not
// slept. Can refuse given keys, as a backend refuses a key its layout lacks.
class RecordingKeyEvents : public KeyEventGenerator {
public:
    // Keeps every event, or only the newest keepAtMost, so that a recording that runs for hours
    // stays small; the events it forgot are counted.
    explicit RecordingKeyEvents(size_t keepAtMost = std::numeric_limits<size_t>::max())
        : keepAtMost_(keepAtMost) {}

    struct Event {
        enum class Type { Press, Release, Delay };
        Type type;
        int value;  // key code, or milliseconds of a wait
        bool operator==(const Event&) const = default;
    };

    void keyPress(int keyCode) override;
    void keyRelease(int keyCode) override;
    void delay(int milliseconds) override;
    bool isCapsLockOn() override;
    // Every character, unless a layout to check against was given.
    bool canType(char32_t character) override;

    // A refused key throws KeyEventError("refused key <code>") and is not recorded.
    void rejectPress(int keyCode);
    void rejectRelease(int keyCode);
    void setCapsLockOn(bool on);
    // The characters of the desktop's layout that a recording takes, as the layout's keymap
    // says; the function is called on the typing thread.
    void setTypeable(std::function<bool(char32_t)> typeable);

    std::vector<Event> events() const;
    // The events in order: "+Shift" a press, "-Shift" a release, "." a wait; keys by their
    // virtual key name, or by code where they have none. "+Shift . +A . -A . -Shift ." Events
    // forgotten come first as "(N earlier events)".
    std::string transcript() const;
    int delayCount() const;
    long long delayTotal() const;
    void clear();

private:
    void record(Event::Type type, int value, const std::set<int>& refused);

    mutable std::mutex mutex_;  // the typing thread records while another may read
    size_t keepAtMost_;
    std::deque<Event> events_;
    long long forgotten_ = 0;
    std::set<int> refusedPresses_;
    std::set<int> refusedReleases_;
    bool capsLockOn_ = false;
    std::function<bool(char32_t)> typeable_;
};

}  // namespace scalino
