#include "prefs/FilePreferences.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "prefs/BackingStoreException.h"
#include "prefs/FilePreferencesFactory.h"
#include "support/SpecialFiles.h"
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

// The names in a folder, sorted.
std::vector<std::string> listing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& file : std::filesystem::directory_iterator(folder))
        names.push_back(file.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The id of a process that has ended.
pid_t endedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
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

TEST_F(FilePreferencesTest, AKeyOrNameWithADotIsRefusedBecauseItWouldReadBackElsewhere) {
    settings().put("port", "COM1");
    EXPECT_THROW(settings().put("a.b", "x"), std::invalid_argument);
    EXPECT_THROW(settings().node("a.b"), std::invalid_argument);
    EXPECT_THROW(settings().putAll({{"", {{"a.b", "x"}}}}), std::invalid_argument);
    EXPECT_THROW(settings().putAll({{"sub/a.b", {{"k", "x"}}}}), std::invalid_argument);
    EXPECT_EQ(entriesOf(file()), "com.velmora.Scalino.port=COM1\n");
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

struct LinkCase {
    std::string name;
    std::vector<std::pair<std::string, std::string>> links;  // link, where it points
    std::string target;                                      // the file written
};

TEST_F(FilePreferencesTest, SavingThroughASymbolicLinkWritesTheFileItLeadsTo) {
    std::filesystem::create_directories(dir_ / "real/sub");
    const LinkCase cases[] = {
        {"relative link", {{"a.txt", "real/a.txt"}}, "real/a.txt"},
        {"absolute link", {{"b.txt", (dir_ / "real/b.txt").string()}}, "real/b.txt"},
        {"link to a link",
         {{"c.txt", "real/sub/c1.txt"}, {"real/sub/c1.txt", "../c2.txt"}},
         "real/c2.txt"},
        {"link to a file not there yet", {{"d.txt", "real/d.txt"}}, "real/d.txt"},
    };
    for (const auto& c : cases) {
        for (const auto& [link, target] : c.links)
            std::filesystem::create_symlink(target, dir_ / link);
        if (c.name != "link to a file not there yet") writeFile(dir_ / c.target, "x.old=1\n");
        const auto link = dir_ / c.links.front().first;
        {
            FilePreferencesFactory factory(link);
            factory.userRoot().node("n").put("k", "v");
            factory.userRoot().node("n").flush();
        }
        for (const auto& [name, target] : c.links) {
            EXPECT_TRUE(std::filesystem::is_symlink(dir_ / name)) << c.name;
            EXPECT_EQ(std::filesystem::read_symlink(dir_ / name), target) << c.name;
        }
        const std::string written = readFile(dir_ / c.target);
        EXPECT_NE(written.find("\nn.k=v\n"), std::string::npos) << c.name << ": " << written;
        EXPECT_EQ(written.find("x.old=1") != std::string::npos,
                  c.name != "link to a file not there yet")
            << c.name;
    }
    // No temporary file is left in either folder.
    EXPECT_EQ(listing(dir_.path()),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt", "real"}));
    EXPECT_EQ(listing(dir_ / "real"),
              (std::vector<std::string>{"a.txt", "b.txt", "c2.txt", "d.txt", "sub"}));
}

TEST_F(FilePreferencesTest, ALoopOfLinksIsReported) {
    std::filesystem::create_symlink("loop2.txt", dir_ / "loop1.txt");
    std::filesystem::create_symlink("loop1.txt", dir_ / "loop2.txt");
    FilePreferencesFactory factory(dir_ / "loop1.txt");
    Preferences& node = factory.userRoot().node("n");
    node.put("k", "v");
    try {
        node.flush();
        FAIL() << "written through a loop of links";
    } catch (const BackingStoreException& error) {
        EXPECT_NE(std::string(error.what()).find("symbolic links"), std::string::npos)
            << error.what();
    }
}

TEST_F(FilePreferencesTest, ASpecialFileIsNeverReplaced) {
    const auto files = test::makeSpecialFiles(dir_.path());
    const auto before = listing(dir_.path());
    for (const auto& [file, kind] : files) {
        FilePreferencesFactory factory(file);
        Preferences& node = factory.userRoot().node("n");  // reads as empty, or fails to
        node.put("k", "v");
        try {
            node.flush();
            ADD_FAILURE() << file << " was written";
        } catch (const BackingStoreException& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot write " + file.string() + ": " + kind);
        }
    }
    EXPECT_EQ(listing(dir_.path()), before);
    EXPECT_TRUE(std::filesystem::is_fifo(dir_ / "fifo"));
    EXPECT_TRUE(std::filesystem::is_socket(dir_ / "socket"));
}

TEST_F(FilePreferencesTest, AFifoReadsAsEmptyWithoutAWriter) {
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    FilePreferencesFactory factory(dir_ / "fifo");
    EXPECT_NO_THROW(factory.userRoot().node("n").sync());
    EXPECT_EQ(factory.userRoot().node("n").keys(), std::vector<std::string>{});
}

TEST_F(FilePreferencesTest, ReadingStopsAtTheSizeLimit) {
    const std::string limitText = "larger than 4 MiB, which no settings file is";
    for (const std::filesystem::path& file : {std::filesystem::path("/dev/zero"), file()}) {
        if (file != "/dev/zero")
            writeFile(file, "#" + std::string(PreferencesFile::kMaxFileBytes, 'x') + "\n");
        FilePreferencesFactory factory(file);
        try {
            factory.userRoot().node("n").sync();
            ADD_FAILURE() << file << " was read";
        } catch (const BackingStoreException& error) {
            EXPECT_NE(std::string(error.what()).find(file.string() + " is " + limitText),
                      std::string::npos)
                << error.what();
        }
    }
    // A file just at the limit is read.
    writeFile(file(), "n.k=v\n#" + std::string(PreferencesFile::kMaxFileBytes - 8, 'x'));
    FilePreferencesFactory factory(file());
    EXPECT_EQ(factory.userRoot().node("n").get("k", ""), "v");
}

TEST_F(FilePreferencesTest, AWriteBeyondTheSizeLimitIsRefused) {
    settings().put("port", "COM1");
    const std::string before = readFile(file());
    Preferences::NodeValues many{"com/velmora/Scalino/bulk", {}};
    const std::string value(Preferences::MAX_VALUE_LENGTH, 'v');
    for (size_t i = 0; i * value.size() <= PreferencesFile::kMaxFileBytes; ++i)
        many.entries.emplace_back("k" + std::to_string(i), value);
    try {
        factory_.userRoot().putAll({many});
        FAIL() << "written";
    } catch (const BackingStoreException& error) {
        EXPECT_NE(std::string(error.what()).find("more than the 4 MiB a settings file may hold"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(readFile(file()), before);
}

TEST_F(FilePreferencesTest, TheNextWriterRemovesTemporaryFilesOfEndedWriters) {
    const std::string dead = std::to_string(endedProcess());
    const std::string running = std::to_string(::getppid());
    const std::vector<std::string> left = {
        ".prefs.txt.tmp" + dead + "-1",
        ".prefs.txt.tmp" + dead + "-27",
    };
    const std::vector<std::string> kept = {
        ".prefs.txt.tmp" + running + "-1",  // its writer still runs
        ".prefs.txt.tmp" + dead + "-x",     // not the pattern
        ".prefs.txt.tmp" + dead,           ".prefs.txt.tmp-" + dead + "-1",
        ".prefs.txt.tmp" + dead + "-2-3",  ".prefs.txt.tmp0-1",
        ".other.txt.tmp" + dead + "-1",  // another file's
        "prefs.txt.tmp" + dead + "-1",
        ".prefs.txt.tmp" + dead + "-4",  // a folder
        ".prefs.txt.tmp" + dead + "-5",  // a link
    };
    for (const std::string& name : left)
        writeFile(dir_ / name, "half a file");
    for (const std::string& name : kept) {
        if (name.ends_with("-4")) {
            std::filesystem::create_directory(dir_ / name);
        } else if (name.ends_with("-5")) {
            std::filesystem::create_symlink("prefs.txt", dir_ / name);
        } else {
            writeFile(dir_ / name, "kept");
        }
    }
    std::vector<std::string> expected = kept;
    if (::geteuid() == 0) {
        // Another user's file is not ours to remove.
        const std::string foreign = ".prefs.txt.tmp" + dead + "-6";
        writeFile(dir_ / foreign, "another user's");
        ASSERT_EQ(::chown((dir_ / foreign).c_str(), 12345, 12345), 0);
        expected.push_back(foreign);
    }
    settings().put("port", "COM1");
    expected.push_back("prefs.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listing(dir_.path()), expected);
}

struct LengthCase {
    std::string name, key, value, node;
    bool stored;
};

TEST_F(FilePreferencesTest, TheMaximumLengthsAreStoredOneByteMoreIsRefused) {
    const std::string longestKey(Preferences::MAX_KEY_LENGTH, 'k');
    const std::string longestValue(Preferences::MAX_VALUE_LENGTH, 'v');
    const std::string longestName(Preferences::MAX_NAME_LENGTH, 'n');
    const LengthCase cases[] = {
        {"longest key", longestKey, "v", "a", true},
        {"key one byte longer", longestKey + "k", "v", "a", false},
        {"longest value", "value", longestValue, "a", true},
        {"value one byte longer", "value2", longestValue + "v", "a", false},
        {"longest name", "k", "v", longestName, true},
        {"name one byte longer", "k", "v", longestName + "n", false},
    };
    for (const auto& c : cases) {
        if (c.stored) {
            factory_.userRoot().node(c.node).put(c.key, c.value);
        } else {
            EXPECT_THROW(factory_.userRoot().node(c.node).put(c.key, c.value),
                         std::invalid_argument)
                << c.name;
            EXPECT_THROW(factory_.userRoot().putAll({{c.node, {{c.key, c.value}}}}),
                         std::invalid_argument)
                << c.name;
        }
    }
    FilePreferencesFactory reader(file());
    for (const auto& c : cases) {
        if (c.stored) {
            EXPECT_EQ(reader.userRoot().node(c.node).get(c.key, ""), c.value) << c.name;
        }
    }
    EXPECT_EQ(reader.userRoot().node("a").keys(), (std::vector<std::string>{longestKey, "value"}));
}

TEST_F(FilePreferencesTest, FlushingARemovedNodeWritesNoneOfItsKeys) {
    Preferences& removed = settings();
    removed.put("port", "COM1");
    removed.put("delay", "20");
    factory_.userRoot().node("other").put("x", "1");
    removed.removeNode();
    // Written back by another writer meanwhile: the removed node's flush takes them out again,
    // and adds nothing.
    writeFile(file(), "com.velmora.Scalino.port=COM1\nother.x=1\n");
    removed.flush();
    EXPECT_EQ(entriesOf(file()), "other.x=1\n");
}

}  // namespace
}  // namespace scalino
