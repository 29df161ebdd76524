#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/PortDiscovery.h"
#include "rs232/NativeDriver.h"

namespace scalino {

// The serial driver of Linux, on termios. Port names are device paths (/dev/ttyUSB0 or a
// /dev/serial/by-id/... link); a handle is the index of a slot of the driver's port table.
//
// Received data is read in chunks and decoded from the PARMRK form into a buffer per port,
// so parity and framing errors and breaks are reported with the byte they belong to: a flag
// is raised when that byte is handed out by serGetByte or serGetData.
//
// Threads: open, close and configure come one at a time (the caller serialises them); the data
// and status calls of one port run on one thread at a time, while another thread may open or
// close other ports or call serInterruptWait. Slots are never freed before the driver, so a
// handle always names valid memory.
//
// serLastError of a handle that was never opened (for example -1) tells why the last
// serOpenPort failed.
class TermiosDriver final : public NativeDriver {
public:
    static constexpr int kLibVersion = 100;
    static constexpr int kMaxPorts = 256;

    explicit TermiosDriver(std::unique_ptr<PortDiscovery> discovery = nullptr);
    ~TermiosDriver() override;
    TermiosDriver(const TermiosDriver&) = delete;
    TermiosDriver& operator=(const TermiosDriver&) = delete;

    int serOpenPort(SerialConfig& config) override;
    // Framing that a pseudo-terminal does not keep is no failure there: see serConfigureNotice.
    int serConfigure(const SerialConfig& config) override;
    std::string serConfigureNotice(int handle) override;
    int serClosePort(int handle) override;

    int serGetByte(int handle) override;
    int serGetData(int handle, std::uint8_t* buffer, int count) override;
    // 0 when the byte was accepted, kFailure otherwise.
    int serPutByte(int handle, std::uint8_t byte) override;
    // Waits up to the transmit time-out for room; a time-out of 0 waits as long as it takes.
    int serPutData(int handle, const std::uint8_t* buffer, int count) override;

    int serRxReadyCount(int handle) override;
    int serTxBufCount(int handle) override;
    int serRxFlush(int handle) override;
    int serTxFlush(int handle) override;
    int serTxDrain(int handle) override;

    int serSetRTS(int handle, bool on) override;
    int serSetDTR(int handle, bool on) override;
    int serSigCTS(int handle) override;
    int serSigDSR(int handle) override;
    int serSigCD(int handle) override;
    int serSigRing(int handle) override;
    int serSigBreak(int handle) override;
    int serSigFrameErr(int handle) override;
    int serSigParityErr(int handle) override;
    int serSigOverrun(int handle) override;
    int serRxOverflow(int handle) override;
    // Holds the break for duration ms; 0 or less sends the standard break.
    int serSendBreak(int handle, int duration) override;

    int serSetTimeoutRx(int handle, int timeout) override;
    int serSetTimeoutTx(int handle, int timeout) override;
    int serGetTimeoutRx(int handle) override;
    int serGetTimeoutTx(int handle) override;

    void serGetPortList(PortListSink& sink) override;
    int serGetLibVer() override { return kLibVersion; }
    int serRegisterDeviceNotification(DeviceNotificationCallback* callback) override;
    int serUnregisterDeviceNotification() override;
    int serResetPortDriver(int handle) override;

    WaitResult serWaitForInput(int handle, int timeout) override;
    void serInterruptWait(int handle) override;

    std::string serLastError(int handle) override;
    std::string serOpenFailureHint(const SerialConfig& config, int code) override;

    struct Port;  // one slot; defined in the source file

private:
    Port* openPort(int handle);
    Port* slotFor(int handle) const;
    int freeSlot();
    void setDriverError(std::string text);
    int modemBits(int handle, int bit);
    int setModemBit(int handle, int bit, bool on);
    int flagQuery(int handle, std::atomic<bool> Port::*flag);
    int counterQuery(int handle, bool overrun);

    std::unique_ptr<PortDiscovery> discovery_;
    // Published slot pointers for the data calls; owned_ keeps the objects.
    std::array<std::atomic<Port*>, kMaxPorts> slots_{};
    std::array<std::unique_ptr<Port>, kMaxPorts> owned_;
    std::mutex tableMutex_;
    bool monitoring_ = false;

    std::mutex errorMutex_;
    std::string driverError_;  // why the last open failed
};

}  // namespace scalino
