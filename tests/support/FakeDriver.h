#pragma once

#include <map>
#include <string>
#include <vector>

#include "rs232/NativeDriver.h"
#include "util/ProcessProperties.h"

namespace scalino::test {

// A driver whose answers the test sets and whose calls it can read back: for the port
// object's guards, messages and arithmetic, and for what no pseudo-terminal can produce
// (modem lines, parity errors).
class FakeDriver : public NativeDriver {
public:
    int openResult = 0;
    int configureResult = 0;
    int closeResult = 0;
    int statusResult = 0;    // every status and control call
    std::vector<int> bytes;  // what serGetByte hands out, then kNoByte
    int putResult = -1;      // bytes accepted by serPutData; -1: all
    std::string lastError;
    std::string hint;
    std::vector<PortDriverInfo> ports;

    // What the port object asked for.
    std::vector<std::string> calls;
    SerialConfig configured;
    int timeoutRx = -7, timeoutTx = -7;
    int openPorts = 0;

    int serOpenPort(SerialConfig& config) override {
        calls.push_back("open");
        if (openResult != 0) return openResult;
        config.setPortNum(3);
        ++openPorts;
        return 0;
    }
    int serConfigure(const SerialConfig& config) override {
        calls.push_back("configure");
        configured = config;
        return configureResult;
    }
    int serClosePort(int) override {
        calls.push_back("close");
        --openPorts;
        return closeResult;
    }
    int serGetByte(int) override {
        if (bytes.empty()) return kNoByte;
        const int b = bytes.front();
        bytes.erase(bytes.begin());
        return b;
    }
    int serGetData(int, std::uint8_t*, int) override { return statusResult; }
    int serPutByte(int, std::uint8_t) override { return statusResult; }
    int serPutData(int, const std::uint8_t*, int count) override {
        calls.push_back("put " + std::to_string(count));
        return putResult < 0 ? count : putResult;
    }
    int serRxReadyCount(int) override { return statusResult; }
    int serTxBufCount(int) override { return statusResult; }
    int serRxFlush(int) override { return statusResult; }
    int serTxFlush(int) override { return statusResult; }
    int serTxDrain(int) override { return statusResult; }
    int serSetRTS(int, bool on) override { return record(on ? "rts on" : "rts off"); }
    int serSetDTR(int, bool on) override { return record(on ? "dtr on" : "dtr off"); }
    int serSigCTS(int) override { return statusResult; }
    int serSigDSR(int) override { return statusResult; }
    int serSigCD(int) override { return statusResult; }
    int serSigRing(int) override { return statusResult; }
    int serSigBreak(int) override { return statusResult; }
    int serSigFrameErr(int) override { return statusResult; }
    int serSigParityErr(int) override { return statusResult; }
    int serSigOverrun(int) override { return statusResult; }
    int serRxOverflow(int) override { return statusResult; }
    int serSendBreak(int, int) override { return statusResult; }
    int serSetTimeoutRx(int, int timeout) override { return timeoutRx = timeout, 0; }
    int serSetTimeoutTx(int, int timeout) override { return timeoutTx = timeout, 0; }
    int serGetTimeoutRx(int) override { return timeoutRx; }
    int serGetTimeoutTx(int) override { return timeoutTx; }
    void serGetPortList(PortListSink& sink) override {
        for (const auto& info : ports) {
            sink.addPortName(info.getPortName());
            sink.addPortInfo(info);
        }
    }
    int serGetLibVer() override { return 7; }
    int serRegisterDeviceNotification(DeviceNotificationCallback*) override { return 0; }
    int serUnregisterDeviceNotification() override { return 0; }
    int serResetPortDriver(int) override { return statusResult; }
    WaitResult serWaitForInput(int, int) override { return WaitResult::TimedOut; }
    void serInterruptWait(int) override {}
    std::string serLastError(int) override { return lastError; }
    std::string serOpenFailureHint(const SerialConfig&, int) override { return hint; }

private:
    int record(std::string call) {
        calls.push_back(std::move(call));
        return statusResult;
    }
};

// Sets a process-wide property for the life of the object.
class ScopedProperty {
public:
    ScopedProperty(std::string name, const std::string& value) : name_(std::move(name)) {
        ProcessProperties::set(name_, value);
    }
    ~ScopedProperty() { ProcessProperties::clear(name_); }

private:
    std::string name_;
};

}  // namespace scalino::test
