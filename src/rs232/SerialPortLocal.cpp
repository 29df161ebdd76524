#include "rs232/SerialPortLocal.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <mutex>
#include <optional>
#include <thread>

#include "rs232/NativeHandleMutex.h"
#include "rs232/PortList.h"
#include "rs232/SerialExceptions.h"

namespace scalino {
namespace {

// Tells the registered callback of every plug and unplug the driver reports.
class NotificationRelay : public DeviceNotificationCallback {
public:
    void deviceNotification() override;
    DeviceNotificationCallback* callback = nullptr;
};

// The class-wide state of the serial library.
struct Library {
    std::mutex mutex;
    std::shared_ptr<NativeDriver> driver;
    std::FILE* out = stdout;
    std::once_flag identified;
    PlatformInfo platform;
    PortList ports;
    NotificationRelay relay;
};

Library& library() {
    static Library instance;
    return instance;
}

void NotificationRelay::deviceNotification() {
    std::fprintf(library().out, "Rs232.deviceNotification\n");
    std::fflush(library().out);
    if (callback != nullptr) callback->deviceNotification();
}

// Marks the linked-in driver as the loaded library, or says why there is none.
void loadLibrary(Library& lib) {
    if (lib.driver) {
        lib.platform.rsLibLoaded = true;
        std::fprintf(lib.out, "SerialPort class loaded: %s\n", lib.platform.rsLib.c_str());
    } else {
        std::fprintf(lib.out,
                     "no serial driver is linked into this program: Check that native library %s "
                     "is in proper directory\n",
                     lib.platform.rsLib.c_str());
    }
    std::fflush(lib.out);
}

std::shared_ptr<NativeDriver> classDriver() {
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    return lib.driver;
}

std::string openCodeText(int code) {
    switch (code) {
        case NativeDriver::kAlreadyOpen: return "Port is already open";
        case NativeDriver::kInUse: return "Port is in use";
        case NativeDriver::kNotValid: return "Port not valid";
        case NativeDriver::kNoSuchDevice: return "2: No such device";
        case NativeDriver::kPermissionDenied: return "Permission denied";
        case NativeDriver::kDeviceBusy: return "Device busy";
        case NativeDriver::kNoSuchDeviceNode: return "19: No such device";
        default: return ": " + std::to_string(code);
    }
}

}  // namespace

// ---- class-wide ----

void SerialPortLocal::setNativeDriver(std::shared_ptr<NativeDriver> driver) {
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    lib.driver = std::move(driver);
    lib.platform.rsLibLoaded = lib.platform.rsLibLoaded || lib.driver != nullptr;
}

void SerialPortLocal::setDiagnosticOutput(std::FILE* out) {
    library().out = out;
}

const PlatformInfo& SerialPortLocal::platform() {
    Library& lib = library();
    std::call_once(lib.identified, [&lib] {
        lib.platform = PlatformInfo::identify(lib.out);
        std::lock_guard lock(lib.mutex);
        loadLibrary(lib);
    });
    return lib.platform;
}

std::vector<std::string> SerialPortLocal::getPortList() {
    const PlatformInfo& info = platform();
    return library().ports.getPortList(classDriver().get(), info, library().out);
}

std::vector<std::string> SerialPortLocal::portList() {
    platform();
    return library().ports.portList();
}

void SerialPortLocal::addPortName(const std::string& name) {
    platform();
    library().ports.addPortName(name);
}

void SerialPortLocal::addPortInfo(const PortDriverInfo& info) {
    platform();
    library().ports.addPortInfo(info);
}

void SerialPortLocal::clearPortListInfo() {
    platform();
    library().ports.clearPortListInfo();
}

std::vector<PortDriverInfo> SerialPortLocal::getDriverInfoList() {
    return library().ports.getDriverInfoList(platform());
}

int SerialPortLocal::getPortListMode() {
    return library().ports.getPortListMode();
}

void SerialPortLocal::setPortListMode(int mode) {
    library().ports.setPortListMode(mode);
}

void SerialPortLocal::registerDeviceNotification(DeviceNotificationCallback* callback) {
    platform();
    auto driver = classDriver();
    Library& lib = library();
    if (!driver) return;
    if (lib.relay.callback != nullptr) driver->serUnregisterDeviceNotification();
    lib.relay.callback = callback;
    driver->serRegisterDeviceNotification(&lib.relay);
}

void SerialPortLocal::unregisterDeviceNotification() {
    auto driver = classDriver();
    if (driver) driver->serUnregisterDeviceNotification();
    library().relay.callback = nullptr;
}

bool SerialPortLocal::isLibraryLoaded() {
    return platform().rsLibLoaded;
}

int SerialPortLocal::getMaxBitRate() {
    return platform().maxBitRate;
}

std::string SerialPortLocal::getDriverName() {
    return "Not implemented";
}

// ---- construction ----

SerialPortLocal::SerialPortLocal() : driver_(classDriver()), platform_(platform()) {
    if (!platform_.rsLibLoaded) {
        // The driver is linked in: there is nothing to load now if none was installed.
        std::fprintf(library().out, "SerialPortLocal: Attempt to load: %s\n",
                     platform_.rsLib.c_str());
        std::fflush(library().out);
    }
    config_ = SerialConfig(platform_.devName);
}

SerialPortLocal::SerialPortLocal(const SerialConfig& config)
    : SerialPortLocal(config, classDriver(), platform()) {}

SerialPortLocal::SerialPortLocal(const SerialConfig& config, std::shared_ptr<NativeDriver> driver,
                                 PlatformInfo platform)
    : driver_(std::move(driver)), platform_(std::move(platform)), config_(config) {
    if (!driver_)
        throw SerialPortException(config_.getPortNameString() + ": no serial driver is available");
    open();
}

SerialPortLocal::~SerialPortLocal() {
    try {
        close();
    } catch (const SerialPortException&) {
        // Closing a port whose device is gone can fail; nothing is left to release then.
    }
}

// ---- open, configure, close ----

void SerialPortLocal::open() {
    if (platform_.osName != "Windows 95") config_.setHardFlow(false);
    int code;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        code = driver_->serOpenPort(config_);
    }
    if (code != 0) throw SerialPortException(openFailure(code));
    isOpen_ = true;
    wrSinceTxBufEmpty_ = rdSinceRxBufCheck_ = false;
    handle_ = config_.getPort() - 1;
    try {
        configure(config_);
    } catch (const SerialPortException&) {
        // A port that cannot take its settings is not left open behind the caller's back.
        close();
        throw;
    }
    if (platform_.osName == "Mac OS") {
        setTimeoutRx(2000);
        setTimeoutTx(2000);
    } else {
        setTimeoutRx(0);
        if (platform_.flags.supSetTimeoutTx) setTransmitTimeout();
    }
}

