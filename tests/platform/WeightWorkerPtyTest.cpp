// The workers on pseudo-terminals through the termios driver: what a connection to a real
// instrument does, from the byte written on the far end to the line published on the UI side.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "config/Instrument.h"
#include "platform/TermiosDriver.h"
#include "support/Pty.h"
#include "support/RecordingWorkerView.h"
#include "worker/LineDiagnostics.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerChoice.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
using ConfigHelper::Instrument;

test::Bytes bytes(std::string_view text) {
    return test::Bytes(text.begin(), text.end());
}

// One connection to the pty: the worker reading it, the UI side run by the test.
class Connection {
public:
    enum class Framing { Pty, Profile };
    Connection(const test::Pty& pty, Instrument instrument, int terminator,
               const std::string& customRegEx = "", Framing framing = Framing::Pty) {
        Config config = ConfigHelper::getDefaultConfig(instrument);
        config.setInstrument(instrument);
        config.setPort(pty.path());
        config.setInputTerminator(terminator);
        config.setCustomRegEx(customRegEx);
        // A pseudo-terminal carries 8 data bits without parity, whatever the profile's line.
        if (framing == Framing::Pty) {
            config.setDataBits(SerialConfig::LN_8BITS);
            config.setParity(SerialConfig::PY_NONE);
        }
        worker_ = createWeightWorker(config, view, ui_, [](const SerialConfig& serial) {
            return std::make_unique<SerialPortLocal>(serial, std::make_shared<TermiosDriver>(),
                                                     PlatformInfo::forPlatform("Linux", "amd64"));
        });
        worker_->execute();
    }
    ~Connection() { stop(); }

    bool awaitLines(size_t count) {
        return ui_.runUntil([&] { return view.lineCount() >= count; }, 60s);
    }
    bool awaitEnd() {
        return ui_.runUntil([&] { return worker_->isDone(); }, 60s);
    }
    // Log entries reach the view without the UI queue, which would only wake up for a step.
    bool awaitLogged(const std::string& prefix) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!view.logged(prefix)) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            ui_.runUntil([] { return false; }, 10ms);
        }
        return true;
    }
    void stop() {
        worker_->cancel(true);
        awaitEnd();
    }

    test::RecordingWorkerView view;

private:
    QueueExecutor ui_;
    std::shared_ptr<WeightWorker> worker_;
};

TEST(WeightWorkerPtyTest, LinesArePublishedWithNumbersValuesAndRawText) {
    test::Pty pty;
    Connection connection(pty, Instrument::AND_SIMPLE, '\n');
    pty.send(bytes("ST,+00012.34  g\r\nOL\r\nST,-00000.04  g\r\n"));
    ASSERT_TRUE(connection.awaitLines(3));
    const auto lines = connection.view.lines();
    ASSERT_EQ(lines.size(), 3u);
    const std::vector<std::tuple<int, std::string, std::string>> expected = {
        {1, "12.34", "ST,+00012.34  g<13><10>"},
        {2, "", "OL<13><10>"},
        {3, "-0.04", "ST,-00000.04  g<13><10>"},
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].getCount(), std::get<0>(expected[i]));
        EXPECT_EQ(lines[i].getProcessedData(), std::get<1>(expected[i]));
        EXPECT_EQ(lines[i].getRawData(), std::get<2>(expected[i]));
        EXPECT_FALSE(lines[i].isError());
    }
    EXPECT_LE(lines[0].getInstant(), lines[2].getInstant());
}

TEST(WeightWorkerPtyTest, StoppingReportsUnsentDataAndClosesThePort) {
    for (const auto& [sent, readable] :
         {std::pair<std::string, std::string>{"12.3", "12.3"}, {"\n", "<10>"}}) {
        test::Pty pty;
        Connection connection(pty, Instrument::GENERIC, '\r');
        pty.send(bytes("7.5\r" + sent));
        ASSERT_TRUE(connection.awaitLines(1));
        // Every byte has reached the port, though not necessarily the read loop.
        for (int i = 0; i < 5000 && pty.unread() > 0; ++i)
            std::this_thread::sleep_for(1ms);
        connection.stop();
        const auto log = connection.view.log();
        ASSERT_GE(log.size(), 4u);
        EXPECT_EQ(log.front(), "connected");
        EXPECT_EQ(log[1].rfind("Port " + pty.path() + " opened", 0), 0u) << log[1];
        EXPECT_EQ(log[log.size() - 3], workerText("stopped"));
        EXPECT_EQ(log[log.size() - 2], "! " + workerText("unsent.data") + " " + readable);
        EXPECT_EQ(log.back(), "disconnected");
        // Closed: the port can be opened again.
        Connection again(pty, Instrument::GENERIC, '\r');
        EXPECT_TRUE(again.view.logged("connected"));
    }
}

TEST(WeightWorkerPtyTest, AProfileFramingAVirtualPortCannotTakeIsANoticeAndReadingGoesOn) {
    test::Pty pty;
    Connection connection(pty, Instrument::AND_SIMPLE, '\n', "", Connection::Framing::Profile);
    pty.send(bytes("ST,+00002.50  g\r\n"));
    ASSERT_TRUE(connection.awaitLines(1));
    EXPECT_EQ(connection.view.lines()[0].getProcessedData(), "2.50");
    const auto log = connection.view.log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1].rfind("Port " + pty.path() + " opened", 0), 0u) << log[1];
    EXPECT_EQ(log[2].rfind(pty.path() + " is a virtual port", 0), 0u) << log[2];
    EXPECT_NE(log[2].find("7 data bits and even parity"), std::string::npos) << log[2];
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& e) { return e.find("virtual port") != e.npos; }),
              1);
}

