#include "platform/TermiosDriver.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "platform/FramingCheck.h"
#include "platform/ParityMarkDecoder.h"
#include "platform/SerialAccess.h"
#include "platform/TermiosSpeed.h"

namespace scalino {

struct TermiosDriver::Port {
    Port() : eventFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Port() {
        if (eventFd >= 0) ::close(eventFd);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void setError(std::string text) {
        std::lock_guard lock(errorMutex);
        error = std::move(text);
    }
    void setNotice(std::string text) {
        std::lock_guard lock(errorMutex);
        notice = std::move(text);
    }

    // Set last by open, cleared first by close: a data call that sees it true sees the rest.
    std::atomic<bool> isOpen{false};
    int fd = -1;
    // Lives as long as the slot, so that serInterruptWait racing with a close never writes
    // to a descriptor number the process has meanwhile given to something else.
    const int eventFd;
    std::string path;
    PortKind kind = PortKind::Adapter;
    termios original{};
    int rxTimeout = 0;
    int txTimeout = 0;
    bool failed = false;  // the device is gone (or reading failed for good)
    bool parityEnabled = false;

    ParityMarkDecoder decoder;
    MarkedBuffer input;
    std::array<std::uint8_t, MarkedBuffer::kCapacity> raw{};

    // TIOCGICOUNT: whether the driver keeps counters, the values already accounted for, and
    // the error counts that no marked byte has been matched with yet.
    bool countsErrors = false;
    serial_icounter_struct counted{};
    LineErrorCounts unclaimed;
    std::uint32_t overrunsSeen = 0;
    std::uint32_t bufferOverrunsSeen = 0;

    // Raised when a marked byte is handed out, cleared by the query.
    std::atomic<bool> parityError{false};
    std::atomic<bool> frameError{false};
    std::atomic<bool> breakSeen{false};

    std::mutex errorMutex;
    std::string error;
    std::string notice;  // what the last configure could not apply, when that is harmless
};

namespace {

using Clock = std::chrono::steady_clock;
using Port = TermiosDriver::Port;

constexpr int kPassThroughBase = 1100;  // open failures outside the named codes: errno + 1100

std::string errnoText(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);  // the GNU form returns the text
}

int openErrorCode(int error) {
    switch (error) {
        case ENOENT: return NativeDriver::kNoSuchDevice;
        case ENODEV:
        case ENXIO: return NativeDriver::kNoSuchDeviceNode;
        case EACCES:
        case EPERM: return NativeDriver::kPermissionDenied;
        case EBUSY: return NativeDriver::kInUse;  // TIOCEXCL held by another opener
        case EAGAIN:
        case ETXTBSY: return NativeDriver::kDeviceBusy;
        case ENOTDIR:
        case ELOOP:
        case EISDIR:
        case ENOTTY: return NativeDriver::kNotValid;
        default: return kPassThroughBase + error;
    }
}

bool isGoneErrno(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

std::string disconnectedText(const Port& p) {
    return "the device was disconnected (" + p.path + ")";
}

void makeRaw(termios& t) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CRTSCTS | CMSPAR | PARODD | CSTOPB | CIBAUD);
    // INPCK|PARMRK with IGNPAR, ISTRIP, IGNBRK and BRKINT off is the only mode in which parity
    // errors, framing errors and breaks reach the reader, marked in the data.
    t.c_iflag &= ~(IGNPAR | ISTRIP | IGNBRK | BRKINT | IXON | IXOFF | IXANY | IUCLC);
    t.c_iflag |= INPCK | PARMRK;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

struct Speed {
    int rate;
    speed_t constant;
};

constexpr Speed kStandardSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000}};

// B0 when the rate needs termios2.
speed_t standardSpeed(int rate) {
    for (const Speed& s : kStandardSpeeds) {
        if (s.rate == rate) return s.constant;
    }
    return B0;
}

// The rate in bit/s, or 0 for a code that names none (15..30 are neither index nor rate).
int rateOf(const SerialConfig& config) {
    const int code = config.getBitRate();
    if (code >= 0 && code < static_cast<int>(SerialConfig::bitRateNumbers.size())) {
        return SerialConfig::bitRateNumbers[static_cast<std::size_t>(code)];
    }
    return code > 30 ? code : 0;
}

