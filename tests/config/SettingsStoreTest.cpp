#include "config/SettingsStore.h"

#include <gtest/gtest.h>

#include <map>

#include "config/ConfigKeys.h"
#include "prefs/BackingStoreException.h"
#include "prefs/FilePreferencesFactory.h"
#include "support/TempDir.h"
#include "util/ProcessProperties.h"

namespace scalino {
namespace {

using ConfigHelper::Instrument;

// A value each setting accepts, one it does not (empty: every stored text is taken) and a
// second acceptable value that differs from the store's default.
struct KeyCase {
    std::string_view key, valid, invalid, other;
};

constexpr KeyCase kKeys[] = {
    {"instrument", "KERN_572", "kern_572", "AND"},
    {"bitRate", "14", "15", "3"},
    {"dataBits", "2", "4", "0"},
    {"stopBits", "1", "2", "1"},
    {"parity", "4", "-1", "2"},
    {"decimalSeparator", "COMMA", ",", "COMMA"},
    {"inputTerminator", "59", "256", "10"},
    {"startWith", "TAB", "tab", "TAB"},
    {"outputTerminator", "ENTER", "RETURN", "DOWN"},
    {"connect", "AUTO", "auto", "AUTO"},
    {"mathOperand", "0.5", "1,5x", "1000"},
    {"mathOperation", "DIVIDE", "DIV", "MULTIPLY"},
    {"decimalPlaces", "7", "8", "2"},
    {"roundingMethod", "HALF_EVEN", "EVEN", "CEILING"},
    {"sound", "COWBELL", "BELL", "CLAVES"},
    {"keyboardType", "GERMAN", "QWERTZ", "AZERTY"},
    {"keyboardOutput", "UINPUT", "uinput", "X11"},
    {"delay", "0", "1001", "25"},
    {"minimizeToTray", "true", "", "true"},
    {"notifyWhenMinimizedToTray", "TRUE", "", "true"},
    {"checkForUpdates", "false", "", "false"},
    {"abortAutoStartWhenPrevPortNotAvailable", "true", "", "true"},
    {"ignoreDuplicates", "true", "", "true"},
    {"editOperation", "KEEP", "keep", "KEEP"},
    {"editPosition", "LAST", "END", "LAST"},
    {"editNumCharacters", "3", "-1", "4"},
    {"removeCharacters", "gk ", "", "%"},
    {"ignoreTimeLimit", "500", "-5", "1000"},
    {"ignoreDifference", "0.02", "abc", "0.5"},
    {"customRegEx", "(\\d+)", "([0-9]+", "(\\d+)"},
};

class SettingsStoreTest : public ::testing::Test {
protected:
    Preferences& node() { return factory_.userRoot().node(kSettingsNodePath); }
    void store(std::string_view key, std::string_view value) { node().put(key, value); }

