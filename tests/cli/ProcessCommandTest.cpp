// scalino-cli process, run as a program: real bytes in, lines and messages out.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

test::ProcessResult process(std::vector<std::string> settings, const std::string& input) {
    std::vector<std::string> arguments{"process"};
    for (auto& setting : settings)
        arguments.insert(arguments.end(), {"--set", setting});
    return test::runProgram(SCALINO_CLI, arguments, input);
}

TEST(ProcessCommandTest, PrintsNumberValueFaultAndReadableRawLine) {
    const auto result = process({"instrument=AND", "inputTerminator=10", "decimalPlaces=1"},
                                "ST,+00012.34  g\r\nOL\r\nST,-00000.05  g\r\n");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out,
              "1\t12.3\t0\tST,+00012.34  g<13><10>\n"
              "2\t\t0\tOL<13><10>\n"
              "3\t-0.1\t0\tST,-00000.05  g<13><10>\n");
    EXPECT_EQ(result.err, "");
}

TEST(ProcessCommandTest, ReportsBytesLeftWithoutTerminator) {
    const auto result = process({}, "12.5\r12.3");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "1\t12.5\t0\t12.5<13>\n");
    EXPECT_EQ(result.err, workerText("unsent.data") + " 12.3\n");
    EXPECT_EQ(process({}, "\n").err, workerText("unsent.data") + " <10>\n");
}

TEST(ProcessCommandTest, AValueThatIsNotANumberEndsProcessingWithStatus3) {
    const auto result = process({"customRegEx=([a-z0-9]+)"}, "42\rabc\r7\r");
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.out, "1\t42\t0\t42<13>\n");
    EXPECT_EQ(result.err.rfind(workerText("execution.exception") + " ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("abc"), std::string::npos) << result.err;
}

TEST(ProcessCommandTest, BarcodeFailuresCostOnlyTheirLine) {
    const auto result =
        process({"instrument=BARCODE_ALPHA", "customRegEx=([A-Z]+)|-"}, "AB 12\r-\r\xb0\r");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "1\tAB\t0\tAB 12<13>\n3\t\t0\t<176><13>\n");
    EXPECT_EQ(result.err.rfind("Error [WW]: ", 0), 0u) << result.err;
}

TEST(ProcessCommandTest, DuplicatesAreSuppressedWhenAsked) {
    const auto result = process({"ignoreDuplicates=true"}, "5\r5\r6\r5\r");
    EXPECT_EQ(result.out, "1\t5\t0\t5<13>\n2\t\t0\t5<13>\n3\t6\t0\t6<13>\n4\t5\t0\t5<13>\n");
}

TEST(ProcessCommandTest, ValuesArePrintedAsUtf8WithControlCharactersAsCodes) {
    const auto result = process({"instrument=BARCODE", "customRegEx=(.+)"}, "21\xb0\x01\r");
    EXPECT_EQ(result.out, "1\t21\xc2\xb0<1>\t0\t21<176><1><13>\n");
}

TEST(ProcessCommandTest, BadSettingsAreRefusedBeforeAnythingIsRead) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--set", "decimalPlaces=8"}, "decimalPlaces"},
        {{"--set", "colour=red"}, "colour"},
        {{"--set", "instrument=kern_mpx"}, "instrument"},
        {{"--set", "mathOperand=1,5"}, "mathOperand"},
        {{"--set", "mathOperand=0.0"}, "mathOperand"},
        {{"--set", "mathOperand=-0"}, "mathOperand"},
        {{"--set", "customRegEx=abc"}, "customRegEx"},
        {{"--set", "noequals"}, "noequals"},
        {{"--verbose"}, "--verbose"},
    };
    for (const auto& [arguments, named] : cases) {
        std::vector<std::string> all{"process"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const auto result = test::runProgram(SCALINO_CLI, all, "5\r");
        EXPECT_EQ(result.exitStatus, 2) << named;
        EXPECT_EQ(result.out, "") << named;
        EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
    }
}

TEST(ProcessCommandTest, AStoredOperandOfZeroIsInvalidAndNoMathApplies) {
    test::TempDir folder;
    const auto prefs = folder / "prefs.txt";
    test::writeFile(prefs,
                    "com.velmora.Scalino.mathOperation=DIVIDE\n"
                    "com.velmora.Scalino.mathOperand=0.0\n"
                    "com.velmora.Scalino.decimalPlaces=2\n");
    const auto result = test::runProgram(SCALINO_CLI, {"process", "--prefs", prefs}, "5\r");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "1\t5\t0\t5<13>\n");
    EXPECT_NE(result.err.find("scalino-cli process: stored setting mathOperand=0.0 is not valid; "
                              "its default (empty) applies until the settings are saved again\n"),
              std::string::npos)
        << result.err;
}

// The commands that print results, with standard output on a device that is always full.
TEST(ProcessCommandTest, OutputThatCannotBeWrittenEndsWithAMessageAndStatus1) {
    const std::string cli = SCALINO_CLI;
    const std::pair<std::string, std::string> cases[] = {
        {"printf '5\\r6\\r' | " + cli + " process", "process"},
        {cli + " instruments", "instruments"},
        {cli + " --help", "help"},
        {cli + " type 5 --keyboard record", "type"},
    };
    for (const auto& [command, name] : cases) {
        SCOPED_TRACE(command);
        const auto result = test::runProgram("/bin/sh", {"-c", command + " > /dev/full"}, "");
        EXPECT_EQ(result.exitStatus, 1) << result.err;
        EXPECT_NE(result.err.find("scalino-cli " + name +
                                  ": the output could not be written: " + std::strerror(ENOSPC)),
                  std::string::npos)
            << result.err;
    }
}

TEST(ProcessCommandTest, HelpExplainsEveryOption) {
    const auto result = test::runProgram(SCALINO_CLI, {"process", "--help"}, "");
    EXPECT_EQ(result.exitStatus, 0);
    for (std::string_view word : {"--set", "--help", "Example", "instrument", "customRegEx"})
        EXPECT_NE(result.out.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace scalino
