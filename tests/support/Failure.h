#pragma once

#include <functional>
#include <string>

namespace scalino::test {

// The message of the Error an operation throws, or "" when it succeeds.
template <typename Error>
std::string failureMessage(const std::function<void()>& operation) {
    try {
        operation();
        return "";
    } catch (const Error& error) {
        return error.what();
    }
}

}  // namespace scalino::test
