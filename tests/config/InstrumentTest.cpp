#include "config/Instrument.h"

#include <gtest/gtest.h>

#include "util/Regex.h"
#include "util/Text.h"

namespace scalino::ConfigHelper {
namespace {

// The value a line yields: the instrument's group of the first match anywhere in the line.
std::string extract(Instrument instrument, std::string_view line) {
    Regex regex{getRegEx(instrument)};
    RegexMatch match(regex);
    if (regex.find(line, match) != Regex::Result::Found) return "";
    return std::string(match.group(getCaptureGroup(instrument)).value_or(""));
}

TEST(InstrumentTest, EverySampleLineYieldsItsValue) {
    int pairs = 0;
    for (Instrument instrument : values<Instrument>()) {
        for (const TestString& sample : getTestStrings(instrument)) {
            EXPECT_EQ(extract(instrument, sample.line), sample.value)
                << name(instrument) << ": " << readableForm(sample.line);
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, 68);  // 48 real samples, and one empty pair for each of 20 profiles
}

TEST(InstrumentTest, TheListAndItsDefault) {
    EXPECT_EQ(values<Instrument>().size(), 35u);
    EXPECT_EQ(getDefault<Instrument>(), Instrument::GENERIC);
    EXPECT_EQ(ordinal(Instrument::GENERIC), 0);
    EXPECT_EQ(ordinal(Instrument::WEDDERBURN), 34);
    EXPECT_EQ(valueOf<Instrument>("KERN_MPS"), Instrument::KERN_MPS);
    EXPECT_EQ(valueOf<Instrument>("kern_mps"), std::nullopt);
    EXPECT_EQ(toString(Instrument::AND), "A&D");
    EXPECT_EQ(toString(Instrument::KERN_MPS), "Kern MPS / MPT / MXS / MWS / MTS / MCB");
    for (Instrument instrument : values<Instrument>()) {
        EXPECT_FALSE(toString(instrument).empty()) << name(instrument);
        EXPECT_EQ(getCaptureGroup(instrument), 1);
        EXPECT_NO_THROW(Regex{getRegEx(instrument)}) << name(instrument);
    }
}

TEST(InstrumentTest, VariantsShareTheirOriginalsData) {
    for (Instrument variant : {Instrument::AND_SIMPLE, Instrument::AND_EM}) {
        EXPECT_EQ(getRegEx(variant), getRegEx(Instrument::AND));
        EXPECT_EQ(getTestStrings(variant).data(), getTestStrings(Instrument::AND).data());
    }
    const auto sameDefaults = [](Instrument a, Instrument b) {
        const SerialDefaults x = getSerialDefaults(a), y = getSerialDefaults(b);
        return x.bitRate == y.bitRate && x.dataBits == y.dataBits && x.stopBits == y.stopBits &&
               x.parity == y.parity && x.inputTerminator == y.inputTerminator;
    };
    EXPECT_TRUE(sameDefaults(Instrument::AND_SIMPLE, Instrument::AND));
    EXPECT_FALSE(sameDefaults(Instrument::AND_EM, Instrument::AND));
    for (Instrument kern :
         {Instrument::KERND_DE, Instrument::KERN_DS, Instrument::KERN_FKB, Instrument::KERN_KB_N})
        EXPECT_TRUE(sameDefaults(kern, Instrument::KERN_572)) << name(kern);
}

// Units and neighbours that the sample tables do not cover.
TEST(InstrumentTest, ExtractsOnlyTheNumberFromUnitProfiles) {
    EXPECT_EQ(extract(Instrument::ADAM_GC_PCS, "Count  125 pcs\n"), "  125");
    EXPECT_EQ(extract(Instrument::ADAM_LABEL, "NET  1.250 kg\n"), "  1.250");
    EXPECT_EQ(extract(Instrument::ADAM_LABEL, "12 ozt\n"), "12");
    EXPECT_EQ(extract(Instrument::BARCODE_ALPHA, "ab12CD-9\r"), "12CD");
    EXPECT_EQ(extract(Instrument::BARCODE_ALPHA_COMPLETE,
                      "\x02"
                      "A-1 ]x[\\~\r"),
              "A-1 ]x[\\~");
}

}  // namespace
}  // namespace scalino::ConfigHelper
