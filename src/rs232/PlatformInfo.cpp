#include "rs232/PlatformInfo.h"

#include <gnu/libc-version.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "util/ProcessProperties.h"

namespace scalino {
namespace {

template <typename Names>
bool isOneOf(std::string_view name, const Names& names) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isNetware(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("netware") != std::string::npos;
}

constexpr std::string_view kWindowsFamily[] = {"Windows 95",
                                               "Windows 98",
                                               "Windows Me",
                                               "Windows NT",
                                               "Windows 2000",
                                               "Windows 2003",
                                               "Windows XP",
                                               "Windows Vista",
                                               "Windows 7",
                                               "Windows 8",
                                               "Windows 8.1",
                                               "Windows 10",
                                               "Windows Server 2008",
                                               "Windows Server 2008 R2",
                                               "Windows Server 2012",
                                               "Windows Server 2012 R2",
                                               "Windows NT (unknown)",
                                               "Windows",
                                               "Windows CE",
                                               "WindowsCE",
                                               "OS/2"};
constexpr std::string_view kWindowsWithDriverInfo[] = {"Windows",
                                                       "Windows 10",
                                                       "Windows 8.1",
                                                       "Windows 8",
                                                       "Windows 7",
                                                       "Windows NT (unknown)",
                                                       "Windows Server 2008",
                                                       "Windows Server 2008 R2",
                                                       "Windows Server 2012",
                                                       "Windows Vista",
                                                       "Windows 2003",
                                                       "Windows 2000",
                                                       "Windows XP"};
constexpr std::string_view kUnixFamily[] = {"Linux", "FreeBSD", "Solaris", "SunOS",   "HP-UX",
                                            "Irix",  "AIX",     "OSF1",    "UnixWare"};
// The platforms of the "rsWin" library; they form the Windows family of port sorting.
constexpr std::string_view kWindowsLibraryPlatforms[] = {"Windows 95",
                                                         "Windows 98",
                                                         "Windows Me",
                                                         "Windows NT",
                                                         "Windows XP",
                                                         "Windows 2000",
                                                         "Windows 2003",
                                                         "Windows 2008",
                                                         "Windows Vista",
                                                         "Windows Server 2008",
                                                         "Windows Server 2008 R2",
                                                         "Windows Server 2012",
                                                         "Windows Server 2012 R2",
                                                         "Windows 7",
                                                         "Windows NT (unknown)",
                                                         "Windows 8",
                                                         "Windows 8.1",
                                                         "Windows 10",
                                                         "Windows"};

void setWindowsFlags(CapabilityFlags& f, bool os2) {
    f.supParityMarkSpace = f.supInstanceLock = f.supGetPortList = f.supGetStatusAPM = true;
    f.supSigBreak = f.supSigFrameErr = f.supSigParityErr = f.supSigOverrun = true;
    f.supRxOverflow = f.supRxReadyCount = f.supTxBufCount = f.supSetTimeoutTx = true;
    f.supGetTimeoutTx = f.supSigRing = f.supSetRTS = f.supSetDTR = f.supSigCD = true;
    f.supSigCTS = f.supSigDSR = f.supUnplugPort = true;
    f.supNoIndexBitRate = !os2;
}

void setUnixFlags(CapabilityFlags& f) {
    f.supParityMarkSpace = f.supRxReadyCount = f.supTxBufCount = f.supSigRing = true;
    f.supSetRTS = f.supSetDTR = f.supSigCD = f.supSigCTS = f.supSigDSR = true;
}

}  // namespace

PlatformInfo PlatformInfo::forPlatform(std::string osName, std::string osArch) {
    PlatformInfo info;
    info.osName = std::move(osName);
    info.osArch = std::move(osArch);
    info.featureSetup();
    info.chooseLibrary();
    return info;
}

PlatformInfo PlatformInfo::identify(std::FILE* out) {
    PlatformInfo info;
    info.osName = ProcessProperties::get("RS_OSNAME").value_or(ProcessProperties::hostOsName());
    info.runtimeVer = gnu_get_libc_version();
    info.vendor = "GNU C Library";
    info.osArch = ProcessProperties::hostOsArch();
    std::fprintf(out, "%s\r\n%s\n", info.banner1.c_str(), info.banner2.c_str());
    std::fprintf(out, "os.name=\"%s\"  os.arch=\"%s\"\n", info.osName.c_str(), info.osArch.c_str());
    info.featureSetup();
    info.setNativeLibName();
    if (info.rsLib.empty()) {
        // The driver is linked in, so an unknown platform name is reported but not fatal.
        std::fprintf(out, "osName=%s osArch=%s\n", info.osName.c_str(), info.osArch.c_str());
        std::fprintf(out, "Platform not supported, check VM properties os.name & os.arch\n");
    }
    std::fflush(out);
    return info;
}

void PlatformInfo::featureSetup() {
    flags = CapabilityFlags{};
    maxBitRate = 115200;
    emulateGetDataTimeout = false;
    devName.clear();
    CapabilityFlags& f = flags;
    if (isOneOf(osName, kWindowsFamily) || isNetware(osName)) {
        setWindowsFlags(f, osName == "OS/2");
        devName = "COM1";
        if (isOneOf(osName, kWindowsWithDriverInfo)) {
            maxBitRate = 921600;
            f.supDriverInfo = true;
        }
        if (isNetware(osName)) {
            f.supGetPortList = false;
            emulateGetDataTimeout = true;
        }
    } else if (osName == "Mac OS") {
        f.supGetPortList = f.supSigBreak = f.supSigFrameErr = f.supSigParityErr = true;
        f.supSigOverrun = f.supRxOverflow = f.supRxReadyCount = f.supTxBufCount = true;
        f.supSetTimeoutTx = f.supGetTimeoutTx = f.supSetDTR = f.supSigCTS = true;
        f.supNoIndexBitRate = true;
        maxBitRate = 921600;
        emulateGetDataTimeout = true;
        devName = "Modem Port";
    } else if (osName == "Mac OS X") {
        f.supParityMarkSpace = f.supGetPortList = f.supGetStatusAPM = f.supRxReadyCount = true;
        f.supTxBufCount = f.supSetRTS = f.supSetDTR = f.supSigCD = f.supSigCTS = true;
        f.supSigDSR = true;
        maxBitRate = 230400;
        emulateGetDataTimeout = true;
    } else if (isOneOf(osName, kUnixFamily)) {
        setUnixFlags(f);
        emulateGetDataTimeout = true;
        devName = "/dev/tty0";
        if (osName == "Linux") {
            f.supGetStatusAPM = true;
            devName = "/dev/ttyS0";
            if (osArch == "armv4l" || osArch == "arm")
                f.supSetPowerMode = f.supGetResumeState = true;
        } else if (osName == "Solaris" || osName == "SunOS") {
            devName = "/dev/ttya";
        } else if (osName == "Irix") {
            f.supSetRTS = f.supSetDTR = f.supSigCTS = false;
        } else if (osName == "UnixWare") {
            f.supSetRTS = false;
        } else if (osName == "OSF1") {
            devName = "/dev/tty00";
        }
    } else if (osName == "EPOC") {
        f.supGetPortList = f.supSigFrameErr = f.supSigParityErr = f.supSigOverrun = true;
        f.supRxReadyCount = f.supTxBufCount = f.supSetTimeoutTx = f.supGetTimeoutTx = true;
        f.supSetRTS = f.supSetDTR = f.supSigCD = f.supSigCTS = f.supSigDSR = true;
        f.supNoIndexBitRate = true;
        f.supSendBreak = false;
        devName = "COMM::0";
    }
    if (osName == kBuildPlatform) {
        // What the termios driver of this build does beyond the generic Unix row.
        f.supGetPortList = f.supDriverInfo = f.supSigParityErr = f.supSigFrameErr = true;
    }
}

void PlatformInfo::setNativeLibName() {
    if (auto name = ProcessProperties::get("RS_OSNAME")) osName = *name;
    if (auto arch = ProcessProperties::get("RS_OSARCH")) osArch = *arch;
    chooseLibrary();
}

void PlatformInfo::chooseLibrary() {
    const std::string_view a = osArch;
    rsLib.clear();
    osFamilyWindows = isOneOf(osName, kWindowsLibraryPlatforms);
    if (osFamilyWindows) {
        rsLib = (runtimeVer == "1.0.2" || runtimeVer == "102") ? "rsWinNm" : "rsWin";
    } else if (osName == "EPOC") {
        rsLib = a == "x86" ? "rsEpocx86" : a == "arm" ? "rsEpocArm" : "";
    } else if (osName == "Windows CE" || osName == "WindowsCE") {
        rsLib = a == "MIPS"                                   ? "rsWceMips"
                : a == "SH3"                                  ? "rsWceSh3"
                : a == "SH4"                                  ? "rsWceSh4"
                : isOneOf(a, {"ARM", "Strong ARM", "XSCALE"}) ? "rsWceArm"
                : a == "x86"                                  ? "rsWceX86"
                                                              : "";
    } else if (osName == "OS/2") {
        rsLib = "rsOs2";
    } else if (osName == "Mac OS") {
        rsLib = "rsMac";
    } else if (osName == "Mac OS X") {
        rsLib = "rsMacOSX";
    } else if (osName == "Linux") {
        rsLib = isOneOf(a, {"i386", "i486", "i586", "i686"})   ? "rsLux86"
                : isOneOf(a, {"armv4l", "armv5tel", "armv5l"}) ? "rsLuxArm"
                : a == "amd64"                                 ? "rsLux86_64bit"
                                                               : "";
    } else if (osName == "FreeBSD") {
        rsLib = isOneOf(a, {"i386", "x86"}) ? "rsBsdx86" : "";
    } else if (osName == "Solaris" || osName == "SunOS") {
        rsLib = a == "x86" ? "rsSolx86" : a == "sparc" ? "rsSolSparc" : "";
    } else if (osName == "HP-UX") {
        rsLib = isOneOf(a, {"PA-RISC", "PA_RISC", "PA_RISC2.0"}) ? "rsHpxPaRisc" : "";
    } else if (osName == "Irix") {
        rsLib = a == "mips" ? "rsIrxMips" : "";
    } else if (osName == "AIX") {
        rsLib = isOneOf(a, {"POWER_PC", "ppc"}) ? "rsAixPpc" : "";
    } else if (osName == "UnixWare" || osName == "OpenServer") {
        rsLib = a == "IA32" ? "rsUxWareIA32" : "";
    } else if (osName == "OSF1") {
        rsLib = a == "alpha" ? "rsTru64Alpha" : "";
    } else if (isNetware(osName)) {
        rsLib = "RsNw";
    }
}

bool PlatformInfo::isSupported(std::string_view key) const {
    const CapabilityFlags& f = flags;
    const std::pair<std::string_view, bool> keys[] = {{"sigBreak", f.supSigBreak},
                                                      {"sendBreak", f.supSendBreak},
                                                      {"sigFrameErr", f.supSigFrameErr},
                                                      {"sigOverrun", f.supSigOverrun},
                                                      {"sigParityErr", f.supSigParityErr},
                                                      {"rxOverflow", f.supRxOverflow},
                                                      {"sigRing", f.supSigRing},
                                                      {"sigCTS", f.supSigCTS},
                                                      {"sigDSR", f.supSigDSR},
                                                      {"sigCD", f.supSigCD},
                                                      {"setRTS", f.supSetRTS},
                                                      {"setDTR", f.supSetDTR},
                                                      {"rxReadyCount", f.supRxReadyCount},
                                                      {"txBufCount", f.supTxBufCount},
                                                      {"setTimeoutTx", f.supSetTimeoutTx},
                                                      {"noIndexBitRate", f.supNoIndexBitRate},
                                                      {"getPortList", f.supGetPortList},
                                                      {"setPowerMode", f.supSetPowerMode},
                                                      {"getStatusAPM", f.supGetStatusAPM},
                                                      {"InstanceLock", f.supInstanceLock},
                                                      {"ParityMarkSpace", f.supParityMarkSpace},
                                                      {"supDriverInfo", f.supDriverInfo},
                                                      {"UnplugPort", f.supUnplugPort}};
    for (const auto& [name, supported] : keys) {
        if (name == key) return supported;
    }
    return false;
}

}  // namespace scalino
