#pragma once

#include <string_view>

#include "config/Config.h"

namespace scalino {

// Keeps or removes a fixed number of characters at the start or end of a value.
class Editor {
public:
    explicit Editor(const Config& config)
        : Editor(config.getEditOperation(), config.getEditPosition(),
                 config.getEditNumCharactersAsInt()) {}
    Editor(ConfigHelper::EditOperation operation, ConfigHelper::EditPosition position,
           int numCharacters)
        : editOperation_(operation), editPosition_(position), numCharacters_(numCharacters) {}

    // A part of value. With more characters to edit than the value has, removing leaves
    // nothing and keeping keeps the whole value.
    std::string_view edit(std::string_view value) const;
    int numCharacters() const { return numCharacters_; }

private:
    ConfigHelper::EditOperation editOperation_;
    ConfigHelper::EditPosition editPosition_;
    int numCharacters_;
};

}  // namespace scalino
