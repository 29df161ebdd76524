#pragma once

#include <bitset>
#include <string>
#include <string_view>

#include "config/Config.h"

namespace scalino {

// Deletes from values every character of a set, case-sensitively, keeping the others in order.
class Remover {
public:
    explicit Remover(const Config& config) : Remover(config.getRemoveCharacters()) {}
    // The characters as the user typed them (UTF-8); characters above code 255 can match no
    // received byte and are ignored.
    explicit Remover(std::string_view removeCharacters);

    std::string removeCharacters(std::string_view value) const;
    void removeCharactersInPlace(std::string& value) const;
    bool isEmpty() const { return characters_.none(); }

private:
    std::bitset<256> characters_;
};

}  // namespace scalino
