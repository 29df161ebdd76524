#pragma once

#include <cstdint>
#include <string>

#include "rs232/PortDriverInfo.h"
#include "rs232/SerialConfig.h"

namespace scalino {

// Where the driver reports the ports it discovers.
class PortListSink {
public:
    virtual ~PortListSink() = default;
    virtual void addPortName(const std::string& name) = 0;
    virtual void addPortInfo(const PortDriverInfo& info) = 0;
};

// Told when a serial device is plugged in or removed.
class DeviceNotificationCallback {
public:
    virtual ~DeviceNotificationCallback() = default;
    virtual void deviceNotification() = 0;
};

// The native serial operations one platform supplies. The port object reaches the hardware
// only through these; tests substitute a fake. A handle is the 0-based index of an open port
// (the port number the driver stores into the configuration, minus one).
class NativeDriver {
public:
    // Results of serGetByte besides a byte 0..255.
    static constexpr int kNoByte = -1;  // nothing arrived within the receive time-out
    static constexpr int kFailed = -2;  // the port failed (for example the adapter was unplugged)
    // The universal failure value of the status, control and transfer calls.
    static constexpr int kFailure = -1;

    // serOpenPort results besides 0.
    static constexpr int kAlreadyOpen = 1000, kInUse = 1002, kNotValid = 1003, kNoSuchDevice = 1004,
                         kPermissionDenied = 1006, kDeviceBusy = 1007, kNoSuchDeviceNode = 1008;

    enum class WaitResult { Ready, TimedOut, Interrupted, Failed };

    virtual ~NativeDriver() = default;

    // Opens the device named by the configuration and stores its 1-based port number there.
    virtual int serOpenPort(SerialConfig& config) = 0;
    // Applies the line settings; the bit rate is an index 0..14, or a raw rate above 30.
    virtual int serConfigure(const SerialConfig& config) = 0;
    // What the last successful serConfigure of the handle could not apply although the port
    // works on (a virtual port has no framing to set), in words for the user; empty when
    // everything took.
    virtual std::string serConfigureNotice(int /*handle*/) { return {}; }
    virtual int serClosePort(int handle) = 0;

    virtual int serGetByte(int handle) = 0;
    // Bytes stored at the start of buffer (0..count), or kFailure.
    virtual int serGetData(int handle, std::uint8_t* buffer, int count) = 0;
    virtual int serPutByte(int handle, std::uint8_t byte) = 0;
    // Bytes accepted; fewer than count is a failure.
    virtual int serPutData(int handle, const std::uint8_t* buffer, int count) = 0;

    virtual int serRxReadyCount(int handle) = 0;
    virtual int serTxBufCount(int handle) = 0;
    virtual int serRxFlush(int handle) = 0;
    virtual int serTxFlush(int handle) = 0;
    virtual int serTxDrain(int handle) = 0;

    virtual int serSetRTS(int handle, bool on) = 0;
    virtual int serSetDTR(int handle, bool on) = 0;
    // 1 asserted or occurred, 0 not, kFailure.
    virtual int serSigCTS(int handle) = 0;
    virtual int serSigDSR(int handle) = 0;
    virtual int serSigCD(int handle) = 0;
    virtual int serSigRing(int handle) = 0;
    virtual int serSigBreak(int handle) = 0;
    // Parity and framing errors: 1 once when seen since the last query.
    virtual int serSigFrameErr(int handle) = 0;
    virtual int serSigParityErr(int handle) = 0;
    virtual int serSigOverrun(int handle) = 0;
    virtual int serRxOverflow(int handle) = 0;
    // Duration in milliseconds.
    virtual int serSendBreak(int handle, int duration) = 0;

    // Time-outs in milliseconds; a receive time-out of 0 makes reads return at once.
    virtual int serSetTimeoutRx(int handle, int timeout) = 0;
    virtual int serSetTimeoutTx(int handle, int timeout) = 0;
    virtual int serGetTimeoutRx(int handle) = 0;
    virtual int serGetTimeoutTx(int handle) = 0;

    virtual void serGetPortList(PortListSink& sink) = 0;
    virtual int serGetLibVer() = 0;
    virtual int serRegisterDeviceNotification(DeviceNotificationCallback* callback) = 0;
    virtual int serUnregisterDeviceNotification() = 0;
    virtual int serResetPortDriver(int handle) = 0;

    // Waits until a byte can be read, the port fails, serInterruptWait is called for the
    // handle, or the time-out (milliseconds, negative: none) passes; without spinning.
    virtual WaitResult serWaitForInput(int handle, int timeout) = 0;
    // Ends a serWaitForInput in progress on another thread (or the next one) with Interrupted.
    virtual void serInterruptWait(int handle) = 0;

    // Why the last call on the handle failed, in words for the user; empty when unknown.
    virtual std::string serLastError(int handle) = 0;
    // Advice for an open failure (for example how to get access to a port), or empty.
    virtual std::string serOpenFailureHint(const SerialConfig& config, int code) = 0;
};

}  // namespace scalino
