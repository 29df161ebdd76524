#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace scalino {

// What the serial library supports on a platform: one flag per optional port operation.
struct CapabilityFlags {
    bool supGetPortList = false;
    bool supUnplugPort = false;
    bool supSendBreak = true;
    bool supSigBreak = false;
    bool supSigFrameErr = false;
    bool supSigOverrun = false;
    bool supSigParityErr = false;
    bool supRxOverflow = false;
    bool supSigRing = false;
    bool supSigCTS = false;
    bool supSigDSR = false;
    bool supSigCD = false;
    bool supSetRTS = false;
    bool supSetDTR = false;
    bool supRxReadyCount = false;
    bool supTxBufCount = false;
    bool supSetTimeoutTx = false;
    bool supGetTimeoutTx = false;
    bool supGetStatusAPM = false;
    bool supSetPowerMode = false;
    bool supGetResumeState = false;
    bool supInstanceLock = false;
    bool supParityMarkSpace = false;
    bool supNoIndexBitRate = false;
    bool supDriverInfo = false;
};

// The identification of the platform the serial library runs on, with the capability flags of
// its driver and the driver library chosen for it. The process uses one, identified on first
// use (SerialPortLocal::platform()); tests build others for any platform name.
class PlatformInfo {
public:
    static constexpr int kBuildNum = 100;
    // The platform this build's driver is written for; its flags also report what that driver
    // really does.
    static constexpr std::string_view kBuildPlatform = "Linux";

    // Identifies the host, applies RS_OSNAME and RS_OSARCH, sets the flags and chooses the
    // library, printing the banner and any complaint to out.
    static PlatformInfo identify(std::FILE* out);
    // The flags and library of a named platform, without printing or reading properties.
    static PlatformInfo forPlatform(std::string osName, std::string osArch);

    // Sets flags, maximum bit rate, read-time-out emulation and default device from the names.
    void featureSetup();
    // Applies the RS_OSNAME and RS_OSARCH overrides and chooses the driver library.
    void setNativeLibName();
    bool isSupported(std::string_view featureKey) const;

    std::string osName;
    std::string osArch;
    std::string vendor;
    std::string runtimeVer;
    std::string devName;
    std::string rsLib;
    bool rsLibLoaded = false;
    int maxBitRate = 115200;
    bool osFamilyWindows = false;
    bool emulateGetDataTimeout = false;
    CapabilityFlags flags;
    std::string banner1 = "Rs232 Library: version 1.0.0: build " + std::to_string(kBuildNum);
    std::string banner2 = "Serial port library of Scalino, with a termios driver for Linux";

private:
    void chooseLibrary();
};

}  // namespace scalino