constexpr tcflag_t kDataBits[] = {CS5, CS6, CS7, CS8};
constexpr tcflag_t kParityMask = PARENB | PARODD | CMSPAR;
constexpr tcflag_t kParity[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                PARENB | CMSPAR};

// Puts the line settings of config into t (the speed only when it is a B-constant). Empty
// when they are fine, otherwise why not.
std::string applyLineSettings(const SerialConfig& config, termios& t) {
    const int rate = rateOf(config);
    if (rate == 0) return "bit rate code " + std::to_string(config.getBitRate()) + " is not valid";
    const int dataBits = config.getDataBits(), parity = config.getParity();
    const int stopBits = config.getStopBits(), handshake = config.getHandshake();
    if (dataBits < 0 || dataBits > 3)
        return "data bits code " + std::to_string(dataBits) + " is not valid";
    if (parity < 0 || parity > 4) return "parity code " + std::to_string(parity) + " is not valid";
    if (stopBits < 0 || stopBits > 1)
        return "stop bits code " + std::to_string(stopBits) + " is not valid";

    t.c_cflag &= ~(CSIZE | kParityMask | CSTOPB | CRTSCTS);
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cflag |= kDataBits[dataBits] | kParity[parity] | (stopBits == 1 ? CSTOPB : 0);

    if (handshake == SerialConfig::HS_DSRDTR) {
        return "DSR/DTR flow control is not available on Linux: its serial drivers offer RTS/CTS "
               "and XON/XOFF only";
    }
    if ((handshake & SerialConfig::HS_SPLIT_MASK) != 0 &&
        (handshake & ~SerialConfig::HS_SPLIT_MASK) == 0) {
        // Linux switches hardware flow control for both directions at once.
        if (handshake & (SerialConfig::HS_HARD_IN | SerialConfig::HS_HARD_OUT))
            t.c_cflag |= CRTSCTS;
        if (handshake & SerialConfig::HS_SOFT_IN) t.c_iflag |= IXOFF;
        if (handshake & SerialConfig::HS_SOFT_OUT) t.c_iflag |= IXON;
    } else if (handshake == SerialConfig::HS_XONXOFF) {
        t.c_iflag |= IXON | IXOFF;
    } else if (handshake == SerialConfig::HS_CTSRTS) {
        t.c_cflag |= CRTSCTS;
    } else if (handshake != SerialConfig::HS_NONE) {
        return "handshake code " + std::to_string(handshake) + " is not valid";
    }
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;

    if (const speed_t constant = standardSpeed(rate); constant != B0) {
        cfsetispeed(&t, constant);
        cfsetospeed(&t, constant);
    }
    return {};
}

// The framing the driver kept. Drivers silently keep what their hardware cannot do.
Framing keptFraming(const termios& got) {
    const tcflag_t size = got.c_cflag & CSIZE;
    const int dataBits = static_cast<int>(
        std::find(std::begin(kDataBits), std::end(kDataBits), size) - std::begin(kDataBits));
    const tcflag_t parityFlags = got.c_cflag & kParityMask;
    // Without PARENB the other parity flags mean nothing.
    const int parity =
        (parityFlags & PARENB) == 0
            ? SerialConfig::PY_NONE
            : static_cast<int>(std::find(std::begin(kParity), std::end(kParity), parityFlags) -
                               std::begin(kParity));
    return {dataBits, parity,
            (got.c_cflag & CSTOPB) != 0 ? SerialConfig::ST_2BITS : SerialConfig::ST_1BITS};
}

// Empty when the port runs close enough to the rate asked, otherwise why not.
std::string rateMismatch(const SerialConfig& config, int gotRate) {
    const int rate = rateOf(config);
    // A UART divides its clock, so a driver may report the nearest rate it can make; within 2 %
    // the link still works (the error budget of asynchronous framing), further off it does not.
    if (gotRate <= 0 || std::abs(static_cast<long long>(gotRate) - rate) * 50 > rate) {
        return "bit rate " + std::to_string(rate) + " is not supported (the port runs at " +
               std::to_string(gotRate) + ")";
    }
    return {};
}

