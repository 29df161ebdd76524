#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "config/ConfigHelper.h"

namespace scalino {
class Config;
}

namespace scalino::ConfigHelper {

// The built-in instrument profiles, in the order of the instrument list.
// clang-format off
enum class Instrument {
    GENERIC, BARCODE, BARCODE_ALPHA, BARCODE_ALPHA_COMPLETE, AND, AND_SIMPLE, AND_EM,
    ADAM_AZEXTRA_WEIGHT, ADAM_CBK, ADAM_CPWPLUS, ADAM_GC_WEIGHT, ADAM_GC_PCS, ADAM_HCB,
    ADAM_LABEL, KERN_572, KERND_DE, KERN_DS, KERN_FKB, KERN_KB_N, KERN_KFB, KERN_MPS,
    KERN_RPB, KEYENCE_IL, METTLER_DIALOG, METTLER_PRINT, MITUTOYO, MITUTOYO_LSM_6200,
    MYWEIGH_HD, OHAUS, OHAUSSPU, PRECISA, SARTORIUS, SCHLAGE_HANDPUNCH, TANITA_TL280, WEDDERBURN
};
// clang-format on

template <>
struct Description<Instrument> {
    static constexpr std::array constants = {
        keyed("GENERIC", "generic"),
        keyed("BARCODE", "barcode_numeric"),
        keyed("BARCODE_ALPHA", "barcode_alphanumeric"),
        keyed("BARCODE_ALPHA_COMPLETE", "barcode_alphanumeric_complete"),
        literal("AND", "A&D"),
        literal("AND_SIMPLE", "A&D (no handshaking)"),
        literal("AND_EM", "A&D EM"),
        keyed("ADAM_AZEXTRA_WEIGHT", "adam_azextra_weight"),
        literal("ADAM_CBK", "Adam CBK/GBK/GFK"),
        literal("ADAM_CPWPLUS", "Adam CPWplus"),
        keyed("ADAM_GC_WEIGHT", "adam_gbc_gfc_weight"),
        keyed("ADAM_GC_PCS", "adam_gbc_gfc_pcs"),
        literal("ADAM_HCB", "Adam Highland (HCB)"),
        literal("ADAM_LABEL", "Adam label format"),
        literal("KERN_572", "Kern 572"),
        literal("KERND_DE", "Kern DE"),
        literal("KERN_DS", "Kern DS"),
        literal("KERN_FKB", "Kern FKB"),
        literal("KERN_KB_N", "Kern KB-N"),
        literal("KERN_KFB", "Kern KFB"),
        literal("KERN_MPS", "Kern MPS / MPT / MXS / MWS / MTS / MCB"),
        keyed("KERN_RPB", "kern_rpb_weight"),
        literal("KEYENCE_IL", "Keyence IL"),
        literal("METTLER_DIALOG", "Mettler Toledo Dialog"),
        literal("METTLER_PRINT", "Mettler Toledo Print"),
        literal("MITUTOYO", "Mitutoyo 264-007"),
        literal("MITUTOYO_LSM_6200", "Mitutoyo LSM-6200"),
        literal("MYWEIGH_HD", "MyWeigh HD"),
        literal("OHAUS", "Ohaus"),
        literal("OHAUSSPU", "Ohaus SPU,TA,NV"),
        literal("PRECISA", "Precisa"),
        literal("SARTORIUS", "Sartorius"),
        literal("SCHLAGE_HANDPUNCH", "Schlage HandPunch (employee ID)"),
        literal("TANITA_TL280", "Tanita TL-280/TL-290"),
        literal("WEDDERBURN", "Wedderburn")};
    static constexpr Instrument defaultValue = Instrument::GENERIC;
};

// The serial settings the default button applies for an instrument.
struct SerialDefaults {
    BitRates bitRate;
    DataBits dataBits;
    StopBits stopBits;
    Parity parity;
    int inputTerminator;  // character code
};

// A sample line as the instrument sends it and the value extraction must yield (empty: none).
struct TestString {
    std::string_view line;
    std::string_view value;
};

int getCaptureGroup(Instrument instrument);
// The command that requests a reading; kept with the profile, never sent by the workers.
std::string_view getDataCommand(Instrument instrument);
SerialDefaults getSerialDefaults(Instrument instrument);
// A new settings object with the construction defaults and the instrument's five serial
// defaults (bit rate, data bits, stop bits, parity, input terminator); nothing else is set.
Config getDefaultConfig(Instrument instrument);
// The device hint, looked up in the settings bundle at each call; none for most instruments.
std::optional<std::string> getDefaultMessage(Instrument instrument);
InstrumentType getInstrumentType(Instrument instrument);
KeyMapType getKeyMapType(Instrument instrument);
// The extraction expression (ASCII, so the same in the byte model of received data).
std::string_view getRegEx(Instrument instrument);
std::span<const TestString> getTestStrings(Instrument instrument);

}  // namespace scalino::ConfigHelper
