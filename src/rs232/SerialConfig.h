#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace scalino {

// The parameters of one serial connection, in the serial library's integer codes: the port,
// bit rate (an index into the rate table, or a raw rate in bit/s), data bits, parity, stop
// bits, handshake and buffer lengths. Setters validate and throw SerialParameterException.
class SerialConfig {
public:
    // Bit-rate indexes.
    static constexpr int BR_110 = 0, BR_150 = 1, BR_300 = 2, BR_600 = 3, BR_1200 = 4, BR_2400 = 5,
                         BR_4800 = 6, BR_9600 = 7, BR_19200 = 8, BR_38400 = 9, BR_57600 = 10,
                         BR_115200 = 11, BR_230400 = 12, BR_460800 = 13, BR_921600 = 14;
    static constexpr int LN_5BITS = 0, LN_6BITS = 1, LN_7BITS = 2, LN_8BITS = 3;
    static constexpr int ST_1BITS = 0, ST_2BITS = 1;
    static constexpr int PY_NONE = 0, PY_ODD = 1, PY_EVEN = 2, PY_MARK = 3, PY_SPACE = 4;
    static constexpr int HS_NONE = 0, HS_XONXOFF = 1, HS_CTSRTS = 2, HS_CTSDTR = 2, HS_DSRDTR = 3;
    // Split handshake: flow control per direction, never mixed with the simple codes.
    static constexpr int HS_HARD_IN = 16, HS_HARD_OUT = 32, HS_SOFT_IN = 64, HS_SOFT_OUT = 128,
                         HS_SPLIT_MASK = 240;
    static constexpr int PWR_STANDBY = 0, PWR_ACTIVE = 1;

    static constexpr std::array<int, 15> bitRateNumbers = {110,   150,    300,    600,    1200,
                                                           2400,  4800,   9600,   19200,  38400,
                                                           57600, 115200, 230400, 460800, 921600};
    static constexpr std::array<std::string_view, 4> handshakeNames = {"NONE", "XON-XOFF",
                                                                       "CTS-RTS", "DSR-DTR"};
    static constexpr std::array<std::string_view, 5> parityNames = {"NONE", "ODD", "EVEN", "MARK",
                                                                    "SPACE"};

    // "COM1", base name "/dev/ttyS".
    SerialConfig();
    explicit SerialConfig(int port);
    SerialConfig(int port, int txLen, int rxLen);
    // The form the application uses: a port name such as "/dev/ttyUSB0".
    explicit SerialConfig(std::string portName);

    int getPort() const { return port_; }
    const std::string& getPortNameString() const { return sPortName_; }
    // The port name as the bytes the driver receives.
    const std::string& getPortName() const { return portName_; }
    const std::string& getBaseName() const { return baseName_; }
    int getTxLen() const { return txLen_; }
    int getRxLen() const { return rxLen_; }
    int getBitRate() const { return bitRate_; }
    int getParity() const { return parity_; }
    int getDataBits() const { return dataBits_; }
    int getStopBits() const { return stopBits_; }
    int getHandshake() const { return handshake_; }
    bool getHardFlow() const { return hardFlow_; }
    bool getDisableActiveLink() const { return disableActiveLink_; }
    const std::string& getOsName() const { return osName_; }

    // An index 0..14 or a raw rate up to 921600.
    void setBitRate(int bitRate);
    void setDataBits(int dataBits);
    void setParity(int parity);
    void setStopBits(int stopBits);
    // 0..2 or split bits 16..240; 3 (DSR/DTR) only on the platforms whose drivers offer it.
    void setHandshake(int handshake);
    void setPortNum(int port);
    void setTxLen(int length);
    void setRxLen(int length);
    void setPortName(std::string name);
    void setBaseName(std::string name);
    void setHardFlow(bool hardFlow) { hardFlow_ = hardFlow; }
    void setDisableActiveLink(bool disable) { disableActiveLink_ = disable; }

    // Index of a rate in bit/s in the rate table, or -1.
    static int getBitRateIndex(int bitsPerSecond);
    // The record's raw rate when its bit rate is above 30; otherwise the rate at index (-1 for
    // an index outside the table).
    int getBitRateNumber(int index) const;
    bool validBitRateIndex() const { return bitRate_ >= 0 && bitRate_ <= 14; }
    // "9600 / NONE / 8 / 1 / NONE".
    std::string getSettingsString() const;
    SerialConfig copy() const { return *this; }

private:
    int port_ = 0;
    std::string sPortName_;
    std::string portName_ = std::string(1, '\0');
    std::string baseName_ = std::string(1, '\0');
    int txLen_ = 4096;
    int rxLen_ = 4096;
    int bitRate_ = BR_9600;
    int parity_ = PY_NONE;
    int dataBits_ = LN_8BITS;
    int stopBits_ = ST_1BITS;
    int handshake_ = HS_NONE;
    bool hardFlow_ = true;
    std::string osName_;
    bool disableActiveLink_ = false;
};

}  // namespace scalino