std::string SerialPortLocal::openFailure(int code) const {
    std::string message =
        config_.getPortNameString() + ": SerOpenPort failed: " + openCodeText(code);
    const std::string hint = driver_->serOpenFailureHint(config_, code);
    if (!hint.empty()) message += ". " + hint;
    return message;
}

void SerialPortLocal::setTransmitTimeout() {
    const long long bitsPerSecond = config_.getBitRateNumber(config_.getBitRate());
    if (bitsPerSecond / 10 <= 0) return;
    const long long timeout =
        ((config_.getTxLen() * (1000000 / (bitsPerSecond / 10))) / 1000) * 100;
    setTimeoutTx(static_cast<int>(std::min<long long>(timeout, INT_MAX)));
}

void SerialPortLocal::configure(const SerialConfig& config) {
    configureNotice_.clear();
    if (!isOpen_) throw SerialPortException("configure: Port is not open");
    SerialConfig settings = config;
    if (!platform_.flags.supNoIndexBitRate) {
        const int index = SerialConfig::getBitRateIndex(settings.getBitRate());
        if (index >= 0) {
            settings.setBitRate(index);
        } else if (!settings.validBitRateIndex()) {
            throw SerialPortException("Unsupported Serial Port Bit Rate");
        }
    }
    if (!platform_.flags.supParityMarkSpace && settings.getParity() > SerialConfig::PY_EVEN) {
        throw SerialPortException("Unsupported Mark/Space parity\r\n");
    }
    int result;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        result = driver_->serConfigure(settings);
        if (result == 0) configureNotice_ = driver_->serConfigureNotice(handle_);
    }
    if (result != 0) {
        const std::string reason = driver_->serLastError(handle_);
        throw SerialPortException("Configure failed: " + std::to_string(result) +
                                  (reason.empty() ? "" : " (" + reason + ")"));
    }
    config_ = settings;
}

