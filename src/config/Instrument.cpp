#include "config/Instrument.h"

#include "config/Config.h"
#include "util/ResourceBundle.h"

namespace scalino::ConfigHelper {
namespace {

constexpr std::string_view kCommon = R"re(([-+]?\s*[0-9]*[\.,]?[0-9]+))re";

// Sample lines: \r and \n are the terminators the instruments send.
// clang-format off
constexpr TestString kAndSamples[] = {
    {"ST, +00012.34 kg", "+00012.34"},
    {"US, -00012,45 g", "-00012,45"},
    {"ST, +00000101 PC", "+00000101"},
    {"ST, 12345,67 kg", ""},
};
constexpr TestString kAdamAzextraSamples[] = {
    {"10/06/2016   03:52:47\r\n   UNIT PRICE        NET      TOTAL\r\n-------------------------------------\r\n?      4.45/100g    0.058kg ?    2.58\r\n\r\n\r\n\r\n", "    0.058"},
    {"\r\n\r\nDATE   10/06/2016\r\nTIME   04:18:39\r\n\r\nUNIT\r\nPRICE ?   33.43/100g\r\n\r\nNET.      1.234kg\r\n\r\nTOTAL ?  412.53\r\n\r\n\r\n\r\n", "      1.234"},
    {"   1.234kg\r\n", "   1.234"},
};
constexpr TestString kAdamCbkSamples[] = {
    {"  1.9999 kg\n", "  1.9999"},
    {"  -1.8999 kg\n", "-1.8999"},
};
constexpr TestString kAdamCpwPlusSamples[] = {
    {"add:   A\n", ""},
    {"G/W:+ 60.24   kg\n\n\n\n", "+ 60.24"},
};
constexpr TestString kAdamGcSamples[] = {
    {"Date   07/09/2010\r", ""},
    {"Time   16:20:15\r", ""},
    {"Scale ID         \r", ""},
    {"User ID          \r", ""},
    {"Gross Wt   0.0020 kg\r", "  0.0020"},
    {"Net Wt     0.0845 kg\r", "    0.0845"},
};
constexpr TestString kKernMpsSamples[] = {
    {"NET  WEIGHT  3.3kg\n", "  3.3"},
    {"N  60.24 kg\n", "  60.24"},
};
constexpr TestString kKernRpbSamples[] = {
    {"N:    0.404 kg\r", "0.404"},
    {"   0.34 EUR/kg\r", ""},
    {"N:  4000 g\r", "4000"},
};
constexpr TestString kKeyenceSamples[] = {
    {"DR,08,-99.998\r", "-99.998"},
    {"DR,02,+123.567\r", "+123.567"},
    {"DR,02,123.567\r", ""},
};
constexpr TestString kMitutoyoSamples[] = {
    {"01A+001.1920\r", "+001.1920"},
    {"01A-001.1805", "-001.1805"},
    {"+123.45", ""},
};
constexpr TestString kMitutoyoLsmSamples[] = {
    {"P00, 12.3456\r\n", " 12.3456"},
    {"12.3456", "12.3456"},
    {"P00, +012.3456", "+012.3456"},
};
constexpr TestString kHandPunchSamples[] = {
    {"021   001   15:27:00  06/29/16  IDENTITY VERIFIED FOR ID ( 999)", "999"},
};
constexpr TestString kTanitaSamples[] = {
    {"{0,16,~0,1,MO,\"TL-280\",Wg,123,Pt,0", "123"},
    {"{0,16,~0,1,MO,\"TL-280\",Wg,-12.3,Pt,0", "-12.3"},
};
constexpr TestString kWedderburnSamples[] = {
    {"\nA    2.10", ""},
    {"0    2.45", "    2.45"},
    {"4-    0.35", ""},
    {"14/06/2016 13:26:35", ""},
    {"1", ""},
    {"B@G", ""},
};
// clang-format on
constexpr TestString kNoSamples[] = {{"", ""}};

struct Profile {
    std::string_view regEx = kCommon;
    SerialDefaults defaults = {BitRates::BR_9600, DataBits::LN_8BITS, StopBits::ST_1BITS,
                               Parity::NONE, 13};
    InstrumentType type = InstrumentType::NUMBER;
    KeyMapType keyMap = KeyMapType::NUMERIC;
    std::string_view messageKey = {};
    std::string_view dataCommand = {};
    std::span<const TestString> testStrings = kNoSamples;
};

constexpr SerialDefaults serial(BitRates rate, DataBits bits, Parity parity, int terminator) {
    return {rate, bits, StopBits::ST_1BITS, parity, terminator};
}

constexpr int CR = 13, LF = 10;
using enum BitRates;
using enum DataBits;
constexpr Parity NONE = Parity::NONE, EVEN = Parity::EVEN, ODD = Parity::ODD, SPACE = Parity::SPACE;

// Profiles that share their data with another (A&D variants, the Kern 572 family) name the
// same constants, so they always agree.
constexpr SerialDefaults kAnd = serial(BR_2400, LN_7BITS, EVEN, LF);
constexpr std::string_view kAndRegEx = R"re(([-+]+[0-9]*[\.,]?[0-9]+))re";
constexpr SerialDefaults kKern572 = serial(BR_9600, LN_8BITS, NONE, LF);
constexpr SerialDefaults k9600Lf = serial(BR_9600, LN_8BITS, NONE, LF);

// clang-format off
constexpr Profile kProfiles[] = {
    /* GENERIC */ {.messageKey = "generic.defaultMessage"},
    /* BARCODE */ {.type = InstrumentType::TEXT, .messageKey = "barcode_numeric.defaultMessage"},
    /* BARCODE_ALPHA */ {.regEx = R"re(([\dA-Z]+))re", .type = InstrumentType::TEXT,
        .keyMap = KeyMapType::ALPHANUMERIC_BASIC, .messageKey = "barcode_alphanumeric.defaultMessage"},
    /* BARCODE_ALPHA_COMPLETE */ {.regEx = R"re(([] !"#$%&'()*+,-./\d:;<=>?@A-Z\[\\^_`a-z{|}~]+))re",
        .type = InstrumentType::TEXT, .keyMap = KeyMapType::ALPHANUMERIC_COMPLETE,
        .messageKey = "barcode_alphanumeric_complete.defaultMessage"},
    /* AND */ {.regEx = kAndRegEx, .defaults = kAnd, .testStrings = kAndSamples},
    /* AND_SIMPLE */ {.regEx = kAndRegEx, .defaults = kAnd, .testStrings = kAndSamples},
    /* AND_EM */ {.regEx = kAndRegEx, .defaults = k9600Lf, .messageKey = "aandd.em.defaultmessage",
        .testStrings = kAndSamples},
    /* ADAM_AZEXTRA_WEIGHT */ {.regEx = R"re(([-+]?\s*[0-9]*[\.,]?[0-9]+)kg)re",
        .defaults = serial(BR_4800, LN_8BITS, NONE, LF), .messageKey = "adam_azextra.defaultMessage",
        .testStrings = kAdamAzextraSamples},
    /* ADAM_CBK */ {.defaults = serial(BR_4800, LN_8BITS, NONE, LF),
        .messageKey = "adam_cbk.defaultMessage", .testStrings = kAdamCbkSamples},
    /* ADAM_CPWPLUS */ {.messageKey = "adam_cpwplus.defaultMessage", .testStrings = kAdamCpwPlusSamples},
    /* ADAM_GC_WEIGHT */ {.regEx = R"re(Wt\s?([-+]?\s*[0-9]*[\.,]?[0-9]+))re",
        .defaults = serial(BR_4800, LN_8BITS, NONE, LF), .testStrings = kAdamGcSamples},
    /* ADAM_GC_PCS */ {.regEx = R"re(([-+]?\s*[0-9]*[\.,]?[0-9]+)\s?(pcs))re",
        .defaults = serial(BR_4800, LN_8BITS, NONE, LF)},
    /* ADAM_HCB */ {.defaults = k9600Lf, .messageKey = "adam_hcb.defaultMessage"},
    /* ADAM_LABEL */ {.regEx = R"re(([-+]?\s*[0-9]*[\.,]?[0-9]+)\s?(kg|g|lb|oz|pcs|ct|d|GN|ozt|dwt|MM|TlH|TlC|Tlt|t|N|g2|TlJ))re",
        .defaults = k9600Lf},
    /* KERN_572 */ {.defaults = kKern572},
    /* KERND_DE */ {.defaults = kKern572},
    /* KERN_DS */ {.defaults = kKern572},
    /* KERN_FKB */ {.defaults = kKern572},
    /* KERN_KB_N */ {.defaults = kKern572},
    /* KERN_KFB */ {.defaults = serial(BR_9600, LN_8BITS, NONE, CR)},
    /* KERN_MPS */ {.regEx = R"re(^N.*?(-?\s*[0-9]*[\.,]?[0-9]+)\s*kg)re", .defaults = k9600Lf,
        .testStrings = kKernMpsSamples},
    /* KERN_RPB */ {.regEx = R"re(^N:\s*([0-9]*\.?[0-9]+))re", .defaults = k9600Lf,
        .messageKey = "kern_rpb.defaultMessage", .testStrings = kKernRpbSamples},
    /* KEYENCE_IL */ {.regEx = R"re(([+-]+\d*\.?\d+))re", .defaults = k9600Lf, .testStrings = kKeyenceSamples},
    /* METTLER_DIALOG */ {.defaults = k9600Lf},
    /* METTLER_PRINT */ {.defaults = serial(BR_2400, LN_7BITS, EVEN, LF)},
    /* MITUTOYO */ {.regEx = R"re(01A([-+]?\s*[0-9]*[\.,]?[0-9]+))re",
        .defaults = serial(BR_2400, LN_8BITS, NONE, CR), .dataCommand = "1\r", .testStrings = kMitutoyoSamples},
    /* MITUTOYO_LSM_6200 */ {.regEx = R"re(([-+]?\s*[0-9]*\.+[0-9]+))re", .defaults = k9600Lf,
        .testStrings = kMitutoyoLsmSamples},
    /* MYWEIGH_HD */ {.defaults = serial(BR_9600, LN_8BITS, SPACE, CR),
        .messageKey = "myweigh_hd.defaultMessage"},
    /* OHAUS */ {.defaults = k9600Lf},
    /* OHAUSSPU */ {.defaults = serial(BR_2400, LN_7BITS, NONE, LF)},
    /* PRECISA */ {.defaults = serial(BR_9600, LN_7BITS, EVEN, LF)},
    /* SARTORIUS */ {.defaults = serial(BR_1200, LN_7BITS, ODD, LF),
        .messageKey = "sartorius.defaultMessage"},
    /* SCHLAGE_HANDPUNCH */ {.regEx = R"re(\(\s*([0-9]*)\))re", .defaults = k9600Lf,
        .testStrings = kHandPunchSamples},
    /* TANITA_TL280 */ {.regEx = R"re(Wg,([-+]?\s*[0-9]*[\.,]?[0-9]+))re", .defaults = k9600Lf,
        .testStrings = kTanitaSamples},
    /* WEDDERBURN */ {.regEx = R"re(^0(-?\s+[0-9]*\.?[0-9]+))re", .defaults = k9600Lf,
        .testStrings = kWedderburnSamples},
};
// clang-format on
static_assert(std::size(kProfiles) == Description<Instrument>::constants.size());

const Profile& profile(Instrument instrument) {
    return kProfiles[ordinal(instrument)];
}

}  // namespace

int getCaptureGroup(Instrument) {
    return 1;
}

std::string_view getDataCommand(Instrument instrument) {
    return profile(instrument).dataCommand;
}

SerialDefaults getSerialDefaults(Instrument instrument) {
    return profile(instrument).defaults;
}

Config getDefaultConfig(Instrument instrument) {
    const SerialDefaults defaults = getSerialDefaults(instrument);
    Config config;
    config.setBitRate(ordinal(defaults.bitRate));
    config.setDataBits(ordinal(defaults.dataBits));
    config.setStopBits(ordinal(defaults.stopBits));
    config.setParity(ordinal(defaults.parity));
    config.setInputTerminator(defaults.inputTerminator);
    return config;
}

std::optional<std::string> getDefaultMessage(Instrument instrument) {
    const std::string_view key = profile(instrument).messageKey;
    if (key.empty()) return std::nullopt;
    return bundle().getString(key);
}

InstrumentType getInstrumentType(Instrument instrument) {
    return profile(instrument).type;
}

KeyMapType getKeyMapType(Instrument instrument) {
    return profile(instrument).keyMap;
}

std::string_view getRegEx(Instrument instrument) {
    return profile(instrument).regEx;
}

std::span<const TestString> getTestStrings(Instrument instrument) {
    return profile(instrument).testStrings;
}

}  // namespace scalino::ConfigHelper
