#include "rs232/PlatformInfo.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/FakeDriver.h"

namespace scalino {
namespace {

TEST(PlatformInfoTest, DriverLibraryByPlatformAndArchitecture) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Linux", "amd64", "rsLux86_64bit"},    {"Linux", "i686", "rsLux86"},
        {"Linux", "armv5tel", "rsLuxArm"},      {"Linux", "x86_64", ""},
        {"Windows 10", "amd64", "rsWin"},       {"Windows CE", "SH4", "rsWceSh4"},
        {"Windows CE", "XSCALE", "rsWceArm"},   {"EPOC", "arm", "rsEpocArm"},
        {"HP-UX", "PA_RISC2.0", "rsHpxPaRisc"}, {"Mac OS X", "ppc", "rsMacOSX"},
        {"Novell NetWare 6", "x86", "RsNw"},    {"Haiku", "x86", ""},
    };
    std::FILE* quiet = std::fopen("/dev/null", "w");
    for (const auto& [os, arch, library] : cases) {
        test::ScopedProperty osName("RS_OSNAME", os);
        test::ScopedProperty osArch("RS_OSARCH", arch);
        const PlatformInfo identified = PlatformInfo::identify(quiet);
        EXPECT_EQ(identified.rsLib, library) << os << " " << arch;
        EXPECT_EQ(identified.osName, os);
        EXPECT_EQ(identified.osArch, arch);
    }
    std::fclose(quiet);
}

TEST(PlatformInfoTest, CapabilityFlagsByPlatform) {
    const PlatformInfo windows = PlatformInfo::forPlatform("Windows 10", "amd64");
    EXPECT_TRUE(windows.flags.supDriverInfo);
    EXPECT_TRUE(windows.flags.supNoIndexBitRate);
    EXPECT_EQ(windows.maxBitRate, 921600);
    EXPECT_EQ(windows.devName, "COM1");
    EXPECT_TRUE(windows.osFamilyWindows);
    EXPECT_FALSE(windows.emulateGetDataTimeout);

    const PlatformInfo os2 = PlatformInfo::forPlatform("OS/2", "x86");
    EXPECT_FALSE(os2.flags.supNoIndexBitRate);
    EXPECT_FALSE(os2.osFamilyWindows);

    // Another Unix gets the table's row alone; this build's own platform also reports what
    // its driver does: discovery with driver information, parity and framing errors.
    const PlatformInfo bsd = PlatformInfo::forPlatform("FreeBSD", "x86");
    const PlatformInfo linux = PlatformInfo::forPlatform("Linux", "amd64");
    for (const PlatformInfo* unix : {&bsd, &linux}) {
        EXPECT_TRUE(unix->flags.supSetRTS && unix->flags.supSigDSR &&
                    unix->flags.supParityMarkSpace);
        EXPECT_FALSE(unix->flags.supSigOverrun || unix->flags.supSetTimeoutTx);
        EXPECT_TRUE(unix->emulateGetDataTimeout);
    }
    EXPECT_FALSE(bsd.flags.supGetPortList || bsd.flags.supSigParityErr || bsd.flags.supSigFrameErr);
    EXPECT_TRUE(linux.flags.supGetPortList && linux.flags.supDriverInfo);
    EXPECT_TRUE(linux.flags.supSigParityErr && linux.flags.supSigFrameErr);
    EXPECT_EQ(linux.devName, "/dev/ttyS0");
    EXPECT_EQ(linux.maxBitRate, 115200);

    EXPECT_FALSE(PlatformInfo::forPlatform("Irix", "mips").flags.supSetRTS);
    EXPECT_FALSE(PlatformInfo::forPlatform("EPOC", "arm").flags.supSendBreak);
    EXPECT_TRUE(PlatformInfo::forPlatform("Linux", "arm").flags.supSetPowerMode);
}

TEST(PlatformInfoTest, FeatureKeysAreExact) {
    const PlatformInfo linux = PlatformInfo::forPlatform("Linux", "amd64");
    EXPECT_TRUE(linux.isSupported("sigCTS"));
    EXPECT_FALSE(linux.isSupported("SigCTS"));
    EXPECT_TRUE(linux.isSupported("supDriverInfo"));
    EXPECT_TRUE(linux.isSupported("ParityMarkSpace"));
    EXPECT_FALSE(linux.isSupported("sigOverrun"));
    EXPECT_FALSE(linux.isSupported("driverInfo"));
}

TEST(PlatformInfoTest, IdentificationHonoursTheOverridesAndPrintsTheBanner) {
    test::ScopedProperty os("RS_OSNAME", "Linux");
    test::ScopedProperty arch("RS_OSARCH", "i586");
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    const PlatformInfo info = PlatformInfo::identify(out);
    std::fclose(out);
    const std::string printed(text, size);
    std::free(text);
    EXPECT_EQ(info.osName, "Linux");
    EXPECT_EQ(info.osArch, "i586");
    EXPECT_EQ(info.rsLib, "rsLux86");
    EXPECT_EQ(printed.rfind("Rs232 Library: version 1.0.0: build 100\r\n", 0), 0u) << printed;
    EXPECT_NE(printed.find("os.name=\"Linux\"  os.arch=\""), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Platform not supported"), std::string::npos);

    test::ScopedProperty unknown("RS_OSARCH", "x86_64");
    out = open_memstream(&text, &size);
    EXPECT_EQ(PlatformInfo::identify(out).rsLib, "");
    std::fclose(out);
    EXPECT_NE(std::string(text, size).find("Platform not supported"), std::string::npos);
    std::free(text);
}

}  // namespace
}  // namespace scalino
