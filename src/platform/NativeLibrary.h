#pragma once

#include <memory>

#include "rs232/NativeDriver.h"

namespace scalino {

// The serial driver of this platform, with its port discovery, linked into the program.
std::shared_ptr<NativeDriver> createNativeDriver();

// Makes it the serial library's driver; programs call this once at start-up.
void installNativeDriver();

}  // namespace scalino
