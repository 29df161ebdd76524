#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scalino {

// The process-wide properties: a value set in the process wins; otherwise the environment
// variable of the same name ("RS_OSNAME", "SERIAL_PORT_LIST", ...). "os.name" and "os.arch"
// fall back to the host's own names ("Linux", "amd64"), as the serial library expects them.
class ProcessProperties {
public:
    static std::optional<std::string> get(std::string_view name);
    static std::string get(std::string_view name, std::string_view fallback);
    static void set(std::string_view name, std::string_view value);
    // Forgets a value set in the process (the environment then applies again).
    static void clear(std::string_view name);

    // The host as the serial library names it: "Linux"; "amd64", "i386", "aarch64", "arm", ...
    static std::string hostOsName();
    static std::string hostOsArch();
};

}  // namespace scalino
