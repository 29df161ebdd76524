// scalino: the desktop program.
#include "scalino/VozevuZaDez.h"

int main(int argc, char** argv) {
    return scalino::VozevuZaDez::main(argc, argv);
}