// What is behind the open tty: a pseudo-terminal, or possibly an adapter.
PortKind portKindOfFd(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) ? portKindOf(st.st_rdev)
                                                        : PortKind::Adapter;
}

int remainingMs(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    // Rounded up: a poll that ends a fraction early would only be repeated.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

void drainEventFd(int fd) {
    std::uint64_t count = 0;
    while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

enum class Fill { Data, Nothing, Gone };

Fill markGone(Port& p, int error) {
    p.failed = true;
    p.setError(error == 0 || isGoneErrno(error)
                   ? disconnectedText(p)
                   : "reading from " + p.path + " failed: " + errnoText(error));
    return Fill::Gone;
}

// Reads what has arrived, without waiting. revents is what poll just reported for the port,
// or -1 when it was not asked. With VMIN = VTIME = 0 an idle port and a hung-up one both read
// 0 bytes; only poll tells them apart (POLLHUP, or readable with nothing to read).
Fill readWaiting(Port& p, int revents) {
    for (;;) {
        const std::size_t want = std::min(p.raw.size(), p.input.room());
        const ssize_t n = ::read(p.fd, p.raw.data(), want);
        if (n > 0) {
            p.input.fill(p.decoder, {p.raw.data(), static_cast<std::size_t>(n)});
            // A chunk that is only the start of a marker leaves nothing to hand out yet.
            return p.input.empty() ? Fill::Nothing : Fill::Data;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return markGone(p, errno);
        }
        if (revents < 0) {
            pollfd pfd{p.fd, POLLIN, 0};
            if (::poll(&pfd, 1, 0) < 0) return errno == EINTR ? Fill::Nothing : markGone(p, errno);
            if (pfd.revents == 0) return Fill::Nothing;
            revents = pfd.revents;
            continue;  // read again, now that poll has said what it sees
        }
        if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 ||
            (n == 0 && (revents & POLLIN) != 0)) {
            return markGone(p, 0);
        }
        return Fill::Nothing;
    }
}

// Waits until decoded input is waiting, the device is gone, the wait is interrupted (when
// interruptible) or timeoutMs (negative: no limit) passes. Call with an empty buffer.
NativeDriver::WaitResult awaitInput(Port& p, int timeoutMs, bool interruptible) {
    using WaitResult = NativeDriver::WaitResult;
    const bool unlimited = timeoutMs < 0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        pollfd fds[2] = {{p.fd, POLLIN, 0}, {p.eventFd, POLLIN, 0}};
        const int ready =
            ::poll(fds, interruptible ? 2 : 1, unlimited ? -1 : remainingMs(deadline));
        if (ready < 0) {
            if (errno == EINTR) continue;
            markGone(p, errno);
            return WaitResult::Failed;
        }
        if (ready == 0) return WaitResult::TimedOut;
        if (interruptible && fds[1].revents != 0) {
            drainEventFd(p.eventFd);
            return WaitResult::Interrupted;
        }
        switch (readWaiting(p, fds[0].revents)) {
            case Fill::Data: return WaitResult::Ready;
            case Fill::Gone: return WaitResult::Failed;
            case Fill::Nothing: break;
        }
    }
}

// Why a modem-control call failed, in the words the user needs.
std::string modemErrorText(int error) {
    if (error == ENOTTY || error == EINVAL) {
        return "modem-control lines are not available on this port";
    }
    return "modem-control lines: " + errnoText(error);
}

