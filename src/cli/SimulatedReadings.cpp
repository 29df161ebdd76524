#include "cli/SimulatedReadings.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace scalino::cli {
namespace {

using ConfigHelper::Instrument;
using Lines = std::array<std::string_view, 3>;

// Readings of the instruments that come without sample lines, without the input terminator.
// Weighing instruments that end their lines with LF send CR LF, hence the CR at the end of
// theirs. The values change from line to line so that duplicate suppression keeps them.
// clang-format off
constexpr Lines kKernLines = {"      0.000 g\r", "     25.468 g\r", "  -   1.502 g\r"};

constexpr std::pair<Instrument, Lines> kReadings[] = {
    {Instrument::GENERIC, {"     0.00 g", "   125.40 g", "    -3.75 g"}},
    {Instrument::BARCODE, {"4006381333931", "5901234123457", "9780201379624"}},
    {Instrument::BARCODE_ALPHA, {"LOT4711", "SN20240315A", "PART0815"}},
    {Instrument::BARCODE_ALPHA_COMPLETE, {"Lot 7/B-12", "Order #4711: 3 x 250 g", "id=a1b2-C3D4"}},
    {Instrument::ADAM_GC_PCS, {"       125 pcs\r", "        12 pcs\r", "      1000 pcs\r"}},
    {Instrument::ADAM_HCB, {"      0.000 g\r", "    152.360 g\r", "     -2.005 g\r"}},
    {Instrument::ADAM_LABEL, {"Gross      1.250 kg\r", "Net        1.180 kg\r", "Tare       0.070 kg\r"}},
    {Instrument::KERN_572, kKernLines},
    {Instrument::KERND_DE, kKernLines},
    {Instrument::KERN_DS, kKernLines},
    {Instrument::KERN_FKB, kKernLines},
    {Instrument::KERN_KB_N, kKernLines},
    {Instrument::KERN_KFB, {"N         2.35 kg", "N        12.50 kg", "N        -0.15 kg"}},
    {Instrument::METTLER_DIALOG, {"S S       0.00 g\r", "S S     100.02 g\r", "S D      99.87 g\r"}},
    {Instrument::METTLER_PRINT, {"      0.00 g\r", "    245.10 g\r", "     -1.30 g\r"}},
    {Instrument::MYWEIGH_HD, {"+    0.0 g", "+  250.0 g", "-    3.0 g"}},
    {Instrument::OHAUS, {"      0.000 g\r", "     12.345 g\r", "     -0.120 g\r"}},
    {Instrument::OHAUSSPU, {"     0.0 g\r", "   125.4 g\r", "    -2.6 g\r"}},
    {Instrument::PRECISA, {"    0.0000 g\r", "   12.3456 g\r", "-   0.0150 g\r"}},
    {Instrument::SARTORIUS, {"+       0.00 g  \r", "+     125.40 g  \r", "-       3.75 g  \r"}},
};
// clang-format on

// A profile without samples has one pair of empty texts.
bool hasSamples(std::span<const ConfigHelper::TestString> samples) {
    return std::ranges::any_of(samples, [](const auto& sample) { return !sample.line.empty(); });
}

std::vector<std::string_view> bodies(Instrument instrument) {
    const auto samples = ConfigHelper::getTestStrings(instrument);
    if (hasSamples(samples)) {
        std::vector<std::string_view> lines;
        for (const auto& sample : samples)
            lines.push_back(sample.line);
        return lines;
    }
    for (const auto& [profile, lines] : kReadings) {
        if (profile == instrument) return {lines.begin(), lines.end()};
    }
    return {};
}

}  // namespace

std::vector<std::string> simulatedLines(Instrument instrument) {
    const char terminator =
        static_cast<char>(ConfigHelper::getSerialDefaults(instrument).inputTerminator);
    std::vector<std::string> lines;
    for (std::string_view body : bodies(instrument)) {
        std::string line(body);
        // Some samples already end with the terminator, as the instrument sends them.
        if (!line.ends_with(terminator)) line += terminator;
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace scalino::cli
