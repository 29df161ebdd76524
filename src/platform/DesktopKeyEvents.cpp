#include "platform/DesktopKeyEvents.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "config/Keymap.h"

namespace scalino {

namespace {

namespace VK = VirtualKey;

// The start and end keys, which are in the same place on every layout.
std::optional<int> fixedKey(int keyCode) {
    switch (keyCode) {
        case VK::Tab: return KEY_TAB;
        case VK::Enter: return KEY_ENTER;
        case VK::Right: return KEY_RIGHT;
        case VK::Down: return KEY_DOWN;
        case VK::Delete: return KEY_DELETE;
        case VK::KpMultiply: return KEY_KPASTERISK;
        default: break;
    }
    if (keyCode >= VK::F1 && keyCode <= VK::F1 + 9) return KEY_F1 + keyCode - VK::F1;
    if (keyCode == VK::F1 + 10) return KEY_F11;
    if (keyCode == VK::F12) return KEY_F12;
    return std::nullopt;
}

}  // namespace

DesktopKeyEvents::DesktopKeyEvents(std::unique_ptr<DesktopLayout> layout,
                                   std::unique_ptr<PhysicalKeyboard> keyboard)
    : layout_(std::move(layout)), keyboard_(std::move(keyboard)) {}

DesktopKeyEvents::~DesktopKeyEvents() {
    try {
        while (!down_.empty()) {
            const KeyChord chord = down_.back().chord;
            down_.pop_back();
            releaseChord(chord);
        }
    } catch (const KeyEventError&) {
        // The receiver is gone; there is nothing left to release.
    }
}

void DesktopKeyEvents::keyPress(int keyCode) {
    if (const char32_t character = VK::characterOf(keyCode)) {
        pressCharacter(keyCode, character);
        return;
    }
    const auto key = fixedKey(keyCode);
    if (!key) {
        const std::string name = VK::name(keyCode);
        throw KeyEventError("the desktop's layout types characters and the start and end keys, "
                            "not the key " +
                            (name.empty() ? std::to_string(keyCode) : name));
    }
    const KeyChord chord{{}, *key, false};
    pressChord(chord);
    down_.push_back({keyCode, chord});
}

void DesktopKeyEvents::pressCharacter(int keyCode, char32_t character) {
    const XkbCharacterTable& table = characters();
    const auto* chords = table.chordsFor(character, locks(table.locksThatMatter(character)));
    if (chords == nullptr || chords->empty()) {
        throw KeyEventError("the " + layout_->name() + " layout has no key for the character " +
                            VK::name(keyCode));
    }
    for (size_t i = 0; i + 1 < chords->size(); ++i) {
        pressChord((*chords)[i]);
        releaseChord((*chords)[i]);
    }
    pressChord(chords->back());
    down_.push_back({keyCode, chords->back()});
}

// The state of the locks that matter; the others read as off, which then changes nothing.
LockState DesktopKeyEvents::locks(LockState matter) {
    LockState state;
    if (matter.capsLock) state.capsLock = light(KeyboardLed::CapsLock, capsLock_);
    if (matter.numLock) state.numLock = light(KeyboardLed::NumLock, numLock_);
    return state;
}

bool DesktopKeyEvents::light(KeyboardLed led, std::optional<bool>& known) {
    if (known) return *known;
    const bool on = keyboard_->isLedOn(led);
    if (textStarted_) known = on;
    return on;
}

void DesktopKeyEvents::startText() {
    textStarted_ = true;
    capsLock_.reset();
    numLock_.reset();
    table_ = &layout_->characters();
}

// Within a text the table read at its start; a layout switched on the desktop applies from the
// next text (each value is one), outside texts from the next character.
const XkbCharacterTable& DesktopKeyEvents::characters() {
    if (!textStarted_ || table_ == nullptr) table_ = &layout_->characters();
    return *table_;
}

void DesktopKeyEvents::keyRelease(int keyCode) {
    const auto it = std::ranges::find(down_, keyCode, &Down::keyCode);
    if (it == down_.end()) return;  // its press was refused: nothing went down
    const KeyChord chord = it->chord;
    down_.erase(it);
    releaseChord(chord);
}

void DesktopKeyEvents::pressChord(const KeyChord& chord) {
    if (chord.togglesNumLock) {
        keyboard_->press(KEY_NUMLOCK);
        keyboard_->release(KEY_NUMLOCK);
    }
    for (int modifier : chord.modifiers)
        keyboard_->press(modifier);
    keyboard_->press(chord.key);
}

void DesktopKeyEvents::releaseChord(const KeyChord& chord) {
    keyboard_->release(chord.key);
    for (auto modifier = chord.modifiers.rbegin(); modifier != chord.modifiers.rend(); ++modifier)
        keyboard_->release(*modifier);
    if (chord.togglesNumLock) {
        keyboard_->press(KEY_NUMLOCK);
        keyboard_->release(KEY_NUMLOCK);
    }
}

void DesktopKeyEvents::delay(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool DesktopKeyEvents::isCapsLockOn() {
    return keyboard_->isLedOn(KeyboardLed::CapsLock);
}

bool DesktopKeyEvents::canType(char32_t character) {
    return characters().canType(character);
}

}  // namespace scalino
