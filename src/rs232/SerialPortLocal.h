#pragma once

#include <cstdio>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "rs232/NativeDriver.h"
#include "rs232/PlatformInfo.h"
#include "rs232/PortDriverInfo.h"
#include "rs232/SerialPort.h"

namespace scalino {

// A serial port on this computer: forwards every operation to the native driver, after
// checking that the platform supports it and that the port is open, and turns the driver's
// failure values into SerialPortException with a fixed message. Class-wide, it holds the
// platform identification, the driver and the port list of the process.
class SerialPortLocal : public SerialPort {
public:
    // Class-wide set-up, before the first port or port list is used: the linked-in driver,
    // and where the library's notices go (standard output unless told otherwise).
    static void setNativeDriver(std::shared_ptr<NativeDriver> driver);
    static void setDiagnosticOutput(std::FILE* out);
    // The platform as identified on first use (banner printed then).
    static const PlatformInfo& platform();

    // Class-wide services.
    static std::vector<std::string> getPortList();
    static std::vector<std::string> portList();  // discovery order, as the detection walks it
    static void addPortName(const std::string& name);
    static void addPortInfo(const PortDriverInfo& info);
    static void clearPortListInfo();
    static std::vector<PortDriverInfo> getDriverInfoList();
    static int getPortListMode();
    static void setPortListMode(int mode);
    static void registerDeviceNotification(DeviceNotificationCallback* callback);
    static void unregisterDeviceNotification();
    static bool isLibraryLoaded();
    static int getBuildNum() { return PlatformInfo::kBuildNum; }
    static int getMaxBitRate();
    // The driver's own name where the platform has one to give.
    static std::string getDriverName();

    // A closed port on the platform's default device.
    SerialPortLocal();
    // Opens the port at once; throws SerialPortException when it cannot be opened.
    explicit SerialPortLocal(const SerialConfig& config);
    // The same with a given driver and platform, for tests and tools.
    SerialPortLocal(const SerialConfig& config, std::shared_ptr<NativeDriver> driver,
                    PlatformInfo platform);
    ~SerialPortLocal() override;
    SerialPortLocal(const SerialPortLocal&) = delete;
    SerialPortLocal& operator=(const SerialPortLocal&) = delete;

    void open();
    void close() override;
    void configure(const SerialConfig& config) override;
    void configure() { configure(config_); }
    // What the last configure could not apply although the port works on (framing on a
    // virtual port), for the log; empty when everything took.
    const std::string& getConfigureNotice() const { return configureNotice_; }
    void reset();
    void resetPortDriver();

    const SerialConfig& getConfig() const override { return config_; }
    void setConfig(const SerialConfig& config) override { config_ = config; }
    const std::string& getName() const override { return name_; }
    void setName(std::string name) override { name_ = std::move(name); }
    int getPortNum() const override { return handle_; }
    bool isOpen() const { return isOpen_; }
    int getBitRate() const { return config_.getBitRate(); }
    int getDataBits() const { return config_.getDataBits(); }
    int getParity() const { return config_.getParity(); }
    int getStopBits() const { return config_.getStopBits(); }
    int getHandshake() const { return config_.getHandshake(); }
    std::string getPortName() const { return config_.getPortName(); }
    std::string getDevName() const { return config_.getPortName(); }
    int getLibVer() override;
    bool isSupported(std::string_view featureKey) const override;
    void setErrorStatusHandler(ErrorStatusHandler* handler) { esh_ = handler; }
    bool readSinceRxBufCheck() const { return rdSinceRxBufCheck_; }
    void clearReadSinceRxBufCheck() { rdSinceRxBufCheck_ = false; }
    bool sendSinceTxBufEmpty() const { return wrSinceTxBufEmpty_; }
    void clearSendSinceTxBufEmpty() { wrSinceTxBufEmpty_ = false; }

    int getByte() override;
    int getData(std::span<std::uint8_t> buffer) override;
    int getData(std::span<std::uint8_t> buffer, int offset, int count) override;
    void putByte(std::uint8_t byte) override;
    void putData(std::span<const std::uint8_t> buffer) override;
    void putData(std::span<const std::uint8_t> buffer, int count) override;
    void putData(std::span<const std::uint8_t> buffer, int offset, int count) override;
    void putString(std::string_view text) override;

    int rxReadyCount() override;
    int txBufCount() override;
    void rxFlush() override;
    void txFlush() override;
    void txDrain() override;
    bool rxOverflow() override;
    void sendBreak(int duration) override;

    void setRTS(bool on) override;
    void setDTR(bool on) override;
    bool sigCTS() override;
    bool sigDSR() override;
    bool sigCD() override;
    bool sigRing() override;
    bool sigBreak() override;
    bool sigFrameErr() override;
    bool sigOverrun() override;
    bool sigParityErr() override;

    void setTimeoutRx(int timeout) override;
    void setTimeoutTx(int timeout) override;
    int getTimeoutRx() override;
    int getTimeoutTx() override;

    // Power management and the cross-process lock of handheld platforms; no driver here has
    // them, so past their capability checks they fail.
    void setPowerMode(int mode);
    int getPowerMode();
    int getStatusAPM();
    int getResumeState();
    void setInstanceLock(bool locked);
    bool getInstanceLock();

    // Waits until a byte can be read, the port fails or stop is requested, at most timeout
    // milliseconds (negative: no limit), without spinning.
    NativeDriver::WaitResult waitForInput(int timeout, std::stop_token stop);

private:
    void requireSupported(bool supported, std::string_view operation) const;
    void requireOpen(std::string_view message) const;
    // The driver result of a status call, or the failed message when it is the failure value.
    int checked(int result, std::string_view failedMessage) const;
    std::string openFailure(int code) const;
    // Waits for wanted bytes where reads do not time out by themselves; false at the
    // receive time-out.
    bool awaitEmulated(int wanted);
    void setTransmitTimeout();

    std::shared_ptr<NativeDriver> driver_;
    PlatformInfo platform_;
    int handle_ = -1;
    std::string name_ = "Serial Port";
    SerialConfig config_;
    bool isOpen_ = false;
    ErrorStatusHandler* esh_ = nullptr;
    bool wrSinceTxBufEmpty_ = false;
    bool rdSinceRxBufCheck_ = false;
    int timeoutRx_ = 0;  // as last set, so that reads need not ask the driver
    std::string configureNotice_;
};

}  // namespace scalino