void SerialPortLocal::close() {
    wrSinceTxBufEmpty_ = rdSinceRxBufCheck_ = false;
    if (!isOpen_) return;
    isOpen_ = false;
    int result;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        result = driver_->serClosePort(handle_);
    }
    handle_ = -1;
    if (result != 0) throw SerialPortException("ClosePort failed");
}

void SerialPortLocal::reset() {
    if (!isOpen_) throw SerialPortException("reset: Port is not open");
    const int timeoutTx = driver_->serGetTimeoutTx(handle_);
    int code;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        driver_->serClosePort(handle_);
        code = driver_->serOpenPort(config_);
    }
    if (code != 0) {
        isOpen_ = false;
        handle_ = -1;
        throw SerialPortException("reset: SerOpenPort failed: " + std::to_string(code));
    }
    handle_ = config_.getPort() - 1;
    driver_->serSetTimeoutTx(handle_, timeoutTx);
    timeoutRx_ = driver_->serGetTimeoutRx(handle_);
    configure(config_);
}

void SerialPortLocal::resetPortDriver() {
    requireSupported(platform_.flags.supDriverInfo, "resetPortDriver");
    if (handle_ >= 0) throw SerialPortException("resetPortDriver: Port must be closed");
    int result;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        result = driver_->serResetPortDriver(handle_);
    }
    if (result != 0)
        throw SerialPortException("Reset port driver failed: " + std::to_string(result));
}

// ---- guards ----

void SerialPortLocal::requireSupported(bool supported, std::string_view operation) const {
    if (!supported) {
        throw SerialPortException(std::string(operation) + " not supported on " + platform_.osName);
    }
}

void SerialPortLocal::requireOpen(std::string_view message) const {
    if (handle_ < 0) throw SerialPortException(std::string(message));
}

int SerialPortLocal::checked(int result, std::string_view failedMessage) const {
    if (result == NativeDriver::kFailure) {
        const std::string reason = driver_->serLastError(handle_);
        throw SerialPortException(std::string(failedMessage) +
                                  (reason.empty() ? "" : ": " + reason));
    }
    return result;
}

int SerialPortLocal::getLibVer() {
    return driver_->serGetLibVer();
}

bool SerialPortLocal::isSupported(std::string_view featureKey) const {
    return platform_.isSupported(featureKey);
}

// ---- reading and writing ----

bool SerialPortLocal::awaitEmulated(int wanted) {
    if (!platform_.emulateGetDataTimeout || timeoutRx_ <= 0) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutRx_);
    // A failing count ends the wait: the read then reports the failure.
    for (int waiting; (waiting = driver_->serRxReadyCount(handle_)) >= 0 && waiting < wanted;) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int SerialPortLocal::getByte() {
    if (!awaitEmulated(1)) return NativeDriver::kNoByte;
    rdSinceRxBufCheck_ = true;
    const int result = driver_->serGetByte(handle_);
    if (result == NativeDriver::kFailed) {
        throw SerialPortException("getByte failed: " + driver_->serLastError(handle_));
    }
    return result;
}

int SerialPortLocal::getData(std::span<std::uint8_t> buffer) {
    return getData(buffer, 0, static_cast<int>(buffer.size()));
}

int SerialPortLocal::getData(std::span<std::uint8_t> buffer, int offset, int count) {
    // Never past the end of the buffer, whatever offset and count say.
    if (offset < 0 || count < 0 || offset > static_cast<int>(buffer.size())) {
        throw SerialPortException("getData: count out of bounds");
    }
    const int wanted = std::min(count, static_cast<int>(buffer.size()) - offset);
    if (!awaitEmulated(wanted)) return 0;
    rdSinceRxBufCheck_ = true;
    const int received = driver_->serGetData(handle_, buffer.data() + offset, wanted);
    if (received == NativeDriver::kFailure) throw SerialPortException("getData: failed");
    return received;
}

