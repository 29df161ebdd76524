// The window's start at login: the autostart entry written, read back and removed in a
// temporary configuration folder, and every file it must not touch left as it was.
#include "prefs/AutostartEntry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "support/Subprocess.h"
#include "support/TempDir.h"

namespace scalino {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// desktop-file-validate's path, or "" where desktop-file-utils is not installed.
std::string validator() {
    for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::string program = std::string(folder) + "/desktop-file-validate";
        if (::access(program.c_str(), X_OK) == 0) return program;
    }
    return "";
}

// Runs desktop-file-validate on the file, where it is installed: no errors, no warnings.
void expectValidDesktopEntry(const std::filesystem::path& file) {
    const std::string program = validator();
    if (program.empty()) {
        std::cout << "desktop-file-validate is not installed (desktop-file-utils); the entry is "
                     "checked by its text only\n";
        return;
    }
    const test::ProcessResult result = test::runProgram(program, {file.string()}, "");
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_EQ(result.out + result.err, "") << readFile(file);
}

// The Exec line of an entry's text.
std::string execLine(const std::string& text) {
    const size_t start = text.find("\nExec=");
    if (start == std::string::npos) return "";
    return text.substr(start + 1, text.find('\n', start + 1) - start - 1);
}

TEST(AutostartEntryTest, TheUsersEntryIsInTheAutostartFolderOfXdgConfigHome) {
    ScopedEnvironment config("XDG_CONFIG_HOME", "/tmp/some config");
    EXPECT_EQ(AutostartEntry::forUser().path(),
              "/tmp/some config/autostart/com.velmora.Scalino.desktop");
}

TEST(AutostartEntryTest, WithoutAnAbsoluteXdgConfigHomeTheEntryIsUnderDotConfig) {
    ScopedEnvironment home("HOME", "/home/weigher");
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/config"}) {
        ScopedEnvironment config("XDG_CONFIG_HOME", value);
        EXPECT_EQ(AutostartEntry::forUser().path(),
                  "/home/weigher/.config/autostart/com.velmora.Scalino.desktop");
    }
}

TEST(AutostartEntryTest, WithNeitherVariableTheFolderCannotBeFound) {
    ScopedEnvironment home("HOME", nullptr);
    ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
    EXPECT_THROW(AutostartEntry::forUser(), AutostartException);
}

TEST(AutostartEntryTest, EnablingCreatesThePrivateFolderAndAValidEntry) {
    TempDir dir;
    const AutostartEntry entry(dir / "config/autostart");
    EXPECT_FALSE(entry.isEnabled());
    entry.enable("/usr/bin/scalino");
    EXPECT_TRUE(entry.isEnabled());
    EXPECT_EQ(readFile(entry.path()),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Scalino\n"
              "Comment=Types the readings of scales and barcode scanners into the focused "
              "application\n"
              "Exec=/usr/bin/scalino\n"
              "Icon=com.velmora.Scalino\n"
              "Terminal=false\n"
              "X-GNOME-Autostart-enabled=true\n");
    struct stat info {};
    ASSERT_EQ(::stat((dir / "config").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((dir / "config/autostart").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    expectValidDesktopEntry(entry.path());
    // Nothing else is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "config/autostart"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(AutostartEntryTest, EnablingAgainReplacesTheEntryWithTheNewPath) {
    TempDir dir;
    const AutostartEntry entry(dir.path());
    entry.enable("/opt/old/scalino");
    entry.enable("/opt/new/scalino");
    EXPECT_EQ(execLine(readFile(entry.path())), "Exec=/opt/new/scalino");
}

TEST(AutostartEntryTest, DisablingRemovesTheEntryAndIsHarmlessWithoutOne) {
    TempDir dir;
    const AutostartEntry entry(dir.path());
    entry.enable("/usr/bin/scalino");
    entry.disable();
    EXPECT_FALSE(std::filesystem::exists(entry.path()));
    EXPECT_FALSE(entry.isEnabled());
    EXPECT_NO_THROW(entry.disable());
}

TEST(AutostartEntryTest, PathsWithReservedCharactersAreQuotedAndEscaped) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/usr/bin/scalino", "/usr/bin/scalino"},
        {"/opt/My Apps/scalino", "\"/opt/My Apps/scalino\""},
        {"/opt/100%/scalino", "/opt/100%%/scalino"},
        {"/opt/a$b/scalino", "\"/opt/a\\\\$b/scalino\""},
        {"/opt/it's/scalino", "\"/opt/it's/scalino\""},
        {"/opt/\"q\"/scalino", "\"/opt/\\\\\"q\\\\\"/scalino\""},
        {"/opt/back\\slash/scalino", "\"/opt/back\\\\\\\\slash/scalino\""},
        {"/opt/Wägen (neu)/scalino", "\"/opt/Wägen (neu)/scalino\""},
    };
    TempDir dir;
    const AutostartEntry entry(dir.path());
    for (const auto& [path, value] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(AutostartEntry::execValue(path), value);
        entry.enable(path);
        EXPECT_EQ(execLine(readFile(entry.path())), "Exec=" + value);
        expectValidDesktopEntry(entry.path());
    }
}

TEST(AutostartEntryTest, APathThatCannotBeWrittenIsRefusedAndNothingIsWritten) {
    TempDir dir;
    const AutostartEntry entry(dir / "autostart");
    for (const std::string& path :
         {std::string("scalino"), std::string("/opt/new\nline/scalino"),
          std::string("/opt/tab\t/scalino"), std::string("/opt/latin\xe9/scalino")}) {
        SCOPED_TRACE(path);
        EXPECT_THROW(entry.enable(path), AutostartException);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "autostart"));
}

