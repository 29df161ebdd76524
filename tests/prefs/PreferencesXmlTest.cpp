#include "prefs/PreferencesXml.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <sstream>

#include "prefs/BackingStoreException.h"
#include "prefs/FilePreferencesFactory.h"
#include "support/TempDir.h"

namespace scalino {
namespace {

using test::readFile;
using test::TempDir;

// A document with the given content inside its <root>.
std::string document(const std::string& content) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<preferences EXTERNAL_XML_VERSION=\"1.0\">\n<root type=\"user\"><map/>\n" +
           content + "</root>\n</preferences>\n";
}

// A <node name="name"> with one map of entries.
std::string node(const std::string& name, const std::vector<std::string>& entries,
                 const std::string& inside = "") {
    std::string text = "<node name=\"" + name + "\"><map>";
    for (const std::string& entry : entries)
        text += entry + "\n";
    return text + "</map>" + inside + "</node>\n";
}

std::string entryElement(const std::string& key, const std::string& value) {
    return "<entry key=\"" + key + "\" value=\"" + value + "\"/>";
}

std::vector<std::string> numberedEntries(int count) {
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back(entryElement("k" + std::to_string(i), "value " + std::to_string(i)));
    return entries;
}

// The times a file is renamed into place, or written in place, in its folder, as the kernel
// reports them.
class FileChanges {
public:
    explicit FileChanges(const std::filesystem::path& file)
        : name_(file.filename().string()), fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(
            ::inotify_add_watch(fd_, file.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    }
    ~FileChanges() { ::close(fd_); }

    // Reads the events so far; counts those of the file.
    void collect() {
        alignas(inotify_event) char buffer[65536];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if (event->len > 0 && name_ == event->name) {
                    if (event->mask & IN_MOVED_TO) ++replacements;
                    if (event->mask & IN_CLOSE_WRITE) ++writesInPlace;
                }
                at += sizeof(inotify_event) + event->len;
            }
        }
    }

    int replacements = 0;
    int writesInPlace = 0;

private:
    std::string name_;
    int fd_;
};

// Lets files of this process grow to at most limit bytes while it lives; a write beyond fails
// with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        const rlimit lowered{limit, saved_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, savedHandler_);
    }

private:
    rlimit saved_{};
    sighandler_t savedHandler_;
};