    test::TempDir dir_;
    FilePreferencesFactory factory_{dir_ / "prefs.txt"};
};

TEST_F(SettingsStoreTest, LoadsAcceptableValues) {
    for (const auto& c : kKeys)
        store(c.key, c.valid);
    Config config;
    EXPECT_TRUE(loadConfig(config, node(), {"/dev/ttyUSB0"}).allValid());
    for (const auto& c : kKeys) {
        const std::string expected = c.valid == "TRUE" ? "true" : std::string(c.valid);
        EXPECT_EQ(findConfigKey(c.key)->get(config), expected) << c.key;
    }
}

TEST_F(SettingsStoreTest, ReplacesValuesThatAreNotAcceptableAndReportsThem) {
    std::vector<std::string> expected;
    for (const auto& c : kKeys) {
        if (c.invalid.empty()) continue;
        store(c.key, c.invalid);
        expected.emplace_back(c.key);
    }
    // Integers and flags that do not convert read as missing: their default, silently.
    store("stopBits", "one");
    store("checkForUpdates", "yes");
    std::erase(expected, "stopBits");

    Config config;
    const LoadReport report = loadConfig(config, node(), {});
    std::vector<std::string> reported;
    for (const auto& invalid : report.invalidSettings)
        reported.push_back(invalid.key);
    EXPECT_EQ(reported, expected);
    EXPECT_FALSE(Config::hasChanged(config, defaultStoreConfig()));
}

TEST_F(SettingsStoreTest, AnEmptyStoreGivesTheFirstStartDefaults) {
    Config config;
    config.setPort("/dev/ttyS3");
    const LoadReport report = loadConfig(config, node(), {});
    EXPECT_TRUE(report.allValid());
    EXPECT_FALSE(report.storeFailure);
    // Without ports "port" is not read; "prevPort" defaults to the port kept.
    EXPECT_EQ(config.getPort(), "/dev/ttyS3");
    EXPECT_EQ(config.getPrevPort(), "/dev/ttyS3");
    Config expected = defaultStoreConfig();
    expected.setPort("/dev/ttyS3");
    EXPECT_FALSE(Config::hasChanged(config, expected));

    loadConfig(config, node(), {"/dev/ttyUSB0", "/dev/ttyUSB1"});
    EXPECT_EQ(config.getPort(), "/dev/ttyUSB0");
}

TEST_F(SettingsStoreTest, AnUnreadableStoreIsReportedAndTheDefaultsApply) {
    test::writeFile(dir_ / "prefs.txt", "com.velmora.Scalino.delay=\\u00\n");
    Config config;
    const LoadReport report = loadConfig(config, node(), {});
    ASSERT_TRUE(report.storeFailure);
    EXPECT_NE(report.storeFailure->find("prefs.txt"), std::string::npos);
    EXPECT_EQ(config.getInstrument(), Instrument::GENERIC);
    EXPECT_THROW(saveConfig(config, node()), BackingStoreException);
}

TEST_F(SettingsStoreTest, AFileOfAnEarlierVersionLoadsWithTheAutomaticKeyboardOutput) {
    // Written before the keyboard output could be chosen: the key is missing.
    test::writeFile(dir_ / "prefs.txt",
                    "com.velmora.Scalino.keyboardType=GERMAN\n"
                    "com.velmora.Scalino.xkbLayout=de\n"
                    "com.velmora.Scalino.delay=25\n");
    Config config;
    config.setKeyboardOutput(ConfigHelper::KeyboardOutput::X11);
    FilePreferencesFactory reader(dir_ / "prefs.txt");
    const LoadReport report = loadConfig(config, reader.userRoot().node(kSettingsNodePath), {});
    EXPECT_TRUE(report.allValid());
    EXPECT_FALSE(report.storeFailure);
    EXPECT_EQ(config.getKeyboardType(), ConfigHelper::KeyboardType::GERMAN);
    EXPECT_EQ(config.getXkbLayout(), "de");
    EXPECT_EQ(config.getKeyboardOutput(), ConfigHelper::KeyboardOutput::AUTO);
}

TEST(KeyboardOutputTest, EachChoiceNamesItsBackend) {
    using ConfigHelper::KeyboardOutput;
    const std::pair<KeyboardOutput, std::string_view> cases[] = {
        {KeyboardOutput::AUTO, "auto"},
        {KeyboardOutput::PORTAL, "portal"},
        {KeyboardOutput::KDE, "kde"},
        {KeyboardOutput::WAYLAND, "wayland"},
        {KeyboardOutput::UINPUT, "uinput"},
        {KeyboardOutput::X11, "x11"},
    };
    ASSERT_EQ(std::size(cases), ConfigHelper::values<KeyboardOutput>().size());
    for (const auto& [output, backend] : cases)
        EXPECT_EQ(ConfigHelper::backendName(output), backend) << ConfigHelper::name(output);
}

// Records the order of the writes, which the file does not keep.
class RecordingPreferences : public Preferences {
public:
    RecordingPreferences() : Preferences(nullptr, "") {}
    std::vector<std::string> puts;
    std::map<std::string, std::string> values;
    int flushes = 0;
    int writes = 0;  // putAll calls

protected:
    void putSpi(const std::string& key, const std::string& value) override {
        puts.push_back(key);
        values[key] = value;
    }
    std::optional<std::string> getSpi(const std::string& key) override {
        const auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void removeSpi(const std::string& key) override { values.erase(key); }
    void putAllSpi(const std::vector<NodeValues>& nodes) override {
        ++writes;
        for (const NodeValues& node : nodes) {
            for (const auto& [key, value] : node.entries) {
                puts.push_back(key);
                values[key] = value;
            }
        }
    }
    std::vector<std::string> keysSpi() override { return {}; }
    std::vector<std::string> childrenNamesSpi() override { return {}; }
    Preferences& childSpi(const std::string&) override { return *this; }
    void forgetChildSpi(const std::string&) override {}
    void removeNodeSpi() override {}
    void flushSpi() override { ++flushes; }
    void syncSpi() override {}
};

TEST(SettingsStoreSaveTest, WritesEverySettingInOrderInOneWrite) {
    Config config = defaultStoreConfig();
    config.setPort("COM3");
    config.setPrevPort("COM1");
    RecordingPreferences node;
    saveConfig(config, node);
    const std::vector<std::string> order = {"port",
                                            "prevPort",
                                            "instrument",
                                            "bitRate",
                                            "dataBits",
                                            "stopBits",
                                            "parity",
                                            "inputTerminator",
                                            "decimalSeparator",
                                            "sound",
                                            "startWith",
                                            "outputTerminator",
                                            "connect",
                                            "mathOperation",
                                            "mathOperand",
                                            "decimalPlaces",
                                            "roundingMethod",
                                            "keyboardType",
                                            "xkbLayout",
                                            "keyboardOutput",
                                            "delay",
                                            "minimizeToTray",
                                            "notifyWhenMinimizedToTray",
                                            "checkForUpdates",
                                            "abortAutoStartWhenPrevPortNotAvailable",
                                            "ignoreDuplicates",
                                            "editOperation",
                                            "editPosition",
                                            "editNumCharacters",
                                            "removeCharacters",
                                            "customRegEx",
                                            "ignoreTimeLimit",
                                            "ignoreDifference"};
    EXPECT_EQ(node.puts, order);
    EXPECT_EQ(node.values["prevPort"], "COM3");
    EXPECT_EQ(node.writes, 1);

    RecordingPreferences withoutPort;
    saveConfig(defaultStoreConfig(), withoutPort);
    EXPECT_EQ(withoutPort.puts.front(), "instrument");
}

TEST_F(SettingsStoreTest, SavedSettingsLoadBackUnchanged) {
    Config saved = defaultStoreConfig();
    for (const auto& c : kKeys)
        findConfigKey(c.key)->set(saved, c.other);
    saved.setPort("/dev/ttyACM0");
    saveConfig(saved, node());

    FilePreferencesFactory reader(dir_ / "prefs.txt");
    Config loaded;
    EXPECT_TRUE(
        loadConfig(loaded, reader.userRoot().node(kSettingsNodePath), {"/dev/ttyS0"}).allValid());
    EXPECT_FALSE(Config::hasChanged(saved, loaded));
    EXPECT_EQ(loaded.getPrevPort(), "/dev/ttyACM0");
}

TEST(ConfigChangeTest, EverySettingCountsAsAChange) {
    const Config reference = defaultStoreConfig();
    for (const auto& c : kKeys) {
        Config config = Config::copyConfig(reference);
        ASSERT_TRUE(findConfigKey(c.key)->set(config, c.other)) << c.key;
        EXPECT_TRUE(Config::hasChanged(reference, config)) << c.key;
        findConfigKey(c.key)->setDefault(config);
        EXPECT_FALSE(Config::hasChanged(reference, config)) << c.key;
    }
    Config config = Config::copyConfig(reference);
    config.setPort("COM7");
    EXPECT_TRUE(Config::hasChanged(reference, config));
}

TEST(DefaultConfigTest, CarriesTheInstrumentsSerialDefaults) {
    auto serial = [](Instrument instrument) {
        const Config c = ConfigHelper::getDefaultConfig(instrument);
        return std::vector<int>{c.getBitRate(), c.getDataBits(), c.getStopBits(), c.getParity(),
                                c.getInputTerminator()};
    };
    const std::vector<int> andDefaults = {5, 2, 0, 2, 10};  // 2400, 7 bits, 1 stop, even, LF
    const std::vector<int> common = {7, 3, 0, 0, 13};       // 9600, 8 bits, 1 stop, none, CR
    EXPECT_EQ(serial(Instrument::AND), andDefaults);
    EXPECT_EQ(serial(Instrument::AND_SIMPLE), andDefaults);
    EXPECT_EQ(serial(Instrument::AND_EM), (std::vector<int>{7, 3, 0, 0, 10}));
    for (Instrument kern :
         {Instrument::KERND_DE, Instrument::KERN_DS, Instrument::KERN_FKB, Instrument::KERN_KB_N})
        EXPECT_EQ(serial(kern), serial(Instrument::KERN_572));
    for (Instrument plain : {Instrument::GENERIC, Instrument::BARCODE, Instrument::BARCODE_ALPHA,
                             Instrument::BARCODE_ALPHA_COMPLETE})
        EXPECT_EQ(serial(plain), common);
    // Nothing else is set: the rest keeps the object's own defaults.
    Config expected;
    Config andConfig = ConfigHelper::getDefaultConfig(Instrument::AND);
    expected.setBitRate(5), expected.setDataBits(2), expected.setParity(2);
    expected.setInputTerminator(10);
    EXPECT_FALSE(Config::hasChanged(expected, andConfig));
}

TEST(MultiUserTest, TheSharedFileIsUsedWhereItsFolderExists) {
    test::TempDir programData;
    ::setenv("ProgramData", programData.path().c_str(), 1);
    const auto shared = programData / "Velmora/ScalinoMU/prefs.txt";
    EXPECT_EQ(sharedPreferencesFile(), shared);
    EXPECT_FALSE(isMultiUserInstallation());
    std::filesystem::create_directories(shared.parent_path());
    EXPECT_TRUE(isMultiUserInstallation());

    ProcessProperties::set(FilePreferencesFactory::kFileProperty, "/tmp/chosen.txt");
    selectPreferencesFile();  // a file named explicitly wins
    EXPECT_EQ(ProcessProperties::get(FilePreferencesFactory::kFileProperty), "/tmp/chosen.txt");
    ProcessProperties::set(FilePreferencesFactory::kFileProperty, "");
    selectPreferencesFile();
    EXPECT_EQ(ProcessProperties::get(FilePreferencesFactory::kFileProperty), shared.string());
    ProcessProperties::clear(FilePreferencesFactory::kFileProperty);
    ::unsetenv("ProgramData");
}

}  // namespace
}  // namespace scalino
