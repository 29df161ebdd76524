#include "rs232/SerialConfig.h"

#include <algorithm>

#include "rs232/SerialExceptions.h"
#include "util/ProcessProperties.h"

namespace scalino {
namespace {

constexpr std::string_view kDsrDtrPlatforms[] = {"Windows 95",           "Windows NT",
                                                 "Windows CE",           "Windows 98",
                                                 "Windows Me",           "Windows XP",
                                                 "Windows 2000",         "Windows 2003",
                                                 "Windows Server 2008",  "Windows Server 2008 R2",
                                                 "Windows Vista",        "Windows 7",
                                                 "Windows NT (unknown)", "OS/2"};

std::string osNameOfHost() {
    return ProcessProperties::get("os.name", "");
}

}  // namespace

SerialConfig::SerialConfig() : osName_(osNameOfHost()) {
    setPortName("COM1");
    setBaseName("/dev/ttyS");
}

SerialConfig::SerialConfig(int port) : port_(port), osName_(osNameOfHost()) {
    setBaseName("/dev/ttyS");
}

SerialConfig::SerialConfig(int port, int txLen, int rxLen)
    : port_(port), txLen_(txLen), rxLen_(rxLen), osName_(osNameOfHost()) {
    setBaseName("/dev/ttyS");
}

SerialConfig::SerialConfig(std::string portName) : osName_(osNameOfHost()) {
    setPortName(std::move(portName));
}

void SerialConfig::setBitRate(int bitRate) {
    if (bitRate < 0 || bitRate > 921600)
        throw SerialParameterException("Invalid Serial Port Bit Rate");
    bitRate_ = bitRate;
}

void SerialConfig::setDataBits(int dataBits) {
    if (dataBits < LN_5BITS || dataBits > LN_8BITS)
        throw SerialParameterException("Invalid Serial Port Data Bits");
    dataBits_ = dataBits;
}

void SerialConfig::setParity(int parity) {
    if (parity < PY_NONE || parity > PY_SPACE)
        throw SerialParameterException("Invalid Serial Port Parity");
    parity_ = parity;
}

void SerialConfig::setStopBits(int stopBits) {
    if (stopBits < ST_1BITS || stopBits > ST_2BITS)
        throw SerialParameterException("Invalid Serial Port Stop Bits");
    stopBits_ = stopBits;
}

void SerialConfig::setHandshake(int handshake) {
    if (handshake == HS_DSRDTR) {
        if (std::find(std::begin(kDsrDtrPlatforms), std::end(kDsrDtrPlatforms), osName_) ==
            std::end(kDsrDtrPlatforms)) {
            throw SerialParameterException("DSRDTR handshaking not available on this platform");
        }
    } else if (handshake < 0 || (handshake > HS_CTSRTS && handshake < HS_HARD_IN) ||
               handshake > HS_SPLIT_MASK) {
        throw SerialParameterException("Invalid Serial Port Handshake");
    }
    handshake_ = handshake;
}

void SerialConfig::setPortNum(int port) {
    if (port < 0 && osName_ != "EPOC") {
        throw SerialParameterException("Invalid Port Number: " + std::to_string(port));
    }
    port_ = port;
}

void SerialConfig::setTxLen(int length) {
    if (osName_ == "EPOC" && length > 8192)
        throw SerialParameterException("Limited to 8192 on EPOC");
    txLen_ = length;
}

void SerialConfig::setRxLen(int length) {
    if (osName_ == "EPOC" && length > 8192)
        throw SerialParameterException("Limited to 8192 on EPOC");
    rxLen_ = length;
}

void SerialConfig::setPortName(std::string name) {
    // Port names are ASCII device paths; their bytes are the UTF-8 of the text as it stands.
    portName_ = name;
    sPortName_ = std::move(name);
}

void SerialConfig::setBaseName(std::string name) {
    baseName_ = std::move(name);
}

int SerialConfig::getBitRateIndex(int bitsPerSecond) {
    const auto it = std::find(bitRateNumbers.begin(), bitRateNumbers.end(), bitsPerSecond);
    return it == bitRateNumbers.end() ? -1 : static_cast<int>(it - bitRateNumbers.begin());
}

int SerialConfig::getBitRateNumber(int index) const {
    if (bitRate_ > 30) return bitRate_;
    if (index < 0 || index >= static_cast<int>(bitRateNumbers.size())) return -1;
    return bitRateNumbers[static_cast<size_t>(index)];
}

std::string SerialConfig::getSettingsString() const {
    std::string text = std::to_string(getBitRateNumber(bitRate_)) + " / ";
    text += parityNames[static_cast<size_t>(parity_)];
    text += " / ";
    text += static_cast<char>('5' + dataBits_);
    text += " / ";
    text += static_cast<char>('1' + stopBits_);
    text += " / ";
    if ((handshake_ & HS_SPLIT_MASK) != 0) {
        if (handshake_ & HS_HARD_IN) text += " HI";
        if (handshake_ & HS_HARD_OUT) text += " HO";
        if (handshake_ & HS_SOFT_IN) text += " SI";
        if (handshake_ & HS_SOFT_OUT) text += " SO";
    } else if (osName_ == "Mac OS" && handshake_ == HS_CTSRTS) {
        text += "CTS-DTR";
    } else {
        text += handshakeNames[static_cast<size_t>(handshake_)];
    }
    return text;
}

}  // namespace scalino