// Takes the tty for this program alone and puts it into raw mode. 0, or an open code.
int claimTty(int fd, const std::string& path, termios& original, std::string& why) {
    if (!::isatty(fd)) {
        why = path + " is not a serial port";
        return NativeDriver::kNotValid;
    }
    // TIOCEXCL keeps others from opening the tty, but not root; the lock holds for everyone
    // who asks for it, so both are needed.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        why = error == EWOULDBLOCK ? path + " is in use by another program"
                                   : path + ": " + errnoText(error);
        return error == EWOULDBLOCK ? NativeDriver::kInUse : kPassThroughBase + error;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        why = path + ": " + errnoText(error);
        return kPassThroughBase + error;
    }
    termios raw{};
    if (::tcgetattr(fd, &original) == 0) {
        raw = original;
        makeRaw(raw);
        if (::tcsetattr(fd, TCSANOW, &raw) == 0) return 0;
    }
    const int error = errno;
    why = path + ": cannot switch to raw mode: " + errnoText(error);
    ::ioctl(fd, TIOCNXCL);  // ours to clear: set above
    return kPassThroughBase + error;
}

void releaseTty(Port& p) {
    // Both fail once the device is gone, which is harmless.
    ::tcsetattr(p.fd, TCSANOW, &p.original);
    ::ioctl(p.fd, TIOCNXCL);
    ::close(p.fd);
    p.fd = -1;
}

void resetForOpen(Port& p, int fd, const std::string& path, const termios& original) {
    p.fd = fd;
    p.path = path;
    p.kind = portKindOfFd(fd);
    p.original = original;
    p.rxTimeout = 0;
    p.txTimeout = 0;
    p.failed = false;
    p.parityEnabled = false;
    p.decoder.reset();
    p.input.clear();
    p.unclaimed = {};
    p.counted = {};
    p.countsErrors = ::ioctl(fd, TIOCGICOUNT, &p.counted) == 0;
    p.overrunsSeen = static_cast<std::uint32_t>(p.counted.overrun);
    p.bufferOverrunsSeen = static_cast<std::uint32_t>(p.counted.buf_overrun);
    p.parityError = false;
    p.frameError = false;
    p.breakSeen = false;
    drainEventFd(p.eventFd);  // an interrupt meant for the previous connection
    p.setError({});
    p.setNotice({});
}

// Decides what a handed-out marked byte stands for and raises its flag.
void noteMark(Port& p, ByteMark mark) {
    LineErrorCounts* counts = nullptr;
    serial_icounter_struct now{};
    if (p.countsErrors && ::ioctl(p.fd, TIOCGICOUNT, &now) == 0) {
        auto delta = [](int current, int before) {
            return static_cast<std::uint32_t>(current) - static_cast<std::uint32_t>(before);
        };
        p.unclaimed.frame += delta(now.frame, p.counted.frame);
        p.unclaimed.parity += delta(now.parity, p.counted.parity);
        p.unclaimed.brk += delta(now.brk, p.counted.brk);
        p.counted = now;
        counts = &p.unclaimed;
    }
    switch (classifyMark(mark, counts, p.parityEnabled)) {
        case LineError::Parity: p.parityError = true; break;
        case LineError::Framing: p.frameError = true; break;
        case LineError::Break: p.breakSeen = true; break;
    }
}

inline int deliverByte(Port& p) {
    ByteMark mark;
    const std::uint8_t byte = p.input.take(mark);
    if (mark != ByteMark::None) [[unlikely]]
        noteMark(p, mark);
    return byte;
}

std::size_t deliverBytes(Port& p, std::uint8_t* out, std::size_t count) {
    return p.input.take(out, count, [&p](ByteMark mark) { noteMark(p, mark); });
}

// serGetByte once the buffer is empty: one read, then the receive time-out.
int fetchByte(Port& p) {
    if (p.failed) return NativeDriver::kFailed;
    switch (readWaiting(p, -1)) {
        case Fill::Data: return deliverByte(p);
        case Fill::Gone: return NativeDriver::kFailed;
        case Fill::Nothing: break;
    }
    if (p.rxTimeout == 0) return NativeDriver::kNoByte;
    switch (awaitInput(p, p.rxTimeout, false)) {
        case NativeDriver::WaitResult::Ready: return deliverByte(p);
        case NativeDriver::WaitResult::Failed: return NativeDriver::kFailed;
        default: return NativeDriver::kNoByte;
    }
}

}  // namespace

TermiosDriver::TermiosDriver(std::unique_ptr<PortDiscovery> discovery)
    : discovery_(std::move(discovery)) {}

