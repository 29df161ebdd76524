#include "rs232/SerialConfig.h"

#include <gtest/gtest.h>

#include <functional>

#include "rs232/SerialExceptions.h"
#include "support/Failure.h"
#include "support/FakeDriver.h"

namespace scalino {
namespace {

constexpr auto refusal = test::failureMessage<SerialParameterException>;

TEST(SerialConfigTest, SettersValidateWithTheirMessages) {
    SerialConfig c("/dev/ttyUSB0");
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { c.setBitRate(921600); }, ""},
        {[&] { c.setBitRate(921601); }, "Invalid Serial Port Bit Rate"},
        {[&] { c.setBitRate(-1); }, "Invalid Serial Port Bit Rate"},
        {[&] { c.setBitRate(14); }, ""},
        {[&] { c.setBitRate(9600); }, ""},
        {[&] { c.setDataBits(4); }, "Invalid Serial Port Data Bits"},
        {[&] { c.setParity(5); }, "Invalid Serial Port Parity"},
        {[&] { c.setParity(4); }, ""},
        {[&] { c.setStopBits(2); }, "Invalid Serial Port Stop Bits"},
        {[&] { c.setHandshake(15); }, "Invalid Serial Port Handshake"},
        {[&] { c.setHandshake(-1); }, "Invalid Serial Port Handshake"},
        {[&] { c.setHandshake(241); }, "Invalid Serial Port Handshake"},
        {[&] { c.setHandshake(16); }, ""},
        {[&] { c.setHandshake(240); }, ""},
        {[&] { c.setHandshake(3); }, "DSRDTR handshaking not available on this platform"},
        {[&] { c.setPortNum(-1); }, "Invalid Port Number: -1"},
        {[&] { c.setTxLen(100000); }, ""},
    };
    for (const auto& [set, message] : cases)
        EXPECT_EQ(refusal(set), message);
    EXPECT_EQ(c.getStopBits(), SerialConfig::ST_1BITS);  // refused values leave the field
}

TEST(SerialConfigTest, DsrDtrHandshakeOnlyWhereTheDriverHasIt) {
    for (const auto& [platform, accepted] :
         {std::pair{"Windows XP", true}, {"Windows 10", false}, {"Linux", false}, {"OS/2", true}}) {
        test::ScopedProperty os("os.name", platform);
        SerialConfig c("COM1");
        EXPECT_EQ(refusal([&] { c.setHandshake(SerialConfig::HS_DSRDTR); }).empty(), accepted)
            << platform;
    }
    test::ScopedProperty epoc("os.name", "EPOC");
    SerialConfig c("COMM::0");
    EXPECT_EQ(refusal([&] { c.setPortNum(-1); }), "");
    EXPECT_EQ(refusal([&] { c.setTxLen(8193); }), "Limited to 8192 on EPOC");
}

TEST(SerialConfigTest, BitRateNumbersAndIndexes) {
    SerialConfig c("/dev/ttyS0");
    c.setBitRate(31);
    EXPECT_EQ(c.getBitRateNumber(c.getBitRate()), 31);  // a raw rate
    c.setBitRate(14);
    EXPECT_EQ(c.getBitRateNumber(c.getBitRate()), 921600);
    c.setBitRate(20);
    EXPECT_EQ(c.getBitRateNumber(c.getBitRate()), -1);  // neither an index nor a raw rate
    EXPECT_EQ(SerialConfig::getBitRateIndex(9600), 7);
    EXPECT_EQ(SerialConfig::getBitRateIndex(12345), -1);
    EXPECT_EQ(SerialConfig::HS_CTSDTR, SerialConfig::HS_CTSRTS);
}

TEST(SerialConfigTest, SettingsString) {
    SerialConfig defaults("/dev/ttyS0");
    EXPECT_EQ(defaults.getSettingsString(), "9600 / NONE / 8 / 1 / NONE");
    SerialConfig c("/dev/ttyS0");
    c.setBitRate(SerialConfig::BR_19200);
    c.setParity(SerialConfig::PY_EVEN);
    c.setDataBits(SerialConfig::LN_7BITS);
    c.setStopBits(SerialConfig::ST_2BITS);
    c.setHandshake(SerialConfig::HS_HARD_IN | SerialConfig::HS_HARD_OUT);
    EXPECT_EQ(c.getSettingsString(), "19200 / EVEN / 7 / 2 /  HI HO");
    c.setHandshake(SerialConfig::HS_CTSRTS);
    EXPECT_EQ(c.getSettingsString(), "19200 / EVEN / 7 / 2 / CTS-RTS");
    test::ScopedProperty mac("os.name", "Mac OS");
    SerialConfig onMac("Modem Port");
    onMac.setHandshake(SerialConfig::HS_CTSRTS);
    EXPECT_EQ(onMac.getSettingsString(), "9600 / NONE / 8 / 1 / CTS-DTR");
}

}  // namespace
}  // namespace scalino
