#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "support/Subprocess.h"

namespace scalino::test {

// A Python with dbus-python and PyGObject, which the mock portal (portal-mock.py) runs on: the
// system's, which a Python of the user's own (pyenv, a virtual environment) first on the PATH
// may lack. SCALINO_TEST_PYTHON names another.
std::optional<std::string> portalPython();

// A session bus of the test's own with nothing on it, not even services it could start: a
// portal installed on the machine stays out. Its socket is in folder.
class PrivateBus {
public:
    explicit PrivateBus(const std::filesystem::path& folder);

    // Empty when the bus runs; otherwise why it does not.
    const std::string& failure() const { return failure_; }
    // For DBUS_SESSION_BUS_ADDRESS.
    const std::string& address() const { return address_; }

private:
    std::unique_ptr<RunningProgram> daemon_;
    std::string address_;
    std::string failure_;
};

}  // namespace scalino::test
