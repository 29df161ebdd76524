#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scalino {

class PropertiesSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The entries of a text in properties syntax, in file order: "key=value", "key: value" or
// "key value" lines, "#" and "!" comments, a trailing backslash continuing a line, escapes \t
// \n \r \f, \uXXXX and backslash before any other character. Bytes outside escapes are copied
// as they stand (UTF-8 stays UTF-8); \uXXXX escapes become UTF-8, a surrogate pair of them one
// character. Throws PropertiesSyntaxError naming the line of a malformed \u escape or of a
// surrogate escape that is not half of a pair.
std::vector<std::pair<std::string, std::string>> parseProperties(std::string_view text);

// Appends one "key=value" line that parseProperties reads back unchanged: "=", ":", "#", "!"
// and backslashes escaped, spaces escaped in the key and at the start of the value, controls
// as \t \n \r \f, everything outside printable ASCII as \uXXXX (UTF-16, upper-case digits).
// A byte that is not part of well-formed UTF-8 is taken as the character of the same code.
void appendPropertiesLine(std::string& out, std::string_view key, std::string_view value);

}  // namespace scalino
