#include "platform/PortalMock.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace scalino::test {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::optional<std::string> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const fs::path candidate = fs::path(folders.substr(start, end - start)) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> portalPython() {
    std::vector<std::string> candidates;
    if (const char* chosen = std::getenv("SCALINO_TEST_PYTHON")) candidates.emplace_back(chosen);
    candidates.emplace_back("/usr/bin/python3");
    if (auto onPath = findProgram("python3")) candidates.push_back(*onPath);
    for (const std::string& python : candidates) {
        if (access(python.c_str(), X_OK) != 0) continue;
        if (runProgram(python, {"-c", "import dbus, dbus.service, gi"}, "").exitStatus == 0)
            return python;
    }
    return std::nullopt;
}

PrivateBus::PrivateBus(const fs::path& folder) {
    auto daemon = findProgram("dbus-daemon");
    if (!daemon) {
        failure_ = "dbus-daemon is not installed (package dbus-daemon)";
        return;
    }
    const fs::path config = folder / "bus.conf";
    const std::string listen = "<listen>unix:dir=" + folder.string() + "</listen>\n";
    std::ofstream(config) << R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
)" + listen + R"(
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
    daemon_ = std::make_unique<RunningProgram>(
        *daemon, std::vector<std::string>{"--config-file=" + config.string(), "--nofork",
                                          "--print-address"});
    auto address = daemon_->readLine(10s);
    if (!address || address->empty()) {
        failure_ = "dbus-daemon did not start: " + daemon_->err();
        return;
    }
    address_ = *address;
}

}  // namespace scalino::test
