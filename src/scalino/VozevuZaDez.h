#pragma once

namespace scalino {

// The desktop program's entry: reads the command line, sets the locale, the process-wide
// properties and the serial library up, then builds the window and runs it. Returns the exit
// status: 0 after closing the window, 2 when the serial driver cannot be loaded, 4 after an
// imported settings file was applied, and 2 for a bad option.
class VozevuZaDez {
public:
    static int main(int argc, char** argv);
};

}  // namespace scalino
