#pragma once

namespace scalino {

// Bit rates outside the termios B-constants. Kept apart from <termios.h> users because the
// kernel's termios2 (<asm/termbits.h>) redefines the same names.

// Sets the input and output rate to rate bit/s exactly (termios2 with BOTHER); false with
// errno set when the driver refuses.
bool setCustomBitRate(int fd, int rate);

// The output rate in bit/s that the driver reports for any setting, standard or not, or -1
// with errno set.
int readBitRate(int fd);

}  // namespace scalino
