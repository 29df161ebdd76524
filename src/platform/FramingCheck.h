#pragma once

#include <sys/types.h>

#include <string>

namespace scalino {

// Data bits, parity and stop bits, as the codes of SerialConfig (LN_*, PY_*, ST_*).
struct Framing {
    int dataBits;
    int parity;
    int stopBits;
};

// Whether a wire is behind a port. A virtual port has none: a pseudo-terminal passes bytes
// from program to program, so no framing applies, and its driver keeps 8 data bits without
// parity whatever it is asked.
enum class PortKind { Adapter, PseudoTerminal };

// The kind of the tty device with the given device number (st_rdev). Only device majors that
// the kernel reserves for pseudo-terminal slaves count as virtual; everything else may be an
// adapter.
PortKind portKindOf(dev_t device);

// How the port's driver treated the framing it was asked for. Both empty when it kept
// everything.
struct FramingVerdict {
    // The port cannot read the instrument as set up: an adapter would misread every byte.
    std::string error;
    // Nothing is framed on this port, so what did not take changes nothing; worth telling
    // the user once.
    std::string notice;
};

// Compares what the driver kept with what was asked, for the port at path.
FramingVerdict judgeFraming(const Framing& asked, const Framing& kept, PortKind kind,
                            const std::string& path);

}  // namespace scalino
