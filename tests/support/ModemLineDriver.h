#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/FakeDriver.h"

namespace scalino::test {

// Ports whose modem-control lines are wired as the test says: what the automatic port
// detection looks at, and what no pseudo-terminal has. Called from a worker thread; the test
// reads the records once the worker is done.
class ModemLineDriver : public FakeDriver {
public:
    enum class Wiring {
        Looped,       // a cable looping DTR to DSR and RTS to CTS
        HeldOn,       // a device holding DSR and CTS on by itself
        DtrToDsr,     // DTR looped to DSR, CTS never on
        RtsToCts,     // RTS looped to CTS, DSR never on
        DsrHeldOn,    // DSR held on, CTS never on
        Nothing,      // no line ever on
        CannotOpen,   // the device is gone
        SetDtrFails,  // no modem-control lines
        CtsFails,     // DTR looped to DSR, CTS cannot be read
    };

    // What happened to one port.
    struct Record {
        int opens = 0;
        int closes = 0;
        bool linesOffAtClose = true;  // DTR and RTS were off at every close
    };

    explicit ModemLineDriver(std::map<std::string, Wiring> wiring) : wiring_(std::move(wiring)) {}

    // Opening the named port waits until release() is called.
    void holdOpening(const std::string& name) {
        std::lock_guard lock(mutex_);
        held_ = name;
    }
    void release() {
        std::lock_guard lock(mutex_);
        held_.clear();
        released_.notify_all();
    }

    Record record(const std::string& name) const {
        std::lock_guard lock(mutex_);
        const auto found = records_.find(name);
        return found == records_.end() ? Record{} : found->second;
    }
    int portsOpen() const {
        std::lock_guard lock(mutex_);
        int open = 0;
        for (const auto& [name, record] : records_)
            open += record.opens - record.closes;
        return open;
    }

    int serOpenPort(SerialConfig& config) override {
        std::unique_lock lock(mutex_);
        const std::string name = config.getPortName();
        released_.wait(lock, [&] { return held_ != name; });
        if (wiring_.at(name) == Wiring::CannotOpen) return kNoSuchDevice;
        names_.push_back(name);
        ports_.push_back({});
        ++records_[name].opens;
        config.setPortNum(static_cast<int>(names_.size()));
        return 0;
    }
    int serClosePort(int handle) override {
        std::lock_guard lock(mutex_);
        const Lines& lines = ports_.at(handle);
        Record& record = records_[names_.at(handle)];
        ++record.closes;
        if (lines.dtr || lines.rts) record.linesOffAtClose = false;
        return 0;
    }
    int serSetDTR(int handle, bool on) override {
        std::lock_guard lock(mutex_);
        if (wiringOf(handle) == Wiring::SetDtrFails) return kFailure;
        ports_.at(handle).dtr = on;
        return 0;
    }
    int serSetRTS(int handle, bool on) override {
        std::lock_guard lock(mutex_);
        ports_.at(handle).rts = on;
        return 0;
    }
    int serSigDSR(int handle) override {
        std::lock_guard lock(mutex_);
        switch (wiringOf(handle)) {
            case Wiring::HeldOn:
            case Wiring::DsrHeldOn: return 1;
            case Wiring::Looped:
            case Wiring::DtrToDsr:
            case Wiring::CtsFails: return ports_.at(handle).dtr;
            default: return 0;
        }
    }
    int serSigCTS(int handle) override {
        std::lock_guard lock(mutex_);
        switch (wiringOf(handle)) {
            case Wiring::HeldOn: return 1;
            case Wiring::Looped:
            case Wiring::RtsToCts: return ports_.at(handle).rts;
            case Wiring::CtsFails: return kFailure;
            default: return 0;
        }
    }
    std::string serLastError(int) override { return "no modem-control lines here"; }

private:
    struct Lines {
        bool dtr = false;
        bool rts = false;
    };

    Wiring wiringOf(int handle) const { return wiring_.at(names_.at(handle)); }

    mutable std::mutex mutex_;
    std::condition_variable released_;
    const std::map<std::string, Wiring> wiring_;
    std::string held_;
    std::vector<std::string> names_;  // by handle
    std::vector<Lines> ports_;        // by handle
    std::map<std::string, Record> records_;
};

}  // namespace scalino::test
