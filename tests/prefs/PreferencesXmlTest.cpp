#include "prefs/PreferencesXml.h"

#include <gtest/gtest.h>

#include <sstream>

#include "prefs/BackingStoreException.h"
#include "prefs/FilePreferencesFactory.h"
#include "support/TempDir.h"

namespace scalino {
namespace {

using test::readFile;
using test::TempDir;

class PreferencesXmlTest : public ::testing::Test {
protected:
    TempDir dir_;
    FilePreferencesFactory source_{dir_ / "source.txt"};
    FilePreferencesFactory target_{dir_ / "target.txt"};
};

TEST_F(PreferencesXmlTest, ExportThenImportGivesTheSameValues) {
    Preferences& node = source_.userRoot().node("/com/velmora/Scalino");
    const std::vector<std::pair<std::string, std::string>> values = {
        {"customRegEx", "<(\\d+)> & \"q\" 'a'"},
        {"removeCharacters", " \t\n\r"},
        {"unit",
         "\xC2\xB0"
         "C"},
        {"empty", ""},
    };
    for (const auto& [key, value] : values)
        node.put(key, value);
    node.put("secret", "not exported");
    std::ostringstream document;
    exportNode(node, document, [](std::string_view key) { return key != "secret"; });

    const std::string text = document.str();
    EXPECT_NE(text.find("<preferences EXTERNAL_XML_VERSION=\"1.0\">"), std::string::npos);
    EXPECT_NE(text.find("<root type=\"user\">"), std::string::npos);
    EXPECT_NE(text.find("<node name=\"velmora\">"), std::string::npos);
    EXPECT_EQ(text.find("secret"), std::string::npos);

    importPreferences(text, target_.userRoot());
    FilePreferencesFactory reader(dir_ / "target.txt");  // from the file, not from memory
    Preferences& imported = reader.userRoot().node("/com/velmora/Scalino");
    EXPECT_EQ(imported.keys().size(), values.size());
    for (const auto& [key, value] : values)
        EXPECT_EQ(imported.get(key, "missing"), value) << key;
}

TEST_F(PreferencesXmlTest, ImportsAStandardDocumentWrittenByHand) {
    const std::string document =
        "<?xml version='1.0' encoding='UTF-8'?>\r\n"
        "<!DOCTYPE preferences SYSTEM 'http://java.sun.com/dtd/preferences.dtd'>\r\n"
        "<!-- rolled out to the warehouse -->\r\n"
        "<preferences EXTERNAL_XML_VERSION='1.0'>\r\n"
        "  <root type='system'><map/>\r\n"
        "    <node name='com'><map/><node name='velmora'><map/>\r\n"
        "      <node name='Scalino'><map>\r\n"
        "        <entry key='instrument' value='KERN_572'/>\r\n"
        "        <entry key='delay' value='5'/>\r\n"
        "      </map></node></node></node>\r\n"
        "  </root>\r\n"
        "</preferences>\r\n";
    target_.userRoot().node("/com/velmora/Scalino").put("delay", "20");
    target_.userRoot().node("/com/velmora/Scalino").put("port", "/dev/ttyUSB0");
    importPreferences(document, target_.userRoot());
    FilePreferencesFactory reader(dir_ / "target.txt");
    Preferences& node = reader.userRoot().node("/com/velmora/Scalino");
    EXPECT_EQ(node.get("instrument", ""), "KERN_572");
    EXPECT_EQ(node.get("delay", ""), "5");
    EXPECT_EQ(node.get("port", ""), "/dev/ttyUSB0");  // keys not in the document stay
}

struct BadDocument {
    std::string name, document, reason;
};

TEST_F(PreferencesXmlTest, ABadDocumentChangesNothingAndSaysWhere) {
    const std::string head =
        "<preferences EXTERNAL_XML_VERSION=\"1.0\">\n<root type=\"user\"><map/>\n";
    const std::string entry =
        "<node name=\"a\"><map><entry key=\"k\" value=\"new\"/></map></node>\n";
    const std::string tail = "</root>\n</preferences>\n";
    const BadDocument cases[] = {
        {"truncated", head + entry + "</root>\n<", "line 5"},
        {"not xml", "port=COM1\n", "not a well-formed XML document"},
        {"other element", "<settings/>", "<preferences>"},
        {"newer version",
         "<preferences EXTERNAL_XML_VERSION=\"2.0\"><root type=\"user\"/></preferences>",
         "2.0 is not supported"},
        {"no root type", "<preferences><root><map/></root></preferences>", "type=\"user\""},
        {"entry without value",
         head + entry + "<node name=\"b\"><map>\n<entry key=\"k\"/></map></node>\n" + tail,
         "line 5"},
        {"node without name", head + entry + "<node><map/></node>\n" + tail, "line 4"},
        {"unknown element", head + entry + "<note/>\n" + tail, "<note>"},
        {"text in a map", head + "<node name=\"b\"><map>oops</map></node>\n" + tail,
         "unexpected text"},
        {"key too long",
         head + "<node name=\"b\"><map><entry key=\"" + std::string(81, 'k') +
             "\" value=\"v\"/></map></node>\n" + tail,
         "key longer than 80"},
        {"not utf-8",
         head + "<node name=\"b\"><map><entry key=\"k\" value=\"\xB0\"/></map></node>\n" + tail,
         "not valid UTF-8"},
    };
    Preferences& existing = target_.userRoot().node("a");
    existing.put("k", "old");
    const std::string before = readFile(dir_ / "target.txt");
    for (const auto& c : cases) {
        try {
            importPreferences(c.document, target_.userRoot());
            ADD_FAILURE() << c.name << " was imported";
        } catch (const InvalidPreferencesFormatException& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos)
                << c.name << ": " << error.what();
        }
        EXPECT_EQ(existing.get("k", ""), "old") << c.name;
        EXPECT_EQ(readFile(dir_ / "target.txt"), before) << c.name;
    }
}

}  // namespace
}  // namespace scalino
