#pragma once

#include <stdexcept>

namespace scalino {

// A serial parameter that a SerialConfig setter refused.
class SerialParameterException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failed operation on a serial port (open, configure, read, modem lines, ...).
class SerialPortException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace scalino
