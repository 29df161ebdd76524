#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace scalino {

// The start at login could not be switched on or off; what() says which file and why.
class AutostartException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The desktop window's XDG autostart entry: a desktop entry in the user's autostart folder that
// the desktop session runs at login. Its presence is the setting, so that the window shows what
// the desktop will do. Only a regular file of this user is ever replaced or removed.
class AutostartEntry {
public:
    static constexpr const char* kFileName = "com.velmora.Scalino.desktop";

    // The entry in this autostart folder.
    explicit AutostartEntry(std::filesystem::path folder);

    // The user's: $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when XDG_CONFIG_HOME is
    // unset, empty or not absolute. Throws AutostartException when HOME is needed and unset.
    static AutostartEntry forUser();

    const std::filesystem::path& path() const { return path_; }

    // Whether the desktop starts the program at login: the entry is a regular file (or a link
    // to one) and neither hides itself (Hidden=true) nor is switched off
    // (X-GNOME-Autostart-enabled=false).
    bool isEnabled() const;

    // Writes the entry, atomically, for the program at execPath (an absolute path), creating
    // the folder (0700) where missing. Refuses anything at the entry's path but a regular file
    // of this user (a folder, a symbolic link, a device). Throws AutostartException.
    void enable(const std::string& execPath) const;

    // Removes the entry; nothing to do when there is none. Removes only a regular file of this
    // user, never a folder or a symbolic link. Throws AutostartException.
    void disable() const;

    // The entry's text for the program at execPath. Throws AutostartException for a path that
    // is not absolute, not UTF-8 or holds control characters.
    static std::string content(const std::string& execPath);

    // The program's path as the Exec key's value: quoted where the desktop entry rules ask for
    // it, '%' doubled, then backslashes escaped as in any string value.
    static std::string execValue(const std::string& execPath);

private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
};

}  // namespace scalino