TermiosDriver::~TermiosDriver() {
    if (monitoring_ && discovery_) discovery_->stopMonitoring();
    for (auto& port : owned_) {
        if (port && port->isOpen) {
            port->isOpen = false;
            releaseTty(*port);
        }
    }
}

// ---- slots ----------------------------------------------------------------------------------

TermiosDriver::Port* TermiosDriver::slotFor(int handle) const {
    if (handle < 0 || handle >= kMaxPorts) return nullptr;
    return slots_[static_cast<std::size_t>(handle)].load(std::memory_order_acquire);
}

TermiosDriver::Port* TermiosDriver::openPort(int handle) {
    Port* p = slotFor(handle);
    if (p != nullptr && p->isOpen.load(std::memory_order_acquire)) [[likely]]
        return p;
    if (p != nullptr) {
        p->setError("the port is not open");
    } else {
        setDriverError("no port is open with handle " + std::to_string(handle));
    }
    return nullptr;
}

// The first slot without an open port, its object created on first use; -1 when all are busy.
int TermiosDriver::freeSlot() {
    for (std::size_t i = 0; i < owned_.size(); ++i) {
        if (!owned_[i]) {
            owned_[i] = std::make_unique<Port>();
            slots_[i].store(owned_[i].get(), std::memory_order_release);
        } else if (owned_[i]->isOpen.load(std::memory_order_acquire)) {
            continue;
        }
        return static_cast<int>(i);
    }
    return -1;
}

void TermiosDriver::setDriverError(std::string text) {
    std::lock_guard lock(errorMutex_);
    driverError_ = std::move(text);
}

// ---- open, configure, close -----------------------------------------------------------------

int TermiosDriver::serOpenPort(SerialConfig& config) {
    const std::string& path = config.getPortNameString();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        setDriverError(error == EBUSY ? path + " is in use by another program"
                                      : path + ": " + errnoText(error));
        return openErrorCode(error);
    }
    termios original{};
    std::string why;
    if (const int code = claimTty(fd, path, original, why); code != 0) {
        ::close(fd);
        setDriverError(why);
        return code;
    }

    std::lock_guard lock(tableMutex_);
    const int handle = freeSlot();
    Port* p = handle < 0 ? nullptr : owned_[static_cast<std::size_t>(handle)].get();
    if (p == nullptr || p->eventFd < 0) {
        ::tcsetattr(fd, TCSANOW, &original);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        setDriverError(path + ": " + (p == nullptr ? "too many open ports" : errnoText(ENFILE)));
        return kPassThroughBase + (p == nullptr ? EMFILE : ENFILE);
    }
    resetForOpen(*p, fd, path, original);
    config.setPortNum(handle + 1);
    p->isOpen.store(true, std::memory_order_release);
    return 0;
}

int TermiosDriver::serConfigure(const SerialConfig& config) {
    Port* p = openPort(config.getPort() - 1);
    if (p == nullptr) return kFailure;
    p->setNotice({});
    if (p->failed) {
        p->setError(disconnectedText(*p));
        return kFailure;
    }
    termios t{};
    if (::tcgetattr(p->fd, &t) != 0) {
        p->setError("cannot read the port settings: " + errnoText(errno));
        return kFailure;
    }
    makeRaw(t);
    if (std::string why = applyLineSettings(config, t); !why.empty()) {
        p->setError(std::move(why));
        return kFailure;
    }
    // TCSANOW and no flush: bytes already received stay readable.
    if (::tcsetattr(p->fd, TCSANOW, &t) != 0) {
        p->setError("cannot apply the settings " + config.getSettingsString() + ": " +
                    errnoText(errno));
        return kFailure;
    }
    const int rate = rateOf(config);
    if (standardSpeed(rate) == B0 && !setCustomBitRate(p->fd, rate)) {
        p->setError("bit rate " + std::to_string(rate) + " is not supported: " + errnoText(errno));
        return kFailure;
    }

    termios got{};
    const int gotRate = readBitRate(p->fd);
    if (gotRate < 0 || ::tcgetattr(p->fd, &got) != 0) {
        p->setError("cannot read the port settings back: " + errnoText(errno));
        return kFailure;
    }
    p->parityEnabled = (got.c_cflag & PARENB) != 0;
    const Framing asked{config.getDataBits(), config.getParity(), config.getStopBits()};
    FramingVerdict framing = judgeFraming(asked, keptFraming(got), p->kind, p->path);
    if (!framing.error.empty()) {
        p->setError(std::move(framing.error));
        return kFailure;
    }
    if (std::string why = rateMismatch(config, gotRate); !why.empty()) {
        p->setError(std::move(why));
        return kFailure;
    }
    p->setNotice(std::move(framing.notice));
    return 0;
}

