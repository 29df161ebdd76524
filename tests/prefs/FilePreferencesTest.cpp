#include "prefs/FilePreferences.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <thread>

#include "prefs/BackingStoreException.h"
#include "prefs/FilePreferencesFactory.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "util/Properties.h"

extern char** environ;

namespace scalino {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// The file without its two comment lines, after checking them.
std::string entriesOf(const std::filesystem::path& file) {
    const std::string text = readFile(file);
    EXPECT_TRUE(text.starts_with("#FilePreferences\n#")) << text;
    const size_t second = text.find('\n', text.find('\n') + 1);
    return second == std::string::npos ? "" : text.substr(second + 1);
}

class FilePreferencesTest : public ::testing::Test {
protected:
    Preferences& settings() { return factory_.userRoot().node("/com/velmora/Scalino"); }
    std::filesystem::path file() const { return dir_ / "prefs.txt"; }

    TempDir dir_;
    FilePreferencesFactory factory_{dir_ / "prefs.txt"};
};

TEST_F(FilePreferencesTest, FirstPutCreatesTheFile) {
    settings().put("port", "COM1");
    EXPECT_EQ(entriesOf(file()), "com.velmora.Scalino.port=COM1\n");
    EXPECT_EQ(&factory_.systemRoot(), &factory_.userRoot());
}

struct EscapeCase {
    std::string key, value, line;
};

TEST_F(FilePreferencesTest, EscapesAndReadsBackEveryCharacter) {
    const EscapeCase cases[] = {
        {"a", "x=y:z", "a=x\\=y\\:z"},
        {"b", "#1 !2", "b=\\#1 \\!2"},
        {"c", "  two spaces", "c=\\  two spaces"},
        {"d", "back\\slash", "d=back\\\\slash"},
        {"e",
         "25\xC2\xB0"
         "C \xE2\x82\xAC",
         "e=25\\u00B0C \\u20AC"},
        {"f", "\xF0\x9D\x84\x9E", "f=\\uD834\\uDD1E"},
        {"g", "tab\there\r\n", "g=tab\\there\\r\\n"},
        {"h", "", "h="},
        {"key with space", "v", "key\\ with\\ space=v"},
    };
    std::string expected;
    for (const auto& c : cases) {
        settings().put(c.key, c.value);
        expected += "com.velmora.Scalino." + c.line + "\n";
    }
    // Keys are written in order; the cases are listed in that order.
    EXPECT_EQ(entriesOf(file()), expected);

    FilePreferencesFactory reader(file());
    Preferences& node = reader.userRoot().node("com/velmora/Scalino");
    for (const auto& c : cases)
        EXPECT_EQ(node.get(c.key, "missing"), c.value) << c.key;
}

TEST_F(FilePreferencesTest, KeepsOtherNodesAndIgnoresDeeperOnes) {
    writeFile(file(),
              "# written by hand\n"
              "other.node.x=1\n"
              "com.velmora.Scalino.sub.key=2\n"
              "com.velmora.Scalino.port=COM9\n"
              "com.velmora.ScalinoX.port=COM8\n");
    EXPECT_EQ(settings().keys(), std::vector<std::string>{"port"});
    EXPECT_EQ(settings().get("port", ""), "COM9");
    EXPECT_EQ(settings().node("sub").get("key", ""), "2");

    settings().put("delay", "20");
    EXPECT_EQ(entriesOf(file()),
              "com.velmora.Scalino.delay=20\n"
              "com.velmora.Scalino.port=COM9\n"
              "com.velmora.Scalino.sub.key=2\n"
              "com.velmora.ScalinoX.port=COM8\n"
              "other.node.x=1\n");
}

TEST_F(FilePreferencesTest, RemovesKeysAndNodes) {
    writeFile(file(), "com.velmora.Scalino.child.k=1\ncom.velmora.Scalino.port=COM1\n");
    settings().put("delay", "20");
    settings().remove("port");
    EXPECT_EQ(entriesOf(file()), "com.velmora.Scalino.child.k=1\ncom.velmora.Scalino.delay=20\n");

    Preferences& node = settings();
    node.removeNode();
    EXPECT_EQ(entriesOf(file()), "com.velmora.Scalino.child.k=1\n");
    EXPECT_TRUE(node.isRemoved());
    EXPECT_THROW(node.put("port", "COM2"), std::logic_error);
    // A new node of the same name starts from the file again.
    EXPECT_EQ(settings().keys(), std::vector<std::string>{});
    EXPECT_THROW(factory_.userRoot().removeNode(), std::logic_error);
}

TEST_F(FilePreferencesTest, TypedReadsFallBackToTheDefault) {
    writeFile(file(),
              "com.velmora.Scalino.a=12\ncom.velmora.Scalino.b=1.5\ncom.velmora.Scalino.c=TRUE\n"
              "com.velmora.Scalino.d=yes\n");
    EXPECT_EQ(settings().getInt("a", 7), 12);
    EXPECT_EQ(settings().getInt("b", 7), 7);
    EXPECT_EQ(settings().getInt("missing", 7), 7);
    EXPECT_TRUE(settings().getBoolean("c", false));
    EXPECT_FALSE(settings().getBoolean("d", false));
    settings().putInt("e", -3);
    settings().putBoolean("f", false);
    EXPECT_EQ(settings().get("e", ""), "-3");
    EXPECT_EQ(settings().get("f", ""), "false");
    EXPECT_THROW(settings().put(std::string(81, 'k'), "v"), std::invalid_argument);
    EXPECT_THROW(settings().node("a//b"), std::invalid_argument);
}

TEST_F(FilePreferencesTest, ADamagedFileIsReportedAndNeverOverwritten) {
    const std::string damaged = "com.velmora.Scalino.port=COM1\ncom.velmora.Scalino.x=\\u12G4\n";
    writeFile(file(), damaged);
    Preferences& node = settings();  // logs that the node could not be read
    EXPECT_EQ(node.keys(), std::vector<std::string>{});
    node.put("port", "COM2");  // kept in memory; the flush is refused
    EXPECT_EQ(readFile(file()), damaged);
    try {
        node.flush();
        FAIL() << "a flush over a damaged file must fail";
    } catch (const BackingStoreException& error) {
        EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find(file().string()), std::string::npos);
    }
    EXPECT_THROW(node.sync(), BackingStoreException);
}

