#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>
#include <utility>

#include "support/FakeDriver.h"

namespace scalino::test {

// Hands out scripted bytes; a byte may carry a parity or framing fault, reported by the next
// query as the termios driver does. Waits block until interrupted.
class ScriptedDriver : public FakeDriver {
public:
    enum Fault { None, ParityFault, FramingFault };
    struct Byte {
        int value;
        Fault fault = None;
    };

    void script(std::string_view text, Fault faultOnLast = None) {
        std::lock_guard lock(mutex_);
        for (char c : text)
            bytes_.push_back({static_cast<unsigned char>(c)});
        bytes_.back().fault = faultOnLast;
        wake_.notify_all();
    }

    bool dsr = false, cts = false;
    int modemResult = 0;  // kFailure: a port without modem-control lines

    int serSetRTS(int handle, bool on) override {
        return modemResult < 0 ? modemResult : FakeDriver::serSetRTS(handle, on);
    }
    int serSetDTR(int handle, bool on) override {
        return modemResult < 0 ? modemResult : FakeDriver::serSetDTR(handle, on);
    }

    size_t unreadBytes() {
        std::lock_guard lock(mutex_);
        return bytes_.size();
    }

    // Once the scripted bytes are taken, the port fails as an unplugged adapter does.
    void hangUpAfterScript() {
        std::lock_guard lock(mutex_);
        hangUp_ = true;
        wake_.notify_all();
    }

    int serGetByte(int) override {
        std::lock_guard lock(mutex_);
        if (bytes_.empty()) return hangUp_ ? kFailed : kNoByte;
        const Byte byte = bytes_.front();
        bytes_.pop_front();
        parity_ = byte.fault == ParityFault;
        framing_ = byte.fault == FramingFault;
        return byte.value;
    }
    int serSigParityErr(int) override { return std::exchange(parity_, false) ? 1 : 0; }
    int serSigFrameErr(int) override { return std::exchange(framing_, false) ? 1 : 0; }
    int serSigDSR(int) override { return modemResult < 0 ? modemResult : dsr; }
    int serSigCTS(int) override { return modemResult < 0 ? modemResult : cts; }
    WaitResult serWaitForInput(int, int) override {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return interrupted_ || hangUp_ || !bytes_.empty(); });
        if (!bytes_.empty() || hangUp_) return WaitResult::Ready;
        interrupted_ = false;
        return WaitResult::Interrupted;
    }
    void serInterruptWait(int) override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        wake_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Byte> bytes_;
    bool interrupted_ = false;
    bool hangUp_ = false;
    bool parity_ = false, framing_ = false;
};

}  // namespace scalino::test
