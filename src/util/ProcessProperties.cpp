#include "util/ProcessProperties.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <map>
#include <mutex>

namespace scalino {
namespace {

std::mutex& mutex() {
    static std::mutex instance;
    return instance;
}

std::map<std::string, std::string, std::less<>>& values() {
    static std::map<std::string, std::string, std::less<>> instance;
    return instance;
}

}  // namespace

std::optional<std::string> ProcessProperties::get(std::string_view name) {
    {
        std::lock_guard lock(mutex());
        if (auto it = values().find(name); it != values().end()) return it->second;
    }
    if (const char* value = std::getenv(std::string(name).c_str())) return std::string(value);
    if (name == "os.name") return hostOsName();
    if (name == "os.arch") return hostOsArch();
    return std::nullopt;
}

std::string ProcessProperties::get(std::string_view name, std::string_view fallback) {
    return get(name).value_or(std::string(fallback));
}

void ProcessProperties::set(std::string_view name, std::string_view value) {
    std::lock_guard lock(mutex());
    values()[std::string(name)] = std::string(value);
}

void ProcessProperties::clear(std::string_view name) {
    std::lock_guard lock(mutex());
    if (auto it = values().find(name); it != values().end()) values().erase(it);
}

std::string ProcessProperties::hostOsName() {
    utsname host{};
    if (uname(&host) != 0) return "Linux";
    return host.sysname;
}

std::string ProcessProperties::hostOsArch() {
    utsname host{};
    if (uname(&host) != 0) return "";
    const std::string machine = host.machine;
    // The names a Java runtime reports, which the driver table is written in.
    if (machine == "x86_64") return "amd64";
    if (machine == "i486" || machine == "i586" || machine == "i686") return "i386";
    if (machine.starts_with("armv7") || machine.starts_with("armv6")) return "arm";
    return machine;
}

}  // namespace scalino
