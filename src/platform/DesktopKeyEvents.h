#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopLayout.h"
#include "platform/PhysicalKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

// Key events for the desktop's own layout: a key code that names a character
// (VirtualKey::character) becomes the keys that give it in the layout's keymap, with the
// modifiers its level needs for the lock state of the moment; a dead key and the key it
// composes with where the layout has it only that way. The start and end keys (Tab, Enter,
// arrows, Delete, F1 to F12) are the same keys on every layout. A press types every chord but
// the last, which its release lets go, so the typing engine's pauses fall between characters.
// The layout is read once per text (a layout switched on the desktop applies from the next
// value), Caps Lock and NumLock each once per text at its first character whose keys depend on
// that lock (a round trip to an X server each).
class DesktopKeyEvents : public KeyEventGenerator {
public:
    DesktopKeyEvents(std::unique_ptr<DesktopLayout> layout,
                     std::unique_ptr<PhysicalKeyboard> keyboard);
    // Releases whatever is still down, so that no key stays stuck in the receiver.
    ~DesktopKeyEvents() override;
    DesktopKeyEvents(const DesktopKeyEvents&) = delete;
    DesktopKeyEvents& operator=(const DesktopKeyEvents&) = delete;

    void keyPress(int keyCode) override;
    void keyRelease(int keyCode) override;
    void delay(int milliseconds) override;
    bool isCapsLockOn() override;
    std::string method() const override { return keyboard_->method(); }
    void startText() override;
    bool canType(char32_t character) override;

    DesktopLayout& layout() { return *layout_; }

private:
    struct Down {
        int keyCode;
        KeyChord chord;
    };

    void pressCharacter(int keyCode, char32_t character);
    const XkbCharacterTable& characters();
    LockState locks(LockState matter);
    bool light(KeyboardLed led, std::optional<bool>& known);
    void pressChord(const KeyChord& chord);
    void releaseChord(const KeyChord& chord);

    std::unique_ptr<DesktopLayout> layout_;
    std::unique_ptr<PhysicalKeyboard> keyboard_;
    std::vector<Down> down_;  // keys pressed and not yet released, in order
    // The lights as read for the text under way; none: read at the next character that depends
    // on them. Only kept within a text (startText); NumLock toggled for a chord is put back, so
    // they stay true for it.
    bool textStarted_ = false;
    const XkbCharacterTable* table_ = nullptr;  // the layout's, as read at the text's start
    std::optional<bool> capsLock_;
    std::optional<bool> numLock_;
};

}  // namespace scalino