class PreferencesXmlTest : public ::testing::Test {
protected:
    // Names of the files in the folder, the target's and the source's among them.
    std::vector<std::string> folderListing() const {
        std::vector<std::string> names;
        for (const auto& file : std::filesystem::directory_iterator(dir_.path()))
            names.push_back(file.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

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
        {"character 0", document(entry + node("b", {"<entry key=\"k\" value=\"ab&#0;c\"/>"})),
         "&#0;, a character no setting can hold (line 5)"},
        {"character 0 in hex", document(node("b", {"<entry key=\"k&#x00;\" value=\"v\"/>"})),
         "&#x00;, a character no setting can hold"},
        {"surrogate", document(node("b", {"<entry key=\"k\" value=\"&#xD800;\"/>"})),
         "&#xD800;, a character no setting can hold"},
        {"beyond Unicode", document(node("b", {"<entry key=\"k\" value=\"&#1114112;\"/>"})),
         "&#1114112;, a character no setting can hold"},
        {"malformed reference", document(node("b", {"<entry key=\"k\" value=\"&#12a;\"/>"})),
         "malformed reference &#12a;"},
        {"NUL byte after the document",
         document(node("b", {entryElement("k", "v")})) + std::string(1, '\0') + "<more/>",
         "the document holds the character 0 (line 8, column 1)"},
        {"upper-case X", document(node("b", {"<entry key=\"k\" value=\"&#X43;\"/>"})),
         "malformed reference &#X43;"},
        {"declared entity",
         "<!DOCTYPE preferences [<!ENTITY e \"x\">]>\n" +
             document(node("b", {"<entry key=\"k\" value=\"&e;\"/>"})),
         "the entity reference &e;, which is not read"},
        {"bare ampersand", document(node("b", {"<entry key=\"k\" value=\"a & b\"/>"})),
         "write it as &amp;"},
        {"slash by reference", document("<node name=\"a&#47;b\"><map/></node>\n"), "without \"/\""},
        {"version 09",
         "<preferences EXTERNAL_XML_VERSION=\"09\"><root type=\"user\"/></preferences>",
         "version 09 is not supported"},
        {"version 1.01",
         "<preferences EXTERNAL_XML_VERSION=\"1.01\"><root type=\"user\"/></preferences>",
         "version 1.01 is not supported"},
        {"version 10",
         "<preferences EXTERNAL_XML_VERSION=\"10\"><root type=\"user\"/></preferences>",
         "version 10 is not supported"},
        {"version not a number",
         "<preferences EXTERNAL_XML_VERSION=\"1.0b\"><root type=\"user\"/></preferences>",
         "version \"1.0b\" is not a number"},
        {"value one byte too long",
         document(
             node("b", {entryElement("k", std::string(Preferences::MAX_VALUE_LENGTH + 1, 'v'))})),
         "value longer than 8192 bytes"},
        {"name one byte too long", document(node(std::string(81, 'n'), {})), "1 to 80 characters"},
        // Read back from the settings file, such an entry would land in another node.
        {"dot in a key", document(node("b", {entryElement("a.b", "x")})), "\"a.b\" holds \".\""},
        {"dot in a name", document(node("a.b", {entryElement("k", "x")})), "without \"/\" or \".\""},
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

TEST_F(PreferencesXmlTest, ReferencesReadAsTheirCharacters) {
    importPreferences(
        document(
            node("a", {entryElement("k", "&#65;&#x42;&#x43;&lt;&amp;&quot;&apos;&gt;&#10;&#x20AC;"),
                       entryElement("&#x6B;2", "&#1;")})),
        target_.userRoot());
    FilePreferencesFactory reader(dir_ / "target.txt");
    EXPECT_EQ(reader.userRoot().node("a").get("k", ""), "ABC<&\"'>\n\xE2\x82\xAC");
    EXPECT_EQ(reader.userRoot().node("a").get("k2", ""), "\x01");
}

TEST_F(PreferencesXmlTest, ADocumentInUtf16IsRead) {
    // UTF-16LE with its byte order mark: every character below 256 as its code and a 0 byte.
    const std::string latin1 = document(node("a", {entryElement("unit",
                                                                "\xB0"
                                                                "C")}));
    std::string utf16 = "\xFF\xFE";
    for (char c : latin1)
        utf16 += std::string{c, '\0'};
    importPreferences(utf16, target_.userRoot());
    FilePreferencesFactory reader(dir_ / "target.txt");
    EXPECT_EQ(reader.userRoot().node("a").get("unit", ""),
              "\xC2\xB0"
              "C");
}

struct VersionCase {
    std::string version;
    bool supported;
};

TEST_F(PreferencesXmlTest, TheVersionIsComparedAsANumber) {
    const VersionCase cases[] = {
        {"1.0", true}, {"1", true},   {"01.00", true}, {"0.9", true},   {"1.00", true},
        {"09", false}, {"10", false}, {"1.1", false},  {"2.0", false},  {"", false},
        {"1.", false}, {".5", false}, {"-1.0", false}, {" 1.0", false},
    };
    for (const auto& c : cases) {
        const std::string text = "<preferences EXTERNAL_XML_VERSION=\"" + c.version +
                                 "\"><root type=\"user\">" + node("v", {entryElement("k", "v")}) +
                                 "</root></preferences>";
        if (c.supported) {
            EXPECT_NO_THROW(importPreferences(text, target_.userRoot())) << c.version;
        } else {
            EXPECT_THROW(importPreferences(text, target_.userRoot()),
                         InvalidPreferencesFormatException)
                << c.version;
        }
    }
}

TEST_F(PreferencesXmlTest, NodesNestedUpToTheLimitAreImported) {
    std::string nested = node("n", {entryElement("deepest", "here")});
    std::string path = "n";
    for (size_t level = 1; level < kMaxDocumentDepth; ++level) {
        nested = node("n", {}, nested);
        path += "/n";
    }
    importPreferences(document(nested), target_.userRoot());
    FilePreferencesFactory reader(dir_ / "target.txt");
    EXPECT_EQ(reader.userRoot().node(path).get("deepest", ""), "here");

    const std::string before = readFile(dir_ / "target.txt");
    try {
        importPreferences(document(node("n", {}, nested)), target_.userRoot());
        ADD_FAILURE() << "one level more was imported";
    } catch (const InvalidPreferencesFormatException& error) {
        EXPECT_NE(std::string(error.what()).find("nested deeper than 64 levels"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(readFile(dir_ / "target.txt"), before);
}

TEST_F(PreferencesXmlTest, ADeeplyNestedDocumentIsRefusedWithoutExhaustingTheStack) {
    constexpr int kLevels = 200000;
    std::string nested;
    for (int level = 0; level < kLevels; ++level)
        nested += "<node name=\"n\">";
    nested += "<map><entry key=\"k\" value=\"v\"/></map>";
    for (int level = 0; level < kLevels; ++level)
        nested += "</node>";
    target_.userRoot().node("kept").put("k", "old");
    const std::string before = readFile(dir_ / "target.txt");
    try {
        importPreferences(document(nested), target_.userRoot());
        ADD_FAILURE() << "imported";
    } catch (const InvalidPreferencesFormatException& error) {
        EXPECT_NE(std::string(error.what()).find("<node> elements nested deeper than 64 levels"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(readFile(dir_ / "target.txt"), before);
}

TEST_F(PreferencesXmlTest, ALargeImportReplacesTheFileOnce) {
    constexpr int kCount = 4000;
    Preferences& existing = target_.userRoot().node("com/velmora/Scalino");
    existing.put("k0", "old");
    existing.put("port", "/dev/ttyUSB0");
    target_.userRoot().node("other").put("x", "kept");
    FileChanges changes(dir_ / "target.txt");
    importPreferences(
        document(node("com", {}, node("velmora", {}, node("Scalino", numberedEntries(kCount))))),
        target_.userRoot());
    changes.collect();
    EXPECT_EQ(changes.replacements, 1);
    EXPECT_EQ(changes.writesInPlace, 0);
    // The node in memory reads the imported values as the file holds them.
    EXPECT_EQ(existing.get("k0", ""), "value 0");
    EXPECT_EQ(existing.get("port", ""), "/dev/ttyUSB0");
    FilePreferencesFactory reader(dir_ / "target.txt");
    Preferences& imported = reader.userRoot().node("com/velmora/Scalino");
    EXPECT_EQ(imported.keys().size(), size_t{kCount + 1});
    EXPECT_EQ(imported.get("k3999", ""), "value 3999");
    EXPECT_EQ(reader.userRoot().node("other").get("x", ""), "kept");
}

TEST_F(PreferencesXmlTest, AnEntryRefusedLateInTheDocumentStoresNothing) {
    target_.userRoot().node("a").put("k0", "old");
    const std::string before = readFile(dir_ / "target.txt");
    std::vector<std::string> entries = numberedEntries(4000);
    entries.push_back(entryElement("last", "cut&#0;short"));
    EXPECT_THROW(importPreferences(document(node("a", entries)), target_.userRoot()),
                 InvalidPreferencesFormatException);
    EXPECT_EQ(readFile(dir_ / "target.txt"), before);
    EXPECT_EQ(target_.userRoot().node("a").get("k0", ""), "old");
}

TEST_F(PreferencesXmlTest, AWriteThatFailsMidImportStoresNothing) {
    Preferences& existing = target_.userRoot().node("a");
    existing.put("k0", "old");
    const std::string before = readFile(dir_ / "target.txt");
    const auto listing = folderListing();
    std::vector<std::string> entries;
    for (int i = 0; i < 200; ++i)
        entries.push_back(entryElement("k" + std::to_string(i), std::string(100, 'x')));
    {
        FileSizeLimit limit(8192);  // room for the first 70 entries or so, not for all
        EXPECT_THROW(importPreferences(document(node("a", entries)), target_.userRoot()),
                     BackingStoreException);
    }
    EXPECT_EQ(readFile(dir_ / "target.txt"), before);
    EXPECT_EQ(folderListing(), listing);  // no temporary file left behind
    EXPECT_EQ(existing.get("k0", ""), "old");
}

TEST_F(PreferencesXmlTest, AValueOfTheMaximumLengthIsImported) {
    const std::string longest(Preferences::MAX_VALUE_LENGTH, 'v');
    const std::string longestKey(Preferences::MAX_KEY_LENGTH, 'k');
    const std::string longestName(Preferences::MAX_NAME_LENGTH, 'n');
    importPreferences(document(node(longestName, {entryElement(longestKey, longest)})),
                      target_.userRoot());
    FilePreferencesFactory reader(dir_ / "target.txt");
    EXPECT_EQ(reader.userRoot().node(longestName).get(longestKey, ""), longest);
}

}  // namespace
}  // namespace scalino