std::string TermiosDriver::serConfigureNotice(int handle) {
    Port* p = slotFor(handle);
    if (p == nullptr) return {};
    std::lock_guard lock(p->errorMutex);
    return p->notice;
}

int TermiosDriver::serClosePort(int handle) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    std::lock_guard lock(tableMutex_);
    p->isOpen.store(false, std::memory_order_release);
    releaseTty(*p);
    p->input.clear();
    p->decoder.reset();
    return 0;
}

// ---- receiving ------------------------------------------------------------------------------

int TermiosDriver::serGetByte(int handle) {
    Port* p = openPort(handle);
    if (p == nullptr) [[unlikely]]
        return kFailed;
    if (!p->input.empty()) [[likely]]
        return deliverByte(*p);
    return fetchByte(*p);
}

int TermiosDriver::serGetData(int handle, std::uint8_t* buffer, int count) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    if (count < 0 || (buffer == nullptr && count > 0)) {
        p->setError("getData: invalid buffer");
        return kFailure;
    }
    if (count == 0) return 0;
    if (p->input.empty()) {
        if (p->failed) return kFailure;
        const Fill fill = readWaiting(*p, -1);
        if (fill == Fill::Gone) return kFailure;
        if (fill == Fill::Nothing) {
            if (p->rxTimeout == 0) return 0;
            const WaitResult result = awaitInput(*p, p->rxTimeout, false);
            if (result == WaitResult::Failed) return kFailure;
            if (result != WaitResult::Ready) return 0;
        }
    }
    const auto wanted = static_cast<std::size_t>(count);
    std::size_t done = deliverBytes(*p, buffer, wanted);
    // A read ends with a chunk; what arrived since then is worth one more try without waiting.
    if (done < wanted && !p->failed && readWaiting(*p, -1) == Fill::Data) {
        done += deliverBytes(*p, buffer + done, wanted - done);
    }
    return static_cast<int>(done);
}

NativeDriver::WaitResult TermiosDriver::serWaitForInput(int handle, int timeout) {
    Port* p = openPort(handle);
    if (p == nullptr) return WaitResult::Failed;
    if (!p->input.empty()) return WaitResult::Ready;
    if (p->failed) return WaitResult::Failed;
    return awaitInput(*p, timeout, true);
}

