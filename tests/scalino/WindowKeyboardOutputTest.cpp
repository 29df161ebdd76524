// The keyboard output chosen on the Output tab, as the program's own key events take it: X11
// types into another X client of the private X server and the event log tells that way once; a
// way that cannot start here is reported as every keyboard failure is, and values still arrive
// in the window.
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>

#include "scalino/EventLogPanel.h"
#include "scalino/ModalAnswerer.h"
#include "scalino/QtText.h"
#include "scalino/WindowFixture.h"
#include "scalino/WindowServices.h"
#include "platform/XInputRecorder.h"
#include "support/Pty.h"
#include "support/TempDir.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardOutput;
using test::ModalAnswerer;

std::string display() {
    return qgetenv("DISPLAY").toStdString();
}

// How often text occurs in the log.
int occurrences(const QString& log, const QString& text) {
    return static_cast<int>(log.count(text));
}

// $WAYLAND_DISPLAY set to a socket while the object lives, then as it was.
class WaylandDisplayFor {
public:
    explicit WaylandDisplayFor(const std::filesystem::path& socket)
        : saved_(qgetenv("WAYLAND_DISPLAY")) {
        qputenv("WAYLAND_DISPLAY", QByteArray::fromStdString(socket.string()));
    }
    ~WaylandDisplayFor() {
        if (saved_.isNull()) {
            qunsetenv("WAYLAND_DISPLAY");
        } else {
            qputenv("WAYLAND_DISPLAY", saved_);
        }
    }
    WaylandDisplayFor(const WaylandDisplayFor&) = delete;
    WaylandDisplayFor& operator=(const WaylandDisplayFor&) = delete;

private:
    QByteArray saved_;
};

class WindowKeyboardOutputTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ports = {pty.path()};
    }

    // A balance on the pty; the keys go the way the setting names, through the program's own
    // key events.
    void openWith(KeyboardOutput output) {
        storeSettings({{"instrument", "AND_SIMPLE"},
                       {"inputTerminator", "10"},
                       {"connect", "MANUAL"},
                       {"port", pty.path()},
                       {"delay", "0"},
                       {"outputTerminator", "TAB"},
                       {"keyboardType", "QUERTY"},
                       {"keyboardOutput", std::string(ConfigHelper::name(output))},
                       {"checkForUpdates", "false"},
                       {"minimizeToTray", "false"}});
        window.reset();
        auto services = this->services();
        services.outputs.keys = settingsKeyEvents;
        window = std::make_unique<VozevuZaDezFrame2>(QStringList{}, std::move(services));
    }

    void pressStart() {
        QTest::mouseClick(control<QPushButton>("startStopJButton"), Qt::LeftButton);
    }

    void send(std::string_view line) { pty.send(test::Bytes(line.begin(), line.end())); }

    QString eventLog() const {
        window->eventLogPanel()->flush();
        return window->eventLogPanel()->eventLog()->toPlainText();
    }

    test::Pty pty;
};

TEST_F(WindowKeyboardOutputTest, X11TypesIntoAnotherClientAndTheLogTellsTheWayOnce) {
    ModalAnswerer answerer;
    openWith(KeyboardOutput::X11);
    pressStart();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isConnected(); }, 20000));
    test::XInputRecorder receiver(display());
    send("ST,+00012.46  g\r\nST,-00003.75  g\r\n");
    const std::string expected = "12.46<Tab>-3.75<Tab>";
    std::string received;
    const bool complete = QTest::qWaitFor(
        [&] {
            received += receiver.take();
            return received.size() >= expected.size();
        },
        20000);
    EXPECT_TRUE(complete) << received;
    EXPECT_EQ(received, expected);
    const QString log = eventLog();
    EXPECT_EQ(occurrences(log, "typing through"), 1) << log.toStdString();
    EXPECT_EQ(occurrences(log, toQString("typing through XTest on the X display " + display())),
              1)
        << log.toStdString();
    EXPECT_TRUE(answerer.messageBoxes().empty());
    pressStart();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isConnected(); }, 20000));
}

// Neither a kernel device nor a compositor is there in these tests: the error names the way
// that failed, the connection goes on without typing, and the log promises no keys.
TEST_F(WindowKeyboardOutputTest, AWayThatCannotStartIsReportedAndTheValuesStillArrive) {
    if (std::filesystem::exists("/dev/uinput")) GTEST_SKIP() << "this computer has /dev/uinput";
    const test::TempDir runtime;
    const WaylandDisplayFor nowhere(runtime / "wayland-0");
    struct Case {
        KeyboardOutput output;
        std::string detail;  // part of the message
    };
    const Case cases[] = {
        {KeyboardOutput::UINPUT, "cannot open /dev/uinput"},
        {KeyboardOutput::WAYLAND, "no Wayland compositor answers on " +
                                      (runtime / "wayland-0").string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ConfigHelper::name(c.output)));
        ModalAnswerer answerer;
        openWith(c.output);
        pressStart();
        ASSERT_TRUE(answerer.waitForMessageBoxes(1));
        const auto& box = answerer.messageBoxes().front();
        EXPECT_EQ(box.title, windowText("error"));
        EXPECT_TRUE(box.text.startsWith(windowText("error.initializing.keyboard.output")))
            << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(toQString(c.detail))) << box.text.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isConnected(); }, 20000));
        send("ST,+00001.25  g\r\n");
        EXPECT_TRUE(QTest::qWaitFor([&] { return eventLog().contains("1.25"); }, 20000))
            << eventLog().toStdString();
        EXPECT_EQ(occurrences(eventLog(), "typing through"), 0) << eventLog().toStdString();
        EXPECT_EQ(answerer.messageBoxes().size(), 1u);
        pressStart();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isConnected(); }, 20000));
    }
}

}  // namespace
}  // namespace scalino
