// scalino-cli settings, export and import against real settings files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/SpecialFiles.h"
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
                               "instrument=GENERIC\nbitRate=9600\ndataBits=8\nstopBits=1\n"
                               "parity=NONE\n"))
        << result.out;
    EXPECT_TRUE(result.out.ends_with("\ncustomRegEx=\n"));
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 33);
    EXPECT_FALSE(std::filesystem::exists(prefs_));  // printing saves nothing
}

// New settings type with the desktop's layout where an X display or a Wayland compositor is set;
// stored ones keep theirs.
TEST_F(SettingsCommandTest, NewSettingsFollowTheDesktopsLayoutWhereADisplayIsSet) {
    const auto withDisplay = [this](const std::string& display, std::vector<std::string> args) {
        args.insert(args.end(), {"--prefs", prefs_.string()});
        return runProgram(SCALINO_CLI, args, "",
                          {"SERIAL_PORT_LIST=/dev/ttyUSB7", "DISPLAY=" + display,
                           "WAYLAND_DISPLAY="});
    };
    EXPECT_EQ(printed(withDisplay("", {"settings"}).out, "keyboardType"), "QWERTY");
    EXPECT_EQ(printed(withDisplay(":9", {"settings"}).out, "keyboardType"), "DESKTOP");
    const auto waylandOnly = runProgram(
        SCALINO_CLI, {"settings", "--prefs", prefs_.string()}, "",
        {"SERIAL_PORT_LIST=/dev/ttyUSB7", "DISPLAY=", "WAYLAND_DISPLAY=wayland-0"});
    EXPECT_EQ(printed(waylandOnly.out, "keyboardType"), "DESKTOP");
    EXPECT_EQ(printed(withDisplay(":9", {"settings"}).out, "xkbLayout"), "");
    ASSERT_EQ(withDisplay("", {"settings", "--save", "--set", "keyboardType=GERMAN"}).exitStatus, 0);
    EXPECT_EQ(printed(withDisplay(":9", {"settings"}).out, "keyboardType"), "GERMAN");
    const auto named = withDisplay(":9", {"settings", "--set", "xkbLayout=ch(fr)"});
    EXPECT_EQ(printed(named.out, "xkbLayout"), "ch(fr)");
    const auto refused = withDisplay(":9", {"settings", "--set", "xkbLayout=ch(fr"});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_NE(refused.err.find("such as de, ch(fr) or us(dvorak)"), std::string::npos)
        << refused.err;
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

TEST_F(SettingsCommandTest, LineSettingsInRealValuesAreStoredAsTheWindowStoresThem) {
    const auto saved = cli({"settings", "--line", "2400,7E2,LF", "--set", "keyboardType=qwerty",
                            "--set", "roundingMethod=half_even", "--save"});
    ASSERT_EQ(saved.exitStatus, 0) << saved.err;
    const std::string file = readFile(prefs_);
    for (const char* stored :
         {"bitRate=5\n", "dataBits=2\n", "stopBits=1\n", "parity=2\n", "inputTerminator=10\n",
          "keyboardType=QUERTY\n", "roundingMethod=HALF_EVEN\n"}) {
        EXPECT_NE(file.find("\ncom.velmora.Scalino." + std::string(stored)), std::string::npos)
            << stored << file;
    }
    EXPECT_EQ(printed(saved.out, "bitRate"), "2400");
    EXPECT_EQ(printed(saved.out, "stopBits"), "2");
    EXPECT_EQ(printed(saved.out, "parity"), "EVEN");
    // What settings prints, --set takes back unchanged.
    std::vector<std::string> again = {"settings"};
    std::istringstream lines(saved.out);
    for (std::string line; std::getline(lines, line);)
        again.insert(again.end(), {"--set", line});
    EXPECT_EQ(cli(again).out, saved.out);
    // One stop bit is 1, and -b sets the rate alone.
    const auto changed = cli({"settings", "--set", "stopBits=1", "-b", "19200"});
    EXPECT_EQ(printed(changed.out, "stopBits"), "1");
    EXPECT_EQ(printed(changed.out, "bitRate"), "19200");
    EXPECT_EQ(printed(changed.out, "dataBits"), "7");
}

TEST_F(SettingsCommandTest, DefaultsBringTheInstrumentsLineSettingsAndHint) {
    ASSERT_EQ(cli({"settings", "--line", "2400,7E1,EOT", "--save"}).exitStatus, 0);
    const auto result =
        cli({"settings", "--set", "instrument=barcode_alpha_complete", "--defaults"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(printed(result.out, "instrument"), "BARCODE_ALPHA_COMPLETE");
    EXPECT_EQ(printed(result.out, "bitRate"), "9600");
    EXPECT_EQ(printed(result.out, "dataBits"), "8");
    EXPECT_EQ(printed(result.out, "parity"), "NONE");
    EXPECT_EQ(printed(result.out, "inputTerminator"), "13");
    EXPECT_NE(result.err.find("scalino-cli settings: line settings of BARCODE_ALPHA_COMPLETE: "
                              "9600 8N1 CR\nscalino-cli settings: Set the scanner to serial"),
              std::string::npos)
        << result.err;
    // An option given explicitly wins over the instrument's, in whatever order.
    const auto mixed =
        cli({"settings", "--defaults", "--set", "instrument=AND_SIMPLE", "--line", "4800,8N1"});
    EXPECT_EQ(printed(mixed.out, "bitRate"), "4800");
    EXPECT_EQ(printed(mixed.out, "inputTerminator"), "10");
}

TEST_F(SettingsCommandTest, ImportRefusesADocumentWithValuesThatWouldNotLoad) {
    ASSERT_EQ(cli({"settings", "--set", "delay=7", "--save"}).exitStatus, 0);
    const std::string before = readFile(prefs_);
    const auto document = dir_ / "Scalino.xml";
    writeFile(document,
              "<preferences EXTERNAL_XML_VERSION=\"1.0\"><root type=\"user\"><map/>"
              "<node name=\"com\"><map/><node name=\"velmora\"><map/><node name=\"Scalino\"><map>"
              "<entry key=\"delay\" value=\"banana\"/><entry key=\"decimalPlaces\" value=\"2\"/>"
              "<entry key=\"bitRate\" value=\"fast\"/><entry key=\"sound\" value=\"BOOM\"/>"
              "<entry key=\"port\" value=\"/dev/ttyUSB3\"/><entry key=\"unknown\" value=\"x\"/>"
              "</map></node></node></node></root></preferences>");
    const auto result = cli({"import", document.string()});
    EXPECT_EQ(result.exitStatus, 1);
    for (const char* refused : {"import: delay=banana will not load: expected milliseconds",
                                "import: bitRate=fast will not load", "import: sound=BOOM will"}) {
        EXPECT_NE(result.err.find(refused), std::string::npos) << refused << result.err;
    }
    EXPECT_EQ(result.err.find("decimalPlaces"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("nothing was imported"), std::string::npos);
    EXPECT_EQ(readFile(prefs_), before);
}

TEST_F(SettingsCommandTest, ImportReadsStandardInput) {
    ASSERT_EQ(cli({"settings", "--set", "delay=7", "--save"}).exitStatus, 0);
    const auto exported = cli({"export", "-"});
    ASSERT_EQ(exported.exitStatus, 0) << exported.err;
    const auto other = dir_ / "other.txt";
    const auto imported = runProgram(SCALINO_CLI, {"import", "-", "--prefs", other.string()},
                                     exported.out, {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    ASSERT_EQ(imported.exitStatus, 0) << imported.err;
    EXPECT_NE(readFile(other).find("\ncom.velmora.Scalino.delay=7\n"), std::string::npos);
}

TEST_F(SettingsCommandTest, ASaveThatCannotBeWrittenIsOneLine) {
    // A folder nobody can write into, root included: the file reads as empty, the save fails.
    const std::string file = "/proc/scalino-settings-test.txt";
    const auto result = runProgram(SCALINO_CLI, {"-q", "settings", "--save", "--prefs", file}, "",
                                   {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_TRUE(result.err.starts_with("scalino-cli settings: Cannot write " + file)) << result.err;
    // A folder that is a file fails the reading too: one line for each.
    writeFile(dir_ / "file", "");
    const auto both =
        runProgram(SCALINO_CLI, {"-q", "settings", "--save", "--prefs", (dir_ / "file/x").string()},
                   "", {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    EXPECT_EQ(both.exitStatus, 1);
    EXPECT_EQ(std::count(both.err.begin(), both.err.end(), '\n'), 2) << both.err;
}

// Runs scalino-cli through the shell, for redirections the test cannot make otherwise.
test::ProcessResult shell(const std::string& command) {
    return runProgram("/bin/sh", {"-c", command}, "", {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
}

TEST_F(SettingsCommandTest, OutputThatCannotBeWrittenIsAFailure) {
    const std::string cli = std::string(SCALINO_CLI) + " ";
    const std::string prefs = " --prefs " + prefs_.string();
    for (const std::string command :
         {"settings", "export -", "export /dev/stdout", "settings --help"}) {
        const auto result = shell("exec " + cli + command + prefs + " > /dev/full");
        EXPECT_EQ(result.exitStatus, 1) << command;
        const std::string name = command.substr(0, command.find(' '));
        EXPECT_NE(result.err.find("scalino-cli " + name +
                                  ": the output could not be written: No space left on device"),
                  std::string::npos)
            << command << ": " << result.err;
    }
    // The save asked for is made all the same.
    const auto saved =
        shell("exec " + cli + "settings --set delay=9 --save" + prefs + " > /dev/full");
    EXPECT_EQ(saved.exitStatus, 1);
    EXPECT_NE(readFile(prefs_).find("\ncom.velmora.Scalino.delay=9\n"), std::string::npos);
}

TEST_F(SettingsCommandTest, ExportToStandardOutput) {
    ASSERT_EQ(cli({"settings", "--set", "delay=7", "--save"}).exitStatus, 0);
    for (const std::string target : {"-", "/dev/stdout"}) {
        const auto result = cli({"export", target});
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_TRUE(result.out.starts_with("<?xml")) << result.out;
        EXPECT_NE(result.out.find("<entry key=\"delay\" value=\"7\" />"), std::string::npos)
            << result.out;
    }
    // Through the shell's redirection to a file, the document lands in that file.
    const auto document = dir_ / "shell.xml";
    const auto result = shell("exec " + std::string(SCALINO_CLI) + " export /dev/stdout --prefs " +
                              prefs_.string() + " > " + document.string());
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(readFile(document).find("<entry key=\"delay\" value=\"7\" />"), std::string::npos);
}

TEST_F(SettingsCommandTest, ExportRefusesWhatIsNotARegularFile) {
    for (const auto& [file, kind] : test::makeSpecialFiles(dir_.path())) {
        const auto result = cli({"export", file.string()});
        EXPECT_EQ(result.exitStatus, 1) << file;
        EXPECT_NE(
            result.err.find("scalino-cli export: Cannot write " + file.string() + ": " + kind),
            std::string::npos)
            << result.err;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir_ / "fifo"));
    EXPECT_TRUE(std::filesystem::is_socket(dir_ / "socket"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "link-to-fifo"));
    EXPECT_FALSE(std::filesystem::exists(prefs_));  // refused before anything was saved
}

TEST_F(SettingsCommandTest, ExportAndSaveWriteThroughSymbolicLinks) {
    std::filesystem::create_directory(dir_ / "real");
    writeFile(dir_ / "real/Scalino.xml", "old");
    std::filesystem::create_symlink("real/Scalino.xml", dir_ / "Scalino.xml");
    std::filesystem::create_symlink("real/prefs.txt", dir_ / "link-prefs.txt");
    const auto saved = runProgram(
        SCALINO_CLI,
        {"settings", "--set", "delay=5", "--save", "--prefs", (dir_ / "link-prefs.txt").string()},
        "", {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    ASSERT_EQ(saved.exitStatus, 0) << saved.err;
    const auto exported = runProgram(
        SCALINO_CLI,
        {"export", (dir_ / "Scalino.xml").string(), "--prefs", (dir_ / "link-prefs.txt").string()},
        "", {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    ASSERT_EQ(exported.exitStatus, 0) << exported.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "Scalino.xml"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "link-prefs.txt"));
    EXPECT_NE(readFile(dir_ / "real/prefs.txt").find("\ncom.velmora.Scalino.delay=5\n"),
              std::string::npos);
    EXPECT_NE(readFile(dir_ / "real/Scalino.xml").find("<entry key=\"delay\" value=\"5\" />"),
              std::string::npos);
}

TEST_F(SettingsCommandTest, ReadingAnEndlessFileStopsWithAMessage) {
    const auto imported = cli({"import", "/dev/zero"});
    EXPECT_EQ(imported.exitStatus, 1);
    EXPECT_NE(imported.err.find("scalino-cli import: /dev/zero is larger than 8 MiB, which no "
                                "preferences document is"),
              std::string::npos)
        << imported.err;
    const auto shown = runProgram(SCALINO_CLI, {"settings", "--prefs", "/dev/zero"}, "",
                                  {"SERIAL_PORT_LIST=/dev/ttyUSB7"});
    EXPECT_EQ(shown.exitStatus, 0);
    EXPECT_NE(shown.err.find("the stored settings could not be read, defaults apply: /dev/zero is "
                             "larger than 4 MiB, which no settings file is"),
              std::string::npos)
        << shown.err;
    EXPECT_EQ(printed(shown.out, "instrument"), "GENERIC");
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
