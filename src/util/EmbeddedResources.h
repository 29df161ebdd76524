#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace scalino {

// Files under resources/ compiled into the program, by path relative to resources/
// ("scalino/worker/WorkerBundle.properties").
std::optional<std::string_view> embeddedResource(std::string_view path);
std::vector<std::string_view> embeddedResourceNames();

}  // namespace scalino
