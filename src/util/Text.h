#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Received data is byte text: one char per byte, codes 0 to 255. Settings, arguments, files and
// messages are UTF-8. These helpers cross between the two.
namespace scalino {

// Printable ASCII (0x20 to 0x7E) as itself, every other character as "<code>": CR LF shows as
// <13><10>, 0xB0 as <176>.
std::string readableForm(std::string_view bytes);

// Each byte as the Unicode character of the same code, in UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

// The code points of a UTF-8 text, or none when it is not well-formed UTF-8.
std::optional<std::vector<char32_t>> decodeUtf8(std::string_view utf8);

// UTF-8 text whose characters are all at most 255, as bytes. False (out unspecified) otherwise.
bool utf8ToLatin1(std::string_view utf8, std::string& out);

// ASCII letters compared without regard to case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Appends the UTF-8 encoding of a code point.
void appendUtf8(std::string& out, char32_t code);

// A base-10 integer as a standard parser reads it: optional sign, digits, no spaces, within the
// range of a 32-bit integer.
std::optional<int> parseInt(std::string_view text);

}  // namespace scalino
