#pragma once

#include <stdexcept>

namespace scalino {

// The store's backing file could not be read or written; what() says which file and why.
class BackingStoreException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A preferences document that cannot be imported; what() says what is wrong and where.
class InvalidPreferencesFormatException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace scalino
