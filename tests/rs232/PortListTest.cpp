#include "rs232/PortList.h"

#include <gtest/gtest.h>

#include "rs232/FriendlyPortUtil.h"
#include "rs232/SerialExceptions.h"
#include "support/FakeDriver.h"

namespace scalino {
namespace {

using Names = std::vector<std::string>;

struct Quiet {
    std::FILE* out = std::fopen("/dev/null", "w");
    ~Quiet() { std::fclose(out); }
};

TEST(PortListTest, ThePropertyNamesThePortsEvenWhereTheDriverDiscovers) {
    Quiet quiet;
    test::FakeDriver driver;
    driver.ports = {PortDriverInfo("/dev/ttyUSB0", "FTDI", "FT232R USB UART")};
    const PlatformInfo linux = PlatformInfo::forPlatform("Linux", "amd64");
    PortList list;
    {
        test::ScopedProperty property("SERIAL_PORT_LIST", "COM1;COM2;COM3;COM2");
        EXPECT_EQ(list.getPortList(&driver, linux, quiet.out), (Names{"COM1", "COM2", "COM3"}));
        list.addPortName("com3");  // already there, ignoring case
        list.addPortName("/dev/ttyACM0");
        EXPECT_EQ(list.getPortList(&driver, linux, quiet.out),
                  (Names{"COM1", "COM2", "COM3", "/dev/ttyACM0"}));
    }
    {
        test::ScopedProperty tooShort("SERIAL_PORT_LIST", " COM1 ");
        EXPECT_EQ(list.getPortList(&driver, linux, quiet.out),
                  Names{"/dev/ttyUSB0"});  // discovered
    }
    test::ScopedProperty colons("SERIAL_PORT_LIST", "/dev/ttyS0:/dev/ttyS1");
    PortList other;
    EXPECT_EQ(other.getPortList(&driver, linux, quiet.out), (Names{"/dev/ttyS0", "/dev/ttyS1"}));
}

TEST(PortListTest, WindowsNamesAreSortedByNumber) {
    EXPECT_EQ(
        PortList::sortWindowsNames({"COM10", "COM2", "COM1", "LPT-Bridge", "COMX", "COM007", "X"}),
        (Names{"COM1", "COM2", "COM7", "COM10", "LPT-Bridge", "X"}));
}

TEST(PortListTest, WithoutDiscoveryTheAddedNamesAreTheList) {
    Quiet quiet;
    PortList list;
    const PlatformInfo bsd = PlatformInfo::forPlatform("FreeBSD", "x86");
    EXPECT_TRUE(list.getPortList(nullptr, bsd, quiet.out).empty());
    list.addPortName("/dev/cuau0");
    EXPECT_EQ(list.getPortList(nullptr, bsd, quiet.out), Names{"/dev/cuau0"});
    EXPECT_THROW(list.getDriverInfoList(bsd), SerialPortException);
}

TEST(PortListTest, DriverInformationAndFriendlyNames) {
    Quiet quiet;
    test::FakeDriver driver;
    driver.ports = {PortDriverInfo("/dev/ttyUSB0", "FTDI", "FT232R USB UART"),
                    PortDriverInfo("/dev/ttyS0", "", "Serial port")};
    const PlatformInfo linux = PlatformInfo::forPlatform("Linux", "amd64");
    PortList list;
    try {
        list.getDriverInfoList(linux);
        FAIL();
    } catch (const SerialPortException& error) {
        EXPECT_STREQ(error.what(), "Must call SerialPortLocal.getPortList method first");
    }
    list.getPortList(&driver, linux, quiet.out);
    list.addPortInfo(PortDriverInfo("/DEV/TTYUSB0", "x", "y"));  // one record per port
    FriendlyPortUtil::update(list.getDriverInfoList(linux));
    EXPECT_EQ(FriendlyPortUtil::getFriendlyPortList(),
              (Names{"/dev/ttyUSB0: FT232R USB UART - FTDI", "/dev/ttyS0: Serial port - "}));
    EXPECT_EQ(FriendlyPortUtil::getFriendlyPortName("/dev/ttyUSB0"),
              "/dev/ttyUSB0: FT232R USB UART - FTDI");
    EXPECT_EQ(FriendlyPortUtil::getUnfriendlyPortName("/dev/ttyUSB0: FT232R USB UART - FTDI"),
              "/dev/ttyUSB0");
    EXPECT_EQ(FriendlyPortUtil::getFriendlyPortName("/dev/ttyACM7"), "/dev/ttyACM7");
    EXPECT_EQ(FriendlyPortUtil::getUnfriendlyPortName("/dev/ttyACM7"), "/dev/ttyACM7");
    FriendlyPortUtil::update({});
    EXPECT_TRUE(FriendlyPortUtil::getFriendlyPortList().empty());
    EXPECT_FALSE(FriendlyPortUtil::portInfoListIsPopulated());
}

}  // namespace
}  // namespace scalino
