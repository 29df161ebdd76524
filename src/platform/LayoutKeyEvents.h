#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "config/ConfigHelper.h"
#include "platform/KeyLayout.h"
#include "platform/PhysicalKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

// Key events of the key maps, sent as physical keys of a Linux layout. The key maps follow
// conventions Linux lacks, so three things are emulated here:
//  - Ctrl and Alt held together stand for AltGr: the key pressed then goes with the right Alt
//    key, the only way to level 3 on Linux.
//  - Alt followed by keypad digits types the character of that decimal code (printable ASCII)
//    when Alt is released, through the layout's own key for it.
//  - A dead key of the key maps followed by Space types the dead key's character: through a key
//    that has the character directly where the Linux layout has one (dead keys compose only in
//    clients with an input method), else the Linux dead key and Space. The Space of the key map
//    is never sent on its own then.
// Ctrl and Alt themselves never reach the receiver; a key pressed with only one of them is
// refused. Keypad digits pressed on their own get NumLock, which is restored afterwards.
class LayoutKeyEvents : public KeyEventGenerator {
public:
    // desktopLayout tells the layout of the desktop that receives the keys, as XKB names it, or
    // "" where it is unknown; none: never known.
    LayoutKeyEvents(ConfigHelper::KeyboardType layout, std::unique_ptr<PhysicalKeyboard> keyboard,
                    std::function<std::string()> desktopLayout = {});
    // Releases whatever is still down, so that no key stays stuck in the receiver.
    ~LayoutKeyEvents() override;
    LayoutKeyEvents(const LayoutKeyEvents&) = delete;
    LayoutKeyEvents& operator=(const LayoutKeyEvents&) = delete;

    void keyPress(int keyCode) override;
    void keyRelease(int keyCode) override;
    void delay(int milliseconds) override;
    bool isCapsLockOn() override;
    std::string method() const override { return keyboard_->method(); }
    std::string differingDesktopLayout() override;

    PhysicalKeyboard& keyboard() { return *keyboard_; }

private:
    struct PendingDeadKey {
        int virtualKey;
        bool shift;
        bool altGr;
        char32_t character;
    };

    void addAltCodeDigit(int keyCode);
    bool holdDeadKey(int keyCode);
    bool typeDeadKeyCharacter(int keyCode);
    void pressKey(int keyCode);
    void endAltCode();
    void typeCharacter(char32_t character);
    void typeStroke(const KeyStroke& stroke);
    void sendPendingDeadKey();
    void tap(int key);
    void setShift(bool down);
    void setAltGr(bool down);
    void raiseNumLock();
    void restoreNumLock();
    int physicalKey(int keyCode) const;

    const KeyLayout& layout_;
    std::unique_ptr<PhysicalKeyboard> keyboard_;
    std::function<std::string()> desktopLayout_;
    // What the key maps hold down.
    bool shiftHeld_ = false;
    bool ctrlHeld_ = false;
    bool altHeld_ = false;
    // What the receiver sees held down.
    bool shiftDown_ = false;
    bool altGrDown_ = false;
    std::map<int, int> down_;  // virtual key code to the evdev code pressed for it
    std::set<int> absorbed_;   // keys whose press was not sent: their release is not either
    std::string altCode_;      // keypad digits typed while Alt is held
    std::optional<PendingDeadKey> pendingDeadKey_;
    bool numLockRaised_ = false;
};

}  // namespace scalino
