#include "worker/LineDiagnostics.h"

#include <gtest/gtest.h>

#include "config/Instrument.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
using ConfigHelper::Instrument;

LineDiagnostics diagnosticsFor(int terminator, const std::string& customRegEx = "") {
    Config config = ConfigHelper::getDefaultConfig(Instrument::AND_SIMPLE);
    config.setInstrument(Instrument::AND_SIMPLE);
    config.setInputTerminator(terminator);
    config.setCustomRegEx(customRegEx);
    // Shows what was asked of the front end.
    return LineDiagnostics(config, [](std::string_view key, std::string_view value) {
        return "[" + std::string(key) + "=" + std::string(value) + "]";
    });
}

TEST(LineDiagnosticsTest, AMissingTerminatorNamesTheLineEndsThatCameAndTheOneToSet) {
    const auto other = [](std::string expected, std::string found, std::string name,
                          std::string code) {
        return workerText("no.terminator.other",
                          {expected, "2", found, name, code, "[inputTerminator=" + code + "]"});
    };
    const auto none = [](std::string expected) {
        return workerText("no.terminator.none", {expected, "2", "[inputTerminator=]"});
    };
    const std::vector<std::tuple<int, std::string, std::string>> cases = {
        {10, "ST,+00012.34  g\r", other("LF, 10", "CR (13)", "CR", "13")},
        // CR LF: the line ends after both.
        {4, "12.3\r\n12.4\r\n1", other("EOT, 4", "CR (13), LF (10)", "LF", "10")},
        // Start of text opens a line; only end of text can end it.
        {10, "\x02 12.3\x03\x02 12", other("LF, 10", "ETX (3)", "ETX", "3")},
        {13, "12.3\tkg\x17", other("CR, 13", "HT (9), ETB (23)", "ETB", "23")},
        {13, "\x01\x02 12.3\x1b", none("CR, 13")},
        {'#', "12.3", none("#, 35")},
        {200, "12.3", none("200")},
    };
    for (const auto& [terminator, pending, expected] : cases) {
        SCOPED_TRACE(pending);
        LineDiagnostics diagnostics = diagnosticsFor(terminator);
        EXPECT_EQ(diagnostics.pendingLine(pending, {}), std::nullopt);
        EXPECT_EQ(diagnostics.pendingLine(pending, LineDiagnostics::Clock::time_point(2s)),
                  expected);
    }
}

TEST(LineDiagnosticsTest, TheWaitRunsFromTheFirstByteOfThePendingLineAndIsReportedOnce) {
    LineDiagnostics diagnostics = diagnosticsFor('\n');
    const auto at = [](std::chrono::milliseconds t) {
        return LineDiagnostics::Clock::time_point(t);
    };
    EXPECT_EQ(diagnostics.pendingLine("", at(0s)), std::nullopt);  // nothing pending: no wait
    EXPECT_EQ(diagnostics.pendingLine("1", at(5s)), std::nullopt);
    EXPECT_EQ(diagnostics.pendingLine("12", at(6999ms)), std::nullopt);
    diagnostics.lineEnded();
    EXPECT_EQ(diagnostics.pendingLine("3", at(8s)), std::nullopt);
    EXPECT_NE(diagnostics.pendingLine("3\r", at(10s)), std::nullopt);
    EXPECT_EQ(diagnostics.pendingLine("3\r4", at(20s)), std::nullopt);
    diagnostics.lineEnded();
    EXPECT_EQ(diagnostics.pendingLine("5", at(30s)), std::nullopt);
    EXPECT_EQ(diagnostics.pendingLine("5\r", at(40s)), std::nullopt);
}

TEST(LineDiagnosticsTest, TenLinesInARowWithoutAValueAreReportedOnceOnTheTenth) {
    const std::vector<std::tuple<std::string, std::string, int>> cases = {
        // One line each: v with a value, - without; the line reported on, -1 for none.
        {"", "----------", 9},
        {"", "---------v---------", -1},
        {"", "---------v----------", 19},
        {"", "----------v-----------", 9},
        {"W([0-9.]+)", "----------", 9},
    };
    for (const auto& [customRegEx, values, reportedAt] : cases) {
        SCOPED_TRACE(customRegEx + values);
        LineDiagnostics diagnostics = diagnosticsFor('\n', customRegEx);
        int reported = -1;
        for (int i = 0; i < static_cast<int>(values.size()); ++i) {
            const std::string line = "E" + std::to_string(i) + "\r\n";
            const std::string last = "E" + std::to_string(i) + "<13><10>";
            auto report = diagnostics.processedLine(line, values[i] == 'v');
            if (!report) continue;
            EXPECT_EQ(reported, -1) << "reported twice";
            reported = i;
            EXPECT_EQ(*report,
                      customRegEx.empty()
                          ? workerText("no.value.instrument", {"10", "A&D (no handshaking)", last,
                                                               "[instrument=]", "[customRegEx=]"})
                          : workerText("no.value.custom",
                                       {"10", last, "[customRegEx=]", "[instrument=]"}));
        }
        EXPECT_EQ(reported, reportedAt);
    }
}

}  // namespace
}  // namespace scalino
