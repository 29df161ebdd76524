#include "worker/RecordingKeyEvents.h"

#include <algorithm>

#include "config/Keymap.h"

namespace scalino {

void RecordingKeyEvents::record(Event::Type type, int value, const std::set<int>& refused) {
    std::lock_guard lock(mutex_);
    if (refused.contains(value)) throw KeyEventError("refused key " + std::to_string(value));
    events_.push_back({type, value});
    if (events_.size() > keepAtMost_) {
        events_.pop_front();
        ++forgotten_;
    }
}

void RecordingKeyEvents::keyPress(int keyCode) {
    record(Event::Type::Press, keyCode, refusedPresses_);
}

void RecordingKeyEvents::keyRelease(int keyCode) {
    record(Event::Type::Release, keyCode, refusedReleases_);
}

void RecordingKeyEvents::delay(int milliseconds) {
    record(Event::Type::Delay, milliseconds, {});
}

bool RecordingKeyEvents::canType(char32_t character) {
    return !typeable_ || typeable_(character);
}

void RecordingKeyEvents::setTypeable(std::function<bool(char32_t)> typeable) {
    typeable_ = std::move(typeable);
}

bool RecordingKeyEvents::isCapsLockOn() {
    std::lock_guard lock(mutex_);
    return capsLockOn_;
}

void RecordingKeyEvents::rejectPress(int keyCode) {
    std::lock_guard lock(mutex_);
    refusedPresses_.insert(keyCode);
}

void RecordingKeyEvents::rejectRelease(int keyCode) {
    std::lock_guard lock(mutex_);
    refusedReleases_.insert(keyCode);
}

void RecordingKeyEvents::setCapsLockOn(bool on) {
    std::lock_guard lock(mutex_);
    capsLockOn_ = on;
}

std::vector<RecordingKeyEvents::Event> RecordingKeyEvents::events() const {
    std::lock_guard lock(mutex_);
    return {events_.begin(), events_.end()};
}

std::string RecordingKeyEvents::transcript() const {
    std::string out;
    long long forgotten = 0;
    {
        std::lock_guard lock(mutex_);
        forgotten = forgotten_;
    }
    if (forgotten > 0) out = "(" + std::to_string(forgotten) + " earlier events)";
    for (const Event& event : events()) {
        if (!out.empty()) out += ' ';
        if (event.type == Event::Type::Delay) {
            out += '.';
            continue;
        }
        out += event.type == Event::Type::Press ? '+' : '-';
        const std::string name = VirtualKey::name(event.value);
        out += name.empty() ? std::to_string(event.value) : name;
    }
    return out;
}

int RecordingKeyEvents::delayCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(events_.begin(), events_.end(), [](const Event& e) {
        return e.type == Event::Type::Delay;
    }));
}

long long RecordingKeyEvents::delayTotal() const {
    std::lock_guard lock(mutex_);
    long long total = 0;
    for (const Event& event : events_) {
        if (event.type == Event::Type::Delay) total += event.value;
    }
    return total;
}

void RecordingKeyEvents::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
    forgotten_ = 0;
}

}  // namespace scalino