void TermiosDriver::serInterruptWait(int handle) {
    Port* p = slotFor(handle);
    if (p == nullptr || p->eventFd < 0) return;
    const std::uint64_t one = 1;
    while (::write(p->eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

int TermiosDriver::serRxReadyCount(int handle) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    const int decoded = static_cast<int>(p->input.size());
    if (p->failed) {
        if (decoded == 0) p->setError(disconnectedText(*p));
        return decoded > 0 ? decoded : kFailure;
    }
    int waiting = 0;
    if (::ioctl(p->fd, FIONREAD, &waiting) != 0) {
        p->setError("cannot count the received bytes: " + errnoText(errno));
        return decoded > 0 ? decoded : kFailure;
    }
    // Raw bytes still carry their markers, so this may count a marked byte up to three times.
    return decoded + waiting;
}

int TermiosDriver::serRxFlush(int handle) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    p->input.clear();
    p->decoder.reset();
    if (::tcflush(p->fd, TCIFLUSH) != 0) {
        p->setError("cannot discard the received bytes: " + errnoText(errno));
        return kFailure;
    }
    return 0;
}

// ---- sending --------------------------------------------------------------------------------

int TermiosDriver::serPutByte(int handle, std::uint8_t byte) {
    return serPutData(handle, &byte, 1) == 1 ? 0 : kFailure;
}

int TermiosDriver::serPutData(int handle, const std::uint8_t* buffer, int count) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    if (count < 0 || (buffer == nullptr && count > 0)) {
        p->setError("putData: invalid buffer");
        return kFailure;
    }
    if (p->failed) {
        p->setError(disconnectedText(*p));
        return kFailure;
    }
    const auto total = static_cast<std::size_t>(count);
    const bool unlimited = p->txTimeout == 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(p->txTimeout);
    std::size_t done = 0;
    while (done < total) {
        const ssize_t n = ::write(p->fd, buffer + done, total - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            p->setError("writing to " + p->path + " made no progress");
            break;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) {
            if (isGoneErrno(errno)) {
                p->failed = true;
                p->setError(disconnectedText(*p));
            } else {
                p->setError("writing to " + p->path + " failed: " + errnoText(errno));
            }
            break;
        }
        // The output buffer is full (or flow control holds it): wait for room.
        pollfd pfd{p->fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, unlimited ? -1 : remainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            p->setError(ready == 0 ? "transmit time-out: " + std::to_string(done) + " of " +
                                         std::to_string(total) + " bytes sent in " +
                                         std::to_string(p->txTimeout) + " ms"
                                   : "waiting to send failed: " + errnoText(errno));
            break;
        }
        if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            p->failed = true;
            p->setError(disconnectedText(*p));
            break;
        }
    }
    return static_cast<int>(done);
}

int TermiosDriver::serTxBufCount(int handle) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    int pending = 0;
    if (::ioctl(p->fd, TIOCOUTQ, &pending) != 0) {
        p->setError("cannot count the bytes not yet sent: " + errnoText(errno));
        return kFailure;
    }
    return pending;
}

int TermiosDriver::serTxFlush(int handle) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    if (::tcflush(p->fd, TCOFLUSH) != 0) {
        p->setError("cannot discard the bytes not yet sent: " + errnoText(errno));
        return kFailure;
    }
    return 0;
}

int TermiosDriver::serTxDrain(int handle) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    int result;
    while ((result = ::tcdrain(p->fd)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        p->setError("waiting for the bytes to be sent failed: " + errnoText(errno));
        return kFailure;
    }
    return 0;
}

int TermiosDriver::serSendBreak(int handle, int duration) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    if (duration <= 0) {
        if (::tcsendbreak(p->fd, 0) != 0) {
            p->setError("cannot send a break: " + errnoText(errno));
            return kFailure;
        }
        return 0;
    }
    if (::ioctl(p->fd, TIOCSBRK) != 0) {
        p->setError("cannot send a break: " + errnoText(errno));
        return kFailure;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(duration));
    if (::ioctl(p->fd, TIOCCBRK) != 0) {
        p->setError("cannot end the break: " + errnoText(errno));
        return kFailure;
    }
    return 0;
}

// ---- modem lines and line status ------------------------------------------------------------

int TermiosDriver::setModemBit(int handle, int bit, bool on) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    if (::ioctl(p->fd, on ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
        p->setError(modemErrorText(errno));
        return kFailure;
    }
    return 0;
}

int TermiosDriver::modemBits(int handle, int bit) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    int lines = 0;
    if (::ioctl(p->fd, TIOCMGET, &lines) != 0) {
        p->setError(modemErrorText(errno));
        return kFailure;
    }
    return (lines & bit) != 0 ? 1 : 0;
}

int TermiosDriver::serSetRTS(int handle, bool on) {
    return setModemBit(handle, TIOCM_RTS, on);
}
int TermiosDriver::serSetDTR(int handle, bool on) {
    return setModemBit(handle, TIOCM_DTR, on);
}
int TermiosDriver::serSigCTS(int handle) {
    return modemBits(handle, TIOCM_CTS);
}
int TermiosDriver::serSigDSR(int handle) {
    return modemBits(handle, TIOCM_DSR);
}
int TermiosDriver::serSigCD(int handle) {
    return modemBits(handle, TIOCM_CD);
}
int TermiosDriver::serSigRing(int handle) {
    return modemBits(handle, TIOCM_RI);
}