void SerialPortLocal::putByte(std::uint8_t byte) {
    wrSinceTxBufEmpty_ = true;
    const int result = driver_->serPutByte(handle_, byte);
    if (result != 0) throw SerialPortException("PutByte failed: " + std::to_string(result));
}

namespace {
std::string sentOnly(std::string_view prefix, int sent, int count) {
    return std::string(prefix) + std::to_string(sent) + " of " + std::to_string(count) + " bytes";
}
}  // namespace

void SerialPortLocal::putData(std::span<const std::uint8_t> buffer) {
    if (buffer.empty()) return;
    wrSinceTxBufEmpty_ = true;
    const int count = static_cast<int>(buffer.size());
    const int sent = driver_->serPutData(handle_, buffer.data(), count);
    if (sent != count) throw SerialPortException(sentOnly("PutData1: Sent only ", sent, count));
}

void SerialPortLocal::putData(std::span<const std::uint8_t> buffer, int count) {
    if (count < 0 || static_cast<int>(buffer.size()) < count) {
        throw SerialPortException("putData: count out of bounds");
    }
    wrSinceTxBufEmpty_ = true;
    const int sent = count == 0 ? 0 : driver_->serPutData(handle_, buffer.data(), count);
    if (sent != count) throw SerialPortException(sentOnly("PutData2: Sent only ", sent, count));
}

void SerialPortLocal::putData(std::span<const std::uint8_t> buffer, int offset, int count) {
    if (offset < 0 || count < 0 ||
        static_cast<size_t>(offset) + static_cast<size_t>(count) > buffer.size()) {
        throw SerialPortException("putData3: count out of bounds");
    }
    wrSinceTxBufEmpty_ = true;
    const int sent = count == 0 ? 0 : driver_->serPutData(handle_, buffer.data() + offset, count);
    if (sent != count) throw SerialPortException(sentOnly("putData3: Sent only ", sent, count));
}

void SerialPortLocal::putString(std::string_view text) {
    if (text.empty()) return;
    wrSinceTxBufEmpty_ = true;
    const int count = static_cast<int>(text.size());
    const int sent =
        driver_->serPutData(handle_, reinterpret_cast<const std::uint8_t*>(text.data()), count);
    if (sent != count) throw SerialPortException(sentOnly("PutString: sent only ", sent, count));
}

// ---- buffers and status ----

int SerialPortLocal::rxReadyCount() {
    requireSupported(platform_.flags.supRxReadyCount, "rxReadyCount");
    const int count = driver_->serRxReadyCount(handle_);
    if (count != NativeDriver::kFailure) return count;
    if (esh_ != nullptr) {
        esh_->sioErrorEvent(RXREADYCOUNT);
        return -1;
    }
    throw SerialPortException("rxReadyCount failed");
}

int SerialPortLocal::txBufCount() {
    requireSupported(platform_.flags.supTxBufCount, "txBufCount");
    requireOpen("txBufCount: Port not open");
    return checked(driver_->serTxBufCount(handle_), "txBufCount failed");
}

void SerialPortLocal::rxFlush() {
    checked(driver_->serRxFlush(handle_), "rxFlush failed");
}

void SerialPortLocal::txFlush() {
    checked(driver_->serTxFlush(handle_), "txFlush failed");
}

void SerialPortLocal::txDrain() {
    checked(driver_->serTxDrain(handle_), "txDrain failed");
}

bool SerialPortLocal::rxOverflow() {
    requireSupported(platform_.flags.supRxOverflow, "rxOverflow");
    requireOpen("rxOverflow: Port not open");
    return checked(driver_->serRxOverflow(handle_), "rxOverflow failed") == 1;
}

void SerialPortLocal::sendBreak(int duration) {
    requireSupported(platform_.flags.supSendBreak, "sendBreak");
    requireOpen("sendBreak: Port not open");
    checked(driver_->serSendBreak(handle_, duration), "sendBreak failed");
}

void SerialPortLocal::setRTS(bool on) {
    requireSupported(platform_.flags.supSetRTS, "setRts");
    requireOpen("setRTS: Port not open");
    checked(driver_->serSetRTS(handle_, on), "setRTS failed");
}

