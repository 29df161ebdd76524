#include "worker/Editor.h"

#include <algorithm>

namespace scalino {

std::string_view Editor::edit(std::string_view value) const {
    if (numCharacters_ <= 0 || value.empty()) return value;
    const size_t n = std::min(static_cast<size_t>(numCharacters_), value.size());
    const size_t rest = value.size() - n;
    using ConfigHelper::EditOperation, ConfigHelper::EditPosition;
    const bool first = editPosition_ == EditPosition::FIRST;
    if (editOperation_ == EditOperation::REMOVE) {
        return first ? value.substr(n) : value.substr(0, rest);
    }
    return first ? value.substr(0, n) : value.substr(rest);
}

}  // namespace scalino