struct EncodingCase {
    std::string line, key, value, written;
};

TEST_F(FilePreferencesTest, EachLineIsReadInItsOwnEncoding) {
    const EncodingCase cases[] = {
        {"com.velmora.Scalino.city=K\xC3\xB6ln", "city", "K\xC3\xB6ln", "city=K\\u00F6ln"},
        {"com.velmora.Scalino.removeCharacters=\xB0kg", "removeCharacters", "\xC2\xB0kg",
         "removeCharacters=\\u00B0kg"},
        {"com.velmora.Scalino.unit=\xC2\xB5m", "unit", "\xC2\xB5m", "unit=\\u00B5m"},
        {"com.velmora.Scalino.yen=\xA5 \xE6\x97\xA5", "yen", "\xC2\xA5 \xC3\xA6\xC2\x97\xC2\xA5",
         "yen=\\u00A5 \\u00E6\\u0097\\u00A5"},
        {"com.velmora.Scalino.note=\\u00e9t\xC3\xA9", "note", "\xC3\xA9t\xC3\xA9",
         "note=\\u00E9t\\u00E9"},
    };
    // A comment in a single-byte encoding first: it must not change how the other lines read.
    std::string text = "# saved on the old PC \xFF\r\n";
    for (const auto& c : cases)
        text += c.line + "\r\n";
    writeFile(file(), text);
    for (const auto& c : cases)
        EXPECT_EQ(settings().get(c.key, "missing"), c.value) << c.line;

    settings().put("delay", "20");  // a save leaves every value as it was
    const std::string saved = entriesOf(file());
    for (const auto& c : cases)
        EXPECT_NE(saved.find("com.velmora.Scalino." + c.written + "\n"), std::string::npos)
            << saved;
    FilePreferencesFactory reader(file());
    for (const auto& c : cases) {
        EXPECT_EQ(reader.userRoot().node("com/velmora/Scalino").get(c.key, "missing"), c.value)
            << c.line;
    }
}

TEST_F(FilePreferencesTest, AFileInASingleByteEncodingReadsAsLatin1) {
    writeFile(file(), "com.velmora.Scalino.removeCharacters=\xB0\n");
    EXPECT_EQ(settings().get("removeCharacters", "missing"), "\xC2\xB0");
}

TEST_F(FilePreferencesTest, ReplacingTheFileKeepsItsPermissions) {
    writeFile(file(), "");
    ::chmod(file().c_str(), 0640);
    settings().put("port", "COM1");
    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    // Nothing but the file is left in its folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(FilePreferencesTest, TwoProcessesFlushingTogetherLoseNothing) {
    constexpr int kCount = 150;
    auto write = [&](const char* node) {
        const auto result =
            test::runProgram(PREFS_WRITER, {file().string(), node, std::to_string(kCount)}, "");
        EXPECT_EQ(result.exitStatus, 0) << result.err;
    };
    std::thread first(write, "/one"), second(write, "/two");
    first.join();
    second.join();
    FilePreferencesFactory reader(file());
    for (const char* node : {"one", "two"}) {
        Preferences& written = reader.userRoot().node(node);
        EXPECT_EQ(written.keys().size(), size_t{kCount}) << node;
        EXPECT_EQ(written.get("key" + std::to_string(kCount - 1), ""), std::to_string(kCount - 1));
    }
}

TEST_F(FilePreferencesTest, AWriterKilledMidSaveLeavesACompleteFile) {
    for (int round = 0; round < 15; ++round) {
        pid_t pid = 0;
        const std::string program = PREFS_WRITER, path = file().string();
        const char* argv[] = {program.c_str(), path.c_str(), "/n", "20", "loop", nullptr};
        ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ),
                  0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 7 * round));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        if (!std::filesystem::exists(file())) continue;  // killed before its first write
        const std::string text = readFile(file());
        ASSERT_TRUE(text.ends_with("\n")) << "round " << round;
        const auto entries = parseProperties(text);
        ASSERT_FALSE(entries.empty()) << "round " << round;
        for (const auto& [key, value] : entries) {
            ASSERT_EQ(value.size(), 500u) << key << " in round " << round;
            ASSERT_EQ(value.find_first_not_of(value.front()), std::string::npos) << key;
        }
    }
}

}  // namespace
}  // namespace scalino
