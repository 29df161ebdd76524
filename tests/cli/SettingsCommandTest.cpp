// scalino-cli settings, export and import against real settings files.
#include <gtest/gtest.h>

#include "support/Subprocess.h"
#include "support/TempDir.h"

namespace scalino {
namespace {

using test::readFile;
using test::runProgram;
using test::TempDir;
using test::writeFile;

// The value printed for a key by "settings".
std::string printed(const std::string& out, const std::string& key) {
    const size_t at = out.find("\n" + key + "=");
    if (at == std::string::npos) return "<missing>";
    const size_t start = at + key.size() + 2;
    return out.substr(start, out.find('\n', start) - start);
}

class SettingsCommandTest : public ::testing::Test {
protected:
    test::ProcessResult cli(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--prefs", prefs_.string()});
        return runProgram(SCALINO_CLI, arguments, "", {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    }

    TempDir dir_;
    std::filesystem::path prefs_ = dir_ / "prefs.txt";
};

TEST_F(SettingsCommandTest, PrintsEverySettingInReadingOrder) {
    const auto result = cli({"settings"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(
        result.out.starts_with("port=/dev/ttyUSB7\nprevPort=/dev/ttyUSB7\n"
                               "instrument=GENERIC\nbitRate=7\n"))
        << result.out;
    EXPECT_TRUE(result.out.ends_with("\ncustomRegEx=\n"));
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 31);
    EXPECT_FALSE(std::filesystem::exists(prefs_));  // printing saves nothing
}

TEST_F(SettingsCommandTest, SavesWhatTheNextRunLoads) {
    const auto saved =
        cli({"settings", "--set", "instrument=KERN_572", "--set", "removeCharacters=g=k #\xC2\xB0",
             "--set", "ignoreDuplicates=true", "--save"});
    ASSERT_EQ(saved.exitStatus, 0) << saved.err;
    const std::string file = readFile(prefs_);
    EXPECT_NE(file.find("\ncom.velmora.Scalino.removeCharacters=g\\=k \\#\\u00B0\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("\ncom.velmora.Scalino.port=/dev/ttyUSB7\n"), std::string::npos);

    const auto loaded = cli({"settings"});
    EXPECT_EQ(loaded.out, saved.out);
    EXPECT_EQ(printed(loaded.out, "removeCharacters"), "g=k #\xC2\xB0");  // as typed
    EXPECT_EQ(printed(loaded.out, "ignoreDuplicates"), "true");
}

TEST_F(SettingsCommandTest, InvalidStoredValuesAreReportedAndProcessingGoesOn) {
    writeFile(prefs_,
              "com.velmora.Scalino.bitRate=15\n"
              "com.velmora.Scalino.decimalPlaces=2\n"
              "com.velmora.Scalino.instrument=kern_572\n");
    const auto result = runProgram(SCALINO_CLI, {"process", "--prefs", prefs_.string()}, "1.005\r");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "1\t1.01\t0\t1.005<13>\n");  // the stored places apply
    EXPECT_NE(result.err.find("bitRate=15"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("instrument=kern_572"), std::string::npos);
    // The file is left as it was until the settings are saved.
    EXPECT_NE(readFile(prefs_).find("bitRate=15"), std::string::npos);
}

TEST_F(SettingsCommandTest, ExportAndImportCarrySettingsToAnotherStore) {
    ASSERT_EQ(
        cli({"settings", "--set", "delay=7", "--set", "customRegEx=<(\\d+)>", "--save"}).exitStatus,
        0);
    const auto document = dir_ / "Scalino.xml";
    const auto exported = cli({"export", document.string()});
    ASSERT_EQ(exported.exitStatus, 0) << exported.err;
    EXPECT_NE(readFile(document).find("<entry key=\"customRegEx\" value=\"&lt;(\\d+)>\""),
              std::string::npos)
        << readFile(document);

    const auto other = dir_ / "other.txt";
    writeFile(other, "unrelated.key=kept\n");
    const auto imported =
        runProgram(SCALINO_CLI, {"import", document.string(), "--prefs", other.string()}, "",
                   {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    ASSERT_EQ(imported.exitStatus, 0) << imported.err;
    const auto shown = runProgram(SCALINO_CLI, {"settings", "--prefs", other.string()}, "",
                                  {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    EXPECT_EQ(shown.out, cli({"settings"}).out);
    EXPECT_NE(readFile(other).find("unrelated.key=kept"), std::string::npos);
}

TEST_F(SettingsCommandTest, ABadDocumentIsRefusedAndChangesNothing) {
    ASSERT_EQ(cli({"settings", "--save"}).exitStatus, 0);
    const std::string before = readFile(prefs_);
    const auto document = dir_ / "broken.xml";
    writeFile(document, "<preferences EXTERNAL_XML_VERSION=\"1.0\"><root type=\"user\">\n<map>");
    const auto result = cli({"import", document.string()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("line 2"), std::string::npos) << result.err;
    EXPECT_EQ(readFile(prefs_), before);
    EXPECT_EQ(cli({"import", (dir_ / "missing.xml").string()}).exitStatus, 1);
}

TEST(SettingsFileChoiceTest, UsesTheHomeFolderOrTheSharedFile) {
    TempDir home;
    const auto result = runProgram(SCALINO_CLI, {"settings", "--set", "port=COM1", "--save"}, "",
                                   {"HOME=" + home.path().string()});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const std::string file = readFile(home / ".fileprefs");
    EXPECT_TRUE(file.starts_with("#FilePreferences\n#")) << file;
    EXPECT_NE(file.find("\ncom.velmora.Scalino.port=COM1\n"), std::string::npos);

    TempDir programData;
    std::filesystem::create_directories(programData / "Velmora/ScalinoMU");
    const auto shared =
        runProgram(SCALINO_CLI, {"settings", "--set", "delay=9", "--save"}, "",
                   {"HOME=" + home.path().string(), "ProgramData=" + programData.path().string()});
    ASSERT_EQ(shared.exitStatus, 0) << shared.err;
    EXPECT_NE(readFile(programData / "Velmora/ScalinoMU/prefs.txt")
                  .find("\ncom.velmora.Scalino.delay=9\n"),
              std::string::npos);
}

}  // namespace
}  // namespace scalino
