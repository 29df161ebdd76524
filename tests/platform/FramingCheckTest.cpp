// Whether framing a port did not keep stops the connection: an error on an adapter, a notice on
// a pseudo-terminal. No adapter exists here, so the decision is checked on its own; the pty
// tests check that the driver feeds it what the kernel kept.
#include "platform/FramingCheck.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include <string>

#include "rs232/SerialConfig.h"
#include "support/Pty.h"

namespace scalino {
namespace {

constexpr int N = SerialConfig::PY_NONE, O = SerialConfig::PY_ODD, E = SerialConfig::PY_EVEN,
              M = SerialConfig::PY_MARK, S = SerialConfig::PY_SPACE;
constexpr Framing k8N1{SerialConfig::LN_8BITS, N, SerialConfig::ST_1BITS};

Framing framing(int dataBits, int parity, int stopBits) {
    return {dataBits - 5, parity, stopBits - 1};
}

TEST(FramingCheckTest, OnlyPseudoTerminalMajorsAreVirtual) {
    const struct {
        unsigned major, minor;
        PortKind kind;
        const char* what;
    } cases[] = {
        {136, 0, PortKind::PseudoTerminal, "/dev/pts/0"},
        {143, 1048575, PortKind::PseudoTerminal, "the last UNIX98 pty slave"},
        {128, 3, PortKind::PseudoTerminal, "a UNIX98 pty master"},
        {3, 0, PortKind::PseudoTerminal, "a BSD pty slave (ttyp0)"},
        {2, 0, PortKind::PseudoTerminal, "a BSD pty master (ptyp0)"},
        {4, 64, PortKind::Adapter, "ttyS0"},
        {188, 0, PortKind::Adapter, "ttyUSB0"},
        {166, 0, PortKind::Adapter, "ttyACM0"},
        {204, 64, PortKind::Adapter, "ttyAMA0"},
        {4, 1, PortKind::Adapter, "tty1"},
        {5, 0, PortKind::Adapter, "/dev/tty"},
        {127, 0, PortKind::Adapter, "just below the pty masters"},
        {144, 0, PortKind::Adapter, "just above the pty slaves"},
        {1, 3, PortKind::Adapter, "/dev/null"},
    };
    for (const auto& [major, minor, kind, what] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(portKindOf(makedev(major, minor)), kind);
    }
}

TEST(FramingCheckTest, ThePseudoTerminalOfThisTestIsVirtual) {
    test::Pty pty;
    struct stat st {};
    ASSERT_EQ(::fstat(pty.slave(), &st), 0);
    EXPECT_EQ(portKindOf(st.st_rdev), PortKind::PseudoTerminal);
}

TEST(FramingCheckTest, AnAdapterThatKeptOtherFramingIsAnError) {
    const struct {
        Framing asked, kept;
        const char* error;
    } cases[] = {
        {framing(7, N, 1), k8N1, "the adapter does not support 7 data bits"},
        {framing(5, N, 1), k8N1, "the adapter does not support 5 data bits"},
        {framing(8, E, 1), k8N1, "the adapter does not support even parity"},
        {framing(8, S, 1), k8N1, "the adapter does not support space parity"},
        {k8N1, framing(8, O, 1), "the adapter cannot switch parity off"},
        {framing(8, M, 1), framing(8, S, 1), "the adapter does not support mark parity"},
        {framing(8, N, 2), k8N1, "the adapter does not support 2 stop bits"},
        {k8N1, framing(8, N, 2), "the adapter does not support 1 stop bit"},
        // The first setting that did not take is named.
        {framing(7, E, 2), k8N1, "the adapter does not support 7 data bits"},
        {framing(8, O, 2), k8N1, "the adapter does not support odd parity"},
    };
    for (const auto& [asked, kept, error] : cases) {
        SCOPED_TRACE(error);
        const FramingVerdict verdict = judgeFraming(asked, kept, PortKind::Adapter, "/dev/ttyUSB0");
        EXPECT_EQ(verdict.error, error);
        EXPECT_EQ(verdict.notice, "");
    }
}

TEST(FramingCheckTest, APseudoTerminalThatKeptOtherFramingIsANoticeNamingWhatDidNotTake) {
    const std::string port = "/dev/pts/3 is a virtual port (pseudo-terminal): ";
    const struct {
        Framing asked, kept;
        std::string notice;
    } cases[] = {
        {framing(7, E, 1), k8N1,
         "it keeps 8 data bits without parity, so 7 data bits and even parity do not apply"},
        {framing(7, N, 1), k8N1, "it keeps 8 data bits, so 7 data bits do not apply"},
        {framing(8, O, 1), k8N1, "it keeps no parity, so odd parity does not apply"},
        {framing(7, O, 2), framing(8, N, 2),
         "it keeps 8 data bits without parity, so 7 data bits and odd parity do not apply"},
        {framing(7, O, 2), k8N1,
         "it keeps 8 data bits without parity and 1 stop bit, so 7 data bits, odd parity and 2 "
         "stop bits do not apply"},
        {framing(7, N, 1), framing(8, E, 1),
         "it keeps 8 data bits with even parity, so 7 data bits and parity off do not apply"},
        {k8N1, framing(8, M, 1), "it keeps mark parity, so parity off does not apply"},
        {k8N1, framing(8, N, 2), "it keeps 2 stop bits, so 1 stop bit does not apply"},
        {framing(8, N, 2), k8N1, "it keeps 1 stop bit, so 2 stop bits do not apply"},
    };
    for (const auto& [asked, kept, notice] : cases) {
        SCOPED_TRACE(notice);
        const FramingVerdict verdict =
            judgeFraming(asked, kept, PortKind::PseudoTerminal, "/dev/pts/3");
        EXPECT_EQ(verdict.error, "");
        EXPECT_EQ(verdict.notice, port + notice + "; reading goes on");
    }
}

TEST(FramingCheckTest, FramingThatTookSaysNothingOnEitherKind) {
    for (const Framing& same : {k8N1, framing(7, E, 1), framing(5, M, 2), framing(6, S, 1)}) {
        for (const PortKind kind : {PortKind::Adapter, PortKind::PseudoTerminal}) {
            const FramingVerdict verdict = judgeFraming(same, same, kind, "/dev/ttyS0");
            EXPECT_EQ(verdict.error, "");
            EXPECT_EQ(verdict.notice, "");
        }
    }
}

}  // namespace
}  // namespace scalino
