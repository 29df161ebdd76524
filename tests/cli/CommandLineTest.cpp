// scalino-cli's command line as a whole: version, help, quiet, and what it refuses.
#include <gtest/gtest.h>

#include "support/Subprocess.h"
#include "support/TempDir.h"

namespace scalino {
namespace {

using test::runProgram;

test::ProcessResult cli(const std::vector<std::string>& arguments, const std::string& input = "") {
    return runProgram(SCALINO_CLI, arguments, input, {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
}

TEST(CommandLineTest, VersionIsShownEitherWay) {
    for (const char* spelling : {"--version", "version"}) {
        const auto result = cli({spelling});
        EXPECT_EQ(result.exitStatus, 0) << spelling << result.err;
        EXPECT_TRUE(result.out.starts_with("scalino-cli ")) << result.out;
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1);
    }
}

TEST(CommandLineTest, QuietLeavesOutTheSerialLibrarysNotices) {
    const auto loud = cli({"ports"});
    ASSERT_EQ(loud.exitStatus, 0) << loud.err;
    ASSERT_FALSE(loud.err.empty());  // the library's banner
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"-q", "ports"}, {"ports", "--quiet"}}) {
        const auto quiet = cli(arguments);
        EXPECT_EQ(quiet.exitStatus, 0) << quiet.err;
        EXPECT_EQ(quiet.err, "");
        EXPECT_EQ(quiet.out, loud.out);
    }
}

struct Refusal {
    std::vector<std::string> arguments;
    std::string message;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    for (const std::string& argument : refusal.arguments)
        *out << argument << " ";
}

class RefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusalTest, EndsWithStatus2AndSaysWhy) {
    const test::TempDir dir;
    std::vector<std::string> arguments = GetParam().arguments;
    arguments.insert(arguments.begin(), "-q");
    arguments.insert(arguments.end(), {"--prefs", (dir / "prefs.txt").string()});
    const auto result = cli(arguments);
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir / "prefs.txt"));
}

// The --prefs appended by the test comes last, so a missing value is tested with options that
// take theirs before it.
INSTANTIATE_TEST_SUITE_P(
    Arguments, RefusalTest,
    ::testing::Values(
        Refusal{{"bogus"}, "unknown command 'bogus'"},
        Refusal{{"instruments", "bogus"}, "scalino-cli instruments: unexpected argument 'bogus'"},
        Refusal{{"version", "extra"}, "unexpected argument 'extra'"},
        Refusal{{"ports", "extra"}, "unexpected argument 'extra'"},
        Refusal{{"process", "extra"}, "unexpected argument 'extra'"},
        Refusal{{"export", "a.xml", "b.xml"}, "unexpected argument 'b.xml'"},
        Refusal{{"settings", "--save", "--set"},
                "scalino-cli settings: option '--set' requires an argument"},
        Refusal{{"process", "-b"}, "option '-b' requires an argument"},
        Refusal{{"read", "--port"}, "option '--port' requires an argument"},
        Refusal{{"simulate", "--interval"}, "option '--interval' requires an argument"},
        Refusal{{"type", "1", "--keyboard"}, "option '--keyboard' requires an argument"},
        Refusal{{"settings", "--line", "9600,8Q1"}, "--line: '9600,8Q1' is not a line setting"},
        Refusal{{"settings", "--set", "bitRate=9601"},
                "'9601' is not a valid value for bitRate: expected a bit rate"},
        Refusal{{"settings", "--set", "stopBits=3"}, "expected 1 or 2"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(CommandLineTest, InstrumentsLongGivesEachProfilesLineSettingsAndHint) {
    const auto result = cli({"-q", "instruments", "--long"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    std::istringstream lines(result.out);
    int count = 0;
    std::string andSimple, barcode;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
        if (line.starts_with("AND_SIMPLE\t")) andSimple = line;
        if (line.starts_with("BARCODE_ALPHA_COMPLETE\t")) barcode = line;
    }
    EXPECT_EQ(count, 35);
    EXPECT_TRUE(andSimple.ends_with("\t2400 7E1 LF\t")) << andSimple;
    EXPECT_NE(barcode.find("\t9600 8N1 CR\tSet the scanner to serial"), std::string::npos)
        << barcode;
}

}  // namespace
}  // namespace scalino
