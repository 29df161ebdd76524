#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "rs232/SerialConfig.h"

namespace scalino {

// Told when a status query fails and the caller asked not to get an exception.
class ErrorStatusHandler {
public:
    virtual ~ErrorStatusHandler() = default;
    virtual void sioErrorEvent(int event) = 0;
};

// One serial port, whatever the platform. Failures throw SerialPortException with the
// operation's message.
class SerialPort {
public:
    // Event given to the error status handler when the receive count cannot be read.
    static constexpr int RXREADYCOUNT = 10;

    virtual ~SerialPort() = default;

    virtual void close() = 0;
    virtual void configure(const SerialConfig& config) = 0;
    virtual const SerialConfig& getConfig() const = 0;
    virtual void setConfig(const SerialConfig& config) = 0;
    virtual const std::string& getName() const = 0;
    virtual void setName(std::string name) = 0;
    virtual int getPortNum() const = 0;
    virtual int getLibVer() = 0;
    virtual bool isSupported(std::string_view featureKey) const = 0;

    // A byte 0..255, or -1 when none arrived.
    virtual int getByte() = 0;
    virtual int getData(std::span<std::uint8_t> buffer) = 0;
    virtual int getData(std::span<std::uint8_t> buffer, int offset, int count) = 0;
    virtual void putByte(std::uint8_t byte) = 0;
    virtual void putData(std::span<const std::uint8_t> buffer) = 0;
    virtual void putData(std::span<const std::uint8_t> buffer, int count) = 0;
    virtual void putData(std::span<const std::uint8_t> buffer, int offset, int count) = 0;
    virtual void putString(std::string_view text) = 0;

    virtual int rxReadyCount() = 0;
    virtual int txBufCount() = 0;
    virtual void rxFlush() = 0;
    virtual void txFlush() = 0;
    virtual void txDrain() = 0;
    virtual bool rxOverflow() = 0;
    virtual void sendBreak(int duration) = 0;

    virtual void setRTS(bool on) = 0;
    virtual void setDTR(bool on) = 0;
    virtual bool sigCTS() = 0;
    virtual bool sigDSR() = 0;
    virtual bool sigCD() = 0;
    virtual bool sigRing() = 0;
    virtual bool sigBreak() = 0;
    virtual bool sigFrameErr() = 0;
    virtual bool sigOverrun() = 0;
    virtual bool sigParityErr() = 0;

    virtual void setTimeoutRx(int timeout) = 0;
    virtual void setTimeoutTx(int timeout) = 0;
    virtual int getTimeoutRx() = 0;
    virtual int getTimeoutTx() = 0;
};

}  // namespace scalino