int TermiosDriver::flagQuery(int handle, std::atomic<bool> Port::*flag) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    return (p->*flag).exchange(false) ? 1 : 0;
}

int TermiosDriver::serSigBreak(int handle) {
    return flagQuery(handle, &Port::breakSeen);
}
int TermiosDriver::serSigFrameErr(int handle) {
    return flagQuery(handle, &Port::frameError);
}
int TermiosDriver::serSigParityErr(int handle) {
    return flagQuery(handle, &Port::parityError);
}

int TermiosDriver::counterQuery(int handle, bool overrun) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    serial_icounter_struct now{};
    if (!p->countsErrors || ::ioctl(p->fd, TIOCGICOUNT, &now) != 0) {
        p->setError(overrun ? "the driver of this port does not count overruns"
                            : "the driver of this port does not count buffer overflows");
        return kFailure;
    }
    std::uint32_t& seen = overrun ? p->overrunsSeen : p->bufferOverrunsSeen;
    const auto current = static_cast<std::uint32_t>(overrun ? now.overrun : now.buf_overrun);
    const bool more = current != seen;
    seen = current;
    return more ? 1 : 0;
}

int TermiosDriver::serSigOverrun(int handle) {
    return counterQuery(handle, true);
}
int TermiosDriver::serRxOverflow(int handle) {
    return counterQuery(handle, false);
}

// ---- time-outs ------------------------------------------------------------------------------

int TermiosDriver::serSetTimeoutRx(int handle, int timeout) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    if (timeout < 0) {
        p->setError("a receive time-out cannot be negative");
        return kFailure;
    }
    p->rxTimeout = timeout;
    return 0;
}

int TermiosDriver::serSetTimeoutTx(int handle, int timeout) {
    Port* p = openPort(handle);
    if (p == nullptr) return kFailure;
    if (timeout < 0) {
        p->setError("a transmit time-out cannot be negative");
        return kFailure;
    }
    p->txTimeout = timeout;
    return 0;
}

int TermiosDriver::serGetTimeoutRx(int handle) {
    Port* p = openPort(handle);
    return p == nullptr ? kFailure : p->rxTimeout;
}

int TermiosDriver::serGetTimeoutTx(int handle) {
    Port* p = openPort(handle);
    return p == nullptr ? kFailure : p->txTimeout;
}

// ---- discovery and the rest -----------------------------------------------------------------

void TermiosDriver::serGetPortList(PortListSink& sink) {
    if (discovery_) discovery_->discover(sink);
}

int TermiosDriver::serRegisterDeviceNotification(DeviceNotificationCallback* callback) {
    if (!discovery_ || callback == nullptr) return kFailure;
    if (monitoring_) discovery_->stopMonitoring();
    monitoring_ = discovery_->startMonitoring(callback);
    return monitoring_ ? 0 : kFailure;
}

int TermiosDriver::serUnregisterDeviceNotification() {
    if (!discovery_) return kFailure;
    discovery_->stopMonitoring();
    monitoring_ = false;
    return 0;
}

int TermiosDriver::serResetPortDriver(int handle) {
    const std::string text = "resetting the port driver is not available on Linux";
    if (Port* p = slotFor(handle)) {
        p->setError(text);
    } else {
        setDriverError(text);
    }
    return kFailure;
}

std::string TermiosDriver::serLastError(int handle) {
    if (Port* p = slotFor(handle)) {
        std::lock_guard lock(p->errorMutex);
        return p->error;
    }
    std::lock_guard lock(errorMutex_);
    return driverError_;
}

std::string TermiosDriver::serOpenFailureHint(const SerialConfig& config, int code) {
    switch (code) {
        case kPermissionDenied: return serialAccessHint(config.getPortNameString());
        case kInUse: return "Another program is using the port; close it and try again.";
        case kNoSuchDevice:
        case kNoSuchDeviceNode:
            return "Check that the adapter is plugged in; the port name may have changed (see "
                   "scalino-cli ports).";
        default: return {};
    }
}

}  // namespace scalino
