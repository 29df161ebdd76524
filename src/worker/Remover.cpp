#include "worker/Remover.h"

#include "util/Text.h"

namespace scalino {

Remover::Remover(std::string_view removeCharacters) {
    const auto codes = decodeUtf8(removeCharacters);
    if (!codes) return;
    for (char32_t code : *codes) {
        if (code <= 0xFF) characters_.set(code);
    }
}

std::string Remover::removeCharacters(std::string_view value) const {
    std::string result(value);
    removeCharactersInPlace(result);
    return result;
}

void Remover::removeCharactersInPlace(std::string& value) const {
    if (isEmpty()) return;
    std::erase_if(value,
                  [this](char c) { return characters_.test(static_cast<unsigned char>(c)); });
}

}  // namespace scalino
