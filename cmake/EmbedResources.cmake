# Writes a C++ source that holds the given files as byte arrays, looked up by their path
# relative to RESOURCE_ROOT. Run with: cmake -DRESOURCE_ROOT=... -DOUTPUT=... -DFILES=a;b -P
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  file(RELATIVE_PATH name "${RESOURCE_ROOT}" "${file}")
  string(APPEND body "const unsigned char r${index}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${name}\", {reinterpret_cast<const char*>(r${index}), ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from resources/: do not edit.
#include \"util/EmbeddedResources.h\"

#include <array>
#include <utility>

namespace {
${body}
const std::pair<std::string_view, std::string_view> resources[] = {
${table}};
}  // namespace

namespace scalino {
std::optional<std::string_view> embeddedResource(std::string_view path) {
    for (const auto& [name, content] : resources) {
        if (name == path) return content;
    }
    return std::nullopt;
}

std::vector<std::string_view> embeddedResourceNames() {
    std::vector<std::string_view> names;
    for (const auto& entry : resources) names.push_back(entry.first);
    return names;
}
}  // namespace scalino
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
