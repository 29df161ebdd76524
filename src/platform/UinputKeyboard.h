#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "platform/PhysicalKeyboard.h"

namespace scalino {

// Keys sent through a virtual keyboard of the kernel's uinput device, which every session sees
// (X11, Wayland, the text console). Caps Lock and NumLock are the LED states the session sets
// on the device, read as they come back.
class UinputKeyboard : public PhysicalKeyboard {
public:
    static constexpr const char* kDevicePath = "/dev/uinput";
    // A new device is ignored until the session has taken it up.
    static constexpr std::chrono::milliseconds kSettlingTime{500};

    // Creates the virtual keyboard; throws KeyEventError saying how to get access when the
    // device cannot be opened.
    static std::unique_ptr<UinputKeyboard> create(
        const std::string& path = kDevicePath,
        std::chrono::milliseconds settlingTime = kSettlingTime);
    // Writes the events to fd and reads LED events from it; takes fd over. destroy: fd is a
    // uinput device to be destroyed on close.
    UinputKeyboard(int fd, bool destroy);
    ~UinputKeyboard() override;
    UinputKeyboard(const UinputKeyboard&) = delete;
    UinputKeyboard& operator=(const UinputKeyboard&) = delete;

    void press(int key) override;
    void release(int key) override;
    bool isLedOn(KeyboardLed led) override;
    std::string method() const override;

private:
    void send(int key, int value);
    void readLedEvents();

    std::mutex mutex_;
    int fd_;
    bool destroy_;
    bool capsLock_ = false;
    bool numLock_ = false;
};

}  // namespace scalino