void SerialPortLocal::setDTR(bool on) {
    requireSupported(platform_.flags.supSetDTR, "setDTR");
    requireOpen("setDTR: Port not open");
    checked(driver_->serSetDTR(handle_, on), "setDTR failed");
}

bool SerialPortLocal::sigCTS() {
    requireOpen("sigCTS: Port not open");
    return checked(driver_->serSigCTS(handle_), "sigCTS failed") == 1;
}

bool SerialPortLocal::sigDSR() {
    requireOpen("sigDSR: Port not open");
    return checked(driver_->serSigDSR(handle_), "sigDSR failed") == 1;
}

bool SerialPortLocal::sigCD() {
    requireSupported(platform_.flags.supSigCD, "sigCD");
    requireOpen("sigCD: Port not open");
    return checked(driver_->serSigCD(handle_), "sigCD failed") == 1;
}

bool SerialPortLocal::sigFrameErr() {
    requireSupported(platform_.flags.supSigFrameErr, "sigFrameErr");
    requireOpen("sigFrameErr: Port not open");
    return checked(driver_->serSigFrameErr(handle_), "sigFrameErr failed") == 1;
}

bool SerialPortLocal::sigOverrun() {
    requireSupported(platform_.flags.supSigOverrun, "sigOverrun");
    requireOpen("sigOverrun: Port not open");
    return checked(driver_->serSigOverrun(handle_), "sigOverrun failed") == 1;
}

bool SerialPortLocal::sigParityErr() {
    requireSupported(platform_.flags.supSigParityErr, "sigParityErr");
    requireOpen("sigParityErr: Port not open");
    return driver_->serSigParityErr(handle_) == 1;
}

bool SerialPortLocal::sigBreak() {
    requireSupported(platform_.flags.supSigBreak, "sigBreak");
    requireOpen("sigBreak: Port not open");
    return driver_->serSigBreak(handle_) == 1;
}

bool SerialPortLocal::sigRing() {
    requireSupported(platform_.flags.supSigRing, "sigRing");
    requireOpen("sigRing: Port not open");
    return driver_->serSigRing(handle_) == 1;
}

void SerialPortLocal::setTimeoutRx(int timeout) {
    checked(driver_->serSetTimeoutRx(handle_, timeout), "setTimeoutRx failed");
    timeoutRx_ = timeout;
}

void SerialPortLocal::setTimeoutTx(int timeout) {
    checked(driver_->serSetTimeoutTx(handle_, timeout), "setTimeoutTx failed");
}

int SerialPortLocal::getTimeoutRx() {
    return driver_->serGetTimeoutRx(handle_);
}

int SerialPortLocal::getTimeoutTx() {
    return driver_->serGetTimeoutTx(handle_);
}

void SerialPortLocal::setPowerMode(int) {
    requireSupported(platform_.flags.supSetPowerMode, "setPowerMode");
    throw SerialPortException("setPowerMode failed: -1");
}

int SerialPortLocal::getPowerMode() {
    requireSupported(platform_.flags.supSetPowerMode, "getPowerMode");
    throw SerialPortException("getPowerMode failed: -1");
}

int SerialPortLocal::getStatusAPM() {
    requireSupported(platform_.flags.supGetStatusAPM, "getStatusAPM");
    return -1;
}

int SerialPortLocal::getResumeState() {
    requireSupported(platform_.flags.supGetResumeState, "getResumeState");
    return -1;
}

void SerialPortLocal::setInstanceLock(bool) {
    requireSupported(platform_.flags.supInstanceLock, "setInstanceLock");
}

bool SerialPortLocal::getInstanceLock() {
    requireSupported(platform_.flags.supInstanceLock, "getInstanceLock");
    return false;
}

NativeDriver::WaitResult SerialPortLocal::waitForInput(int timeout, std::stop_token stop) {
    if (handle_ < 0) return NativeDriver::WaitResult::Failed;
    std::stop_callback interrupt(stop, [this] { driver_->serInterruptWait(handle_); });
    if (stop.stop_requested()) return NativeDriver::WaitResult::Interrupted;
    return driver_->serWaitForInput(handle_, timeout);
}

}  // namespace scalino