TEST(WeightWorkerPtyTest, APortWithoutModemLinesIsReadAnyway) {
    test::Pty pty;
    Connection connection(pty, Instrument::AND, '\n');
    EXPECT_TRUE(connection.view.logged("warning " + workerText("warning") + ": " +
                                       workerText("and.error.no.handshake.lines")));
    EXPECT_TRUE(connection.view.logged(
        workerText("modem.lines.not.available",
                   {"setRTS failed: modem-control lines are not available on this port"})));
    pty.send(bytes("ST,+00001.50  g\r\n"));
    ASSERT_TRUE(connection.awaitLines(1));
    EXPECT_EQ(connection.view.lines()[0].getProcessedData(), "1.50");
}

TEST(WeightWorkerPtyTest, AnUnpluggedAdapterEndsTheConnectionWithAnError) {
    test::Pty pty;
    Connection connection(pty, Instrument::GENERIC, '\n');
    pty.send(bytes("5\n"));
    ASSERT_TRUE(connection.awaitLines(1));
    pty.closeMaster();
    ASSERT_TRUE(connection.awaitEnd());
    const auto log = connection.view.log();
    ASSERT_GE(log.size(), 2u);
    const std::string& ended = log[log.size() - 2];
    EXPECT_EQ(ended.rfind("! " + workerText("execution.exception") + " getByte failed: ", 0), 0u)
        << ended;
    EXPECT_NE(ended.find("disconnected"), std::string::npos) << ended;
    EXPECT_NE(ended.find(pty.path()), std::string::npos) << ended;
    EXPECT_EQ(log.back(), "disconnected");
}

TEST(WeightWorkerPtyTest, ALineThatCannotBeProcessedEndsAPlainConnection) {
    test::Pty pty;
    Connection connection(pty, Instrument::GENERIC, '\n', "(.+)");
    pty.send(bytes("1.5\nabc\n2.5\n"));
    ASSERT_TRUE(connection.awaitEnd());
    EXPECT_EQ(connection.view.lineCount(), 1u);
    EXPECT_TRUE(connection.view.logged("! " + workerText("execution.exception") + " " +
                                       workerText("invalid.number", {"abc"})));
}

TEST(WeightWorkerPtyTest, BarcodesKeepTheirTextAndAFailedLineCostsOnlyItself) {
    test::Pty pty;
    // Group 1 takes no part in the match of "-" lines: such a line has no value.
    Connection connection(pty, Instrument::BARCODE_ALPHA_COMPLETE, '\r', "^(?:-|(.+))\r");
    pty.send(bytes("Lot 7 B\r-\rX-42\r"));
    ASSERT_TRUE(connection.awaitLines(2));
    const auto lines = connection.view.lines();
    EXPECT_EQ(lines[0].getProcessedData(), "Lot 7 B");
    EXPECT_EQ(lines[1].getProcessedData(), "X-42");
    EXPECT_EQ(lines[1].getRawData(), "X-42<13>");
    EXPECT_EQ(lines[1].getCount(), 3);
    EXPECT_TRUE(connection.view.logged("! Error [WW]: " + workerText("no.value")));
}

// How often the log holds the entry.
long logCount(const test::RecordingWorkerView& view, const std::string& entry) {
    const auto log = view.log();
    return std::count(log.begin(), log.end(), entry);
}

TEST(WeightWorkerPtyTest, LinesWithoutAValueAndAMissingTerminatorAreReportedOnceWhileReading) {
    test::Pty pty;
    Connection connection(pty, Instrument::AND_SIMPLE, '\n');
    const test::RecordingWorkerView& view = connection.view;
    // Nine without a value, one with, then eleven without: the run of ten ends at E20.
    std::string lines;
    for (int i = 1; i <= 21; ++i)
        lines += i == 10 ? "ST,+00001.00  g\r\n" : "E" + std::to_string(i) + "\r\n";
    pty.send(bytes(lines));
    ASSERT_TRUE(connection.awaitLines(21));
    const std::string noValue =
        "! " + workerText("no.value.instrument", {"10", "A&D (no handshaking)", "E20<13><10>",
                                                  view.settingControl("instrument", ""),
                                                  view.settingControl("customRegEx", "")});
    EXPECT_EQ(logCount(view, noValue), 1) << testing::PrintToString(view.log());
    // A line ended with CR only, then silence: the report comes from an idle wake-up.
    const std::string noTerminator =
        "! " + workerText("no.terminator.other", {"LF, 10", "2", "CR (13)", "CR", "13",
                                                  view.settingControl("inputTerminator", "13")});
    const auto sent = std::chrono::steady_clock::now();
    pty.send(bytes("ST,+00012.34  g\r"));
    ASSERT_TRUE(connection.awaitLogged(noTerminator)) << "no report while reading";
    EXPECT_GE(std::chrono::steady_clock::now() - sent, LineDiagnostics::kTerminatorWait);
    connection.stop();
    EXPECT_EQ(logCount(view, noTerminator), 1);
}

}  // namespace
}  // namespace scalino
