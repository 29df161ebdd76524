#include "platform/LayoutKeyEvents.h"

#include <linux/input-event-codes.h>

#include <chrono>
#include <thread>

#include "config/Keymap.h"

namespace scalino {

namespace {

namespace VK = VirtualKey;

bool isKeypadDigit(int keyCode) {
    return keyCode >= VK::Kp0 && keyCode <= VK::Kp9;
}

std::string keyName(int keyCode) {
    const std::string name = VK::name(keyCode);
    return name.empty() ? "with code " + std::to_string(keyCode) : name;
}

std::string readableCharacter(char32_t character) {
    if (character >= 0x20 && character <= 0x7E) {
        return "'" + std::string(1, static_cast<char>(character)) + "'";
    }
    return "<" + std::to_string(character) + ">";
}

}  // namespace

LayoutKeyEvents::LayoutKeyEvents(ConfigHelper::KeyboardType layout,
                                 std::unique_ptr<PhysicalKeyboard> keyboard,
                                 std::function<std::string()> desktopLayout)
    : layout_(KeyLayout::of(layout)),
      keyboard_(std::move(keyboard)),
      desktopLayout_(std::move(desktopLayout)) {}

LayoutKeyEvents::~LayoutKeyEvents() {
    try {
        while (!down_.empty()) {
            const auto [keyCode, key] = *down_.begin();
            down_.erase(down_.begin());
            keyboard_->release(key);
            if (isKeypadDigit(keyCode)) restoreNumLock();
        }
        setShift(false);
        setAltGr(false);
    } catch (const KeyEventError&) {
        // The receiver is gone; there is nothing left to release.
    }
}

void LayoutKeyEvents::keyPress(int keyCode) {
    switch (keyCode) {
        case VK::Ctrl: ctrlHeld_ = true; return;
        case VK::Alt: altHeld_ = true; return;
        case VK::Shift:
            sendPendingDeadKey();
            shiftHeld_ = true;
            setShift(true);
            return;
        default: break;
    }
    if (altHeld_ && !ctrlHeld_) {
        addAltCodeDigit(keyCode);
    } else if (ctrlHeld_ && !altHeld_) {
        throw KeyEventError("Ctrl goes only with Alt (for AltGr); Ctrl shortcuts are not sent");
    } else if (!holdDeadKey(keyCode) && !typeDeadKeyCharacter(keyCode)) {
        sendPendingDeadKey();
        pressKey(keyCode);
    }
}

void LayoutKeyEvents::addAltCodeDigit(int keyCode) {
    if (!isKeypadDigit(keyCode)) {
        throw KeyEventError(
            "Alt goes only with keypad digits or with Ctrl (for AltGr); Alt shortcuts are not "
            "sent");
    }
    altCode_ += static_cast<char>('0' + keyCode - VK::Kp0);
    absorbed_.insert(keyCode);
}

// A dead key of the key maps: whether Space follows decides what it types, so it waits.
bool LayoutKeyEvents::holdDeadKey(int keyCode) {
    const bool altGr = ctrlHeld_ && altHeld_;
    const auto character = layout_.deadKeyCharacter(keyCode, shiftHeld_, altGr);
    if (!character) return false;
    sendPendingDeadKey();
    pendingDeadKey_ = PendingDeadKey{keyCode, shiftHeld_, altGr, *character};
    absorbed_.insert(keyCode);
    return true;
}

// Space after a dead key: the dead key's character, through the key of the key map where it
// is not dead on Linux, else through the layout's key for that character. No Space goes out.
bool LayoutKeyEvents::typeDeadKeyCharacter(int keyCode) {
    if (keyCode != VK::Space || !pendingDeadKey_) return false;
    const PendingDeadKey dead = *pendingDeadKey_;
    pendingDeadKey_.reset();
    absorbed_.insert(keyCode);
    const KeyStroke own{physicalKey(dead.virtualKey), dead.shift, dead.altGr, false};
    if (layout_.typesDirectly(own, dead.character)) {
        typeStroke(own);
    } else {
        typeCharacter(dead.character);
    }
    return true;
}

void LayoutKeyEvents::keyRelease(int keyCode) {
    switch (keyCode) {
        case VK::Ctrl:
            ctrlHeld_ = false;
            setAltGr(false);
            return;
        case VK::Alt:
            altHeld_ = false;
            setAltGr(false);
            endAltCode();
            return;
        case VK::Shift:
            shiftHeld_ = false;
            setShift(false);
            return;
        default: break;
    }
    if (absorbed_.erase(keyCode) > 0) return;
    const auto it = down_.find(keyCode);
    if (it == down_.end()) return;  // its press was refused: nothing went down
    const int key = it->second;
    down_.erase(it);
    keyboard_->release(key);
    if (isKeypadDigit(keyCode)) restoreNumLock();
}

void LayoutKeyEvents::delay(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool LayoutKeyEvents::isCapsLockOn() {
    return keyboard_->isLedOn(KeyboardLed::CapsLock);
}

// "us(basic)" is "us".
std::string LayoutKeyEvents::differingDesktopLayout() {
    if (!desktopLayout_) return "";
    std::string desktop = desktopLayout_();
    if (desktop.ends_with("(basic)")) desktop.resize(desktop.size() - 7);
    return desktop.empty() || desktop == layout_.name() ? "" : desktop;
}

void LayoutKeyEvents::pressKey(int keyCode) {
    const int key = physicalKey(keyCode);
    if (ctrlHeld_ && altHeld_) setAltGr(true);
    if (isKeypadDigit(keyCode)) raiseNumLock();
    keyboard_->press(key);
    down_[keyCode] = key;
}

void LayoutKeyEvents::endAltCode() {
    if (altCode_.empty()) return;
    const std::string digits = std::move(altCode_);
    altCode_.clear();
    const int code = digits.size() <= 3 ? std::stoi(digits) : -1;
    if (code < 0x20 || code > 0x7E) {
        throw KeyEventError("Alt+" + digits +
                            ": only the printable ASCII characters, codes 32 to 126, can be "
                            "typed by their code");
    }
    typeCharacter(static_cast<char32_t>(code));
}

void LayoutKeyEvents::typeCharacter(char32_t character) {
    const auto stroke = layout_.strokeFor(character);
    if (!stroke) {
        throw KeyEventError("the " + layout_.name() + " layout has no key for the character " +
                            readableCharacter(character));
    }
    typeStroke(*stroke);
}

// Sets the modifiers the stroke needs, types it and puts the modifiers back as they were.
void LayoutKeyEvents::typeStroke(const KeyStroke& stroke) {
    const bool shiftWas = shiftDown_;
    const bool altGrWas = altGrDown_;
    setShift(stroke.shift);
    setAltGr(stroke.altGr);
    tap(stroke.key);
    if (stroke.dead) {
        setShift(false);
        setAltGr(false);
        tap(KEY_SPACE);
    }
    setShift(shiftWas);
    setAltGr(altGrWas);
}

// A dead key of the key maps not followed by Space goes out as the layout's key, to combine
// with what comes next where Linux has it dead too.
void LayoutKeyEvents::sendPendingDeadKey() {
    if (!pendingDeadKey_) return;
    const PendingDeadKey dead = *pendingDeadKey_;
    pendingDeadKey_.reset();
    typeStroke({physicalKey(dead.virtualKey), dead.shift, dead.altGr, false});
}

void LayoutKeyEvents::tap(int key) {
    keyboard_->press(key);
    keyboard_->release(key);
}

void LayoutKeyEvents::setShift(bool down) {
    if (shiftDown_ == down) return;
    if (down) {
        keyboard_->press(KEY_LEFTSHIFT);
    } else {
        keyboard_->release(KEY_LEFTSHIFT);
    }
    shiftDown_ = down;
}

void LayoutKeyEvents::setAltGr(bool down) {
    if (altGrDown_ == down) return;
    if (down) {
        keyboard_->press(KEY_RIGHTALT);
    } else {
        keyboard_->release(KEY_RIGHTALT);
    }
    altGrDown_ = down;
}

// Keypad digits type digits only with NumLock on.
void LayoutKeyEvents::raiseNumLock() {
    if (numLockRaised_ || keyboard_->isLedOn(KeyboardLed::NumLock)) return;
    tap(KEY_NUMLOCK);
    numLockRaised_ = true;
}

void LayoutKeyEvents::restoreNumLock() {
    if (!numLockRaised_) return;
    for (const auto& entry : down_) {
        if (isKeypadDigit(entry.first)) return;
    }
    numLockRaised_ = false;
    tap(KEY_NUMLOCK);
}

int LayoutKeyEvents::physicalKey(int keyCode) const {
    const auto key = layout_.physicalKey(keyCode);
    if (!key)
        throw KeyEventError("the " + layout_.name() + " layout has no key " + keyName(keyCode));
    return *key;
}

}  // namespace scalino
