#include "platform/FramingCheck.h"

#include <linux/major.h>
#include <sys/sysmacros.h>

#include <iterator>
#include <vector>

namespace scalino {

namespace {

constexpr const char* kParityWords[] = {"no", "odd", "even", "mark", "space"};

std::string parityWord(int parity) {
    if (parity >= 0 && parity < static_cast<int>(std::size(kParityWords))) {
        return kParityWords[parity];
    }
    return "code " + std::to_string(parity);
}

std::string dataBitsText(int dataBits) {
    return std::to_string(5 + dataBits) + " data bits";
}

std::string stopBitsText(int stopBits) {
    return stopBits == 0 ? "1 stop bit" : std::to_string(1 + stopBits) + " stop bits";
}

// One setting named in a sentence; plural decides the verb that follows a lone one.
struct Phrase {
    std::string text;
    bool plural;
};

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<Phrase>& phrases) {
    std::string text;
    for (std::size_t i = 0; i < phrases.size(); ++i) {
        if (i > 0) text += i + 1 == phrases.size() ? " and " : ", ";
        text += phrases[i].text;
    }
    return text;
}

// The first setting that did not take, as an adapter that cannot make it is reported.
std::string adapterError(const Framing& asked, const Framing& kept) {
    if (asked.dataBits != kept.dataBits) {
        return "the adapter does not support " + dataBitsText(asked.dataBits);
    }
    if (asked.parity != kept.parity) {
        return asked.parity == 0
                   ? "the adapter cannot switch parity off"
                   : "the adapter does not support " + parityWord(asked.parity) + " parity";
    }
    return "the adapter does not support " + stopBitsText(asked.stopBits);
}

// For example "it keeps 8 data bits without parity, so 7 data bits and even parity do not
// apply".
std::string whatDidNotTake(const Framing& asked, const Framing& kept) {
    std::vector<Phrase> keeps, wanted;
    if (asked.dataBits != kept.dataBits) {
        keeps.push_back({dataBitsText(kept.dataBits), true});
        wanted.push_back({dataBitsText(asked.dataBits), true});
    }
    if (asked.parity != kept.parity) {
        const std::string keptParity =
            kept.parity == 0 ? "without parity" : "with " + parityWord(kept.parity) + " parity";
        if (keeps.empty()) {
            keeps.push_back({parityWord(kept.parity) + " parity", false});
        } else {
            keeps.back().text += " " + keptParity;
        }
        wanted.push_back(
            {asked.parity == 0 ? "parity off" : parityWord(asked.parity) + " parity", false});
    }
    if (asked.stopBits != kept.stopBits) {
        keeps.push_back({stopBitsText(kept.stopBits), kept.stopBits != 0});
        wanted.push_back({stopBitsText(asked.stopBits), asked.stopBits != 0});
    }
    const bool plural = wanted.size() > 1 || wanted.front().plural;
    return "it keeps " + listed(keeps) + ", so " + listed(wanted) +
           (plural ? " do not apply" : " does not apply");
}

}  // namespace

PortKind portKindOf(dev_t device) {
    const unsigned int major = ::major(device);
    const bool legacy = major == PTY_MASTER_MAJOR || major == PTY_SLAVE_MAJOR;
    const bool unix98 =
        major >= UNIX98_PTY_MASTER_MAJOR && major < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT;
    return legacy || unix98 ? PortKind::PseudoTerminal : PortKind::Adapter;
}

FramingVerdict judgeFraming(const Framing& asked, const Framing& kept, PortKind kind,
                            const std::string& path) {
    if (asked.dataBits == kept.dataBits && asked.parity == kept.parity &&
        asked.stopBits == kept.stopBits) {
        return {};
    }
    if (kind == PortKind::Adapter) return {adapterError(asked, kept), {}};
    return {{},
            path + " is a virtual port (pseudo-terminal): " + whatDidNotTake(asked, kept) +
                "; reading goes on"};
}

}  // namespace scalino