TEST(AutostartEntryTest, AFolderInTheWayIsNeitherReplacedNorRemoved) {
    TempDir dir;
    const AutostartEntry entry(dir.path());
    std::filesystem::create_directory(entry.path());
    writeFile(entry.path() / "kept", "mine");
    EXPECT_FALSE(entry.isEnabled());
    try {
        entry.enable("/usr/bin/scalino");
        ADD_FAILURE() << "a folder was replaced";
    } catch (const AutostartException& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot write " + entry.path().string() +
                      ": it is a folder, not a regular file; Scalino leaves it alone, remove or "
                      "rename it yourself");
    }
    EXPECT_THROW(entry.disable(), AutostartException);
    EXPECT_EQ(readFile(entry.path() / "kept"), "mine");
}

TEST(AutostartEntryTest, ALinkIsFollowedForTheStateButNeverWrittenThroughOrRemoved) {
    TempDir dir;
    const AutostartEntry entry(dir / "autostart");
    std::filesystem::create_directory(dir / "autostart");
    const std::string own = "[Desktop Entry]\nType=Application\nName=Mine\nExec=/usr/bin/mine\n";
    writeFile(dir / "dotfiles.desktop", own);
    std::filesystem::create_symlink(dir / "dotfiles.desktop", entry.path());
    EXPECT_TRUE(entry.isEnabled());
    EXPECT_THROW(entry.enable("/usr/bin/scalino"), AutostartException);
    EXPECT_THROW(entry.disable(), AutostartException);
    EXPECT_TRUE(std::filesystem::is_symlink(entry.path()));
    EXPECT_EQ(readFile(dir / "dotfiles.desktop"), own);
}

TEST(AutostartEntryTest, AFileInPlaceOfTheFolderIsReported) {
    TempDir dir;
    writeFile(dir / "config", "not a folder");
    const AutostartEntry entry(dir / "config/autostart");
    try {
        entry.enable("/usr/bin/scalino");
        ADD_FAILURE() << "no error";
    } catch (const AutostartException& error) {
        EXPECT_NE(std::string(error.what()).find((dir / "config").string() +
                                                 " is a file, not a folder"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(readFile(dir / "config"), "not a folder");
}

TEST(AutostartEntryTest, AnEntryTheDesktopSkipsIsNotEnabled) {
    TempDir dir;
    const AutostartEntry entry(dir.path());
    for (const std::string& line : {std::string("Hidden=true"), std::string("Hidden = true"),
                                    std::string("X-GNOME-Autostart-enabled=false")}) {
        SCOPED_TRACE(line);
        writeFile(entry.path(), "[Desktop Entry]\nType=Application\nName=Scalino\n"
                                "Exec=/usr/bin/scalino\n" +
                                    line + "\n");
        EXPECT_FALSE(entry.isEnabled());
    }
    // The same keys in another group do not count.
    writeFile(entry.path(), "[Desktop Entry]\nType=Application\nName=Scalino\n"
                            "Exec=/usr/bin/scalino\n[Desktop Action x]\nHidden=true\n");
    EXPECT_TRUE(entry.isEnabled());
}

}  // namespace
}  // namespace scalino
