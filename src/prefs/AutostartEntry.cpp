#include "prefs/AutostartEntry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "prefs/AtomicFile.h"
#include "prefs/BackingStoreException.h"
#include "util/Text.h"

namespace scalino {
namespace {

// Characters of an Exec argument that ask for double quotes, by the desktop entry rules.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters that take a backslash inside the double quotes.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

[[noreturn]] void fail(std::string_view action, const std::filesystem::path& file,
                       std::string_view why) {
    throw AutostartException("Cannot " + std::string(action) + " " + file.string() + ": " +
                             std::string(why));
}

// Throws unless what is at file is nothing or a regular file of this user.
void refuseAllButOwnFile(std::string_view action, const std::filesystem::path& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) {
        if (errno == ENOENT) return;
        fail(action, file, std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        fail(action, file,
             std::string("it is ") + fileKind(info.st_mode) +
                 ", not a regular file; Scalino leaves it alone, remove or rename it yourself");
    }
    if (info.st_uid != ::geteuid()) {
        fail(action, file, "it belongs to another user; Scalino leaves it alone");
    }
}

// Creates the folder and those above it that are missing, each readable only by this user.
void createFolder(const std::filesystem::path& folder) {
    std::filesystem::path partial;
    for (const auto& component : folder) {
        partial /= component;
        struct stat info {};
        if (::stat(partial.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                fail("create the folder", folder,
                     partial.string() + " is " + fileKind(info.st_mode) + ", not a folder");
            }
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            fail("create the folder", folder, std::strerror(errno));
        }
    }
}

std::string_view trim(std::string_view text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    const size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

AutostartEntry::AutostartEntry(std::filesystem::path folder)
    : folder_(std::move(folder)), path_(folder_ / kFileName) {}

AutostartEntry AutostartEntry::forUser() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && std::filesystem::path(configHome).is_absolute()) {
        return AutostartEntry(std::filesystem::path(configHome) / "autostart");
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        throw AutostartException(
            "Cannot find the autostart folder: neither XDG_CONFIG_HOME nor HOME is set");
    }
    return AutostartEntry(std::filesystem::path(home) / ".config" / "autostart");
}

bool AutostartEntry::isEnabled() const {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path_, error)) return false;
    std::ifstream in(path_, std::ios::binary);
    if (!in) return false;
    bool inMainGroup = false;
    for (std::string line; std::getline(in, line);) {
        const std::string_view text = trim(line);
        if (text.starts_with('[')) {
            inMainGroup = text == "[Desktop Entry]";
            continue;
        }
        const size_t equals = text.find('=');
        if (!inMainGroup || equals == std::string_view::npos) continue;
        const std::string_view key = trim(text.substr(0, equals));
        const std::string_view value = trim(text.substr(equals + 1));
        if (key == "Hidden" && value == "true") return false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false") return false;
    }
    return true;
}

std::string AutostartEntry::execValue(const std::string& execPath) {
    const bool quoted = execPath.find_first_of(kReserved) != std::string::npos;
    std::string value;
    if (quoted) value += '"';
    for (const char c : execPath) {
        if (quoted && kEscapedInQuotes.find(c) != std::string_view::npos) value += '\\';
        if (c == '%') value += '%';
        value += c;
    }
    if (quoted) value += '"';
    // The string escape rule applies before the quoting rule: each backslash is doubled again.
    std::string escaped;
    for (const char c : value) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string AutostartEntry::content(const std::string& execPath) {
    if (!std::filesystem::path(execPath).is_absolute()) {
        throw AutostartException("Cannot start \"" + execPath +
                                 "\" at login: the program's path is not absolute");
    }
    for (const char c : execPath) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            throw AutostartException("Cannot start " + execPath +
                                     " at login: the program's path holds a control character");
        }
    }
    if (!decodeUtf8(execPath)) {
        throw AutostartException("Cannot start " + latin1ToUtf8(execPath) +
                                 " at login: the program's path is not UTF-8 text");
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Scalino\n"
           "Comment=Types the readings of scales and barcode scanners into the focused "
           "application\n"
           "Exec=" +
           execValue(execPath) +
           "\n"
           "Icon=com.velmora.Scalino\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

void AutostartEntry::enable(const std::string& execPath) const {
    const std::string text = content(execPath);
    createFolder(folder_);
    refuseAllButOwnFile("write", path_);
    try {
        replaceFileAtomically(path_, text);
    } catch (const BackingStoreException& error) {
        throw AutostartException(error.what());
    }
}

void AutostartEntry::disable() const {
    refuseAllButOwnFile("remove", path_);
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
        fail("remove", path_, std::strerror(errno));
    }
}

}  // namespace scalino
