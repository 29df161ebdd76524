// The whole path under a real X server: a balance on a pseudo-terminal, the window connected to
// it, and the values typed through XTest into another X client that holds the focus, as a
// spreadsheet or a web form would.
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSystemTrayIcon>

#include "platform/KeyEventBackend.h"
#include "platform/XInputRecorder.h"
#include "platform/XvfbServer.h"
#include "scalino/ModalAnswerer.h"
#include "scalino/TrayController.h"
#include "scalino/WindowFixture.h"
#include "support/Pty.h"
#include "support/Subprocess.h"

namespace scalino {
namespace {

using test::ModalAnswerer;

test::Bytes bytes(std::string_view sent) {
    return test::Bytes(sent.begin(), sent.end());
}

class WindowKeystrokeTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ports = {pty.path()};
        storeSettings({{"instrument", "AND_SIMPLE"},
                       {"inputTerminator", "10"},
                       {"connect", "AUTO"},
                       {"port", pty.path()},
                       {"prevPort", pty.path()},
                       {"delay", "0"},
                       {"outputTerminator", "TAB"},
                       {"decimalPlaces", "1"},
                       {"keyboardType", "QUERTY"},
                       {"checkForUpdates", "false"},
                       {"minimizeToTray", "false"}});
    }

    // The window with keys through XTest on this display.
    void openTyping() {
        auto services = this->services();
        services.outputs.keys = [](const Config& config, std::stop_token) -> std::shared_ptr<KeyEventGenerator> {
            return createKeyEventGenerator(config.getKeyboardType(), "x11");
        };
        window = std::make_unique<VozevuZaDezFrame2>(QStringList{}, std::move(services));
    }

    test::Pty pty;
};

TEST_F(WindowKeystrokeTest, ValuesArriveExactlyInTheApplicationThatHasTheFocus) {
    ModalAnswerer answerer;
    openTyping();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isConnected(); }, 20000));
    test::XInputRecorder receiver(qgetenv("DISPLAY").toStdString());
    pty.send(bytes("ST,+00012.46  g\r\nST,-00003.75  g\r\nOL\r\nST,+01234.50 kg\r\n"));
    const std::string expected = "12.5<Tab>-3.8<Tab>1234.5<Tab>";
    std::string received;
    const bool complete = QTest::qWaitFor(
        [&] {
            received += receiver.take();
            return received.size() >= expected.size();
        },
        20000);
    EXPECT_TRUE(complete) << received;
    EXPECT_EQ(received, expected);
    QTest::mouseClick(window->findChild<QPushButton*>("startStopJButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isConnected(); }, 20000));
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

// A desktop's system tray: trayer, a stand-alone tray for X.
class WindowTrayTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        const std::string trayer = test::findProgram("trayer");
        if (trayer.empty()) GTEST_SKIP() << "trayer is not installed (scripts/install-deps.sh)";
        tray_ = std::make_unique<test::RunningProgram>(trayer, std::vector<std::string>{});
        ASSERT_TRUE(
            QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 20000));
        ports = {"/dev/ttyUSB0"};
    }
    void TearDown() override {
        WindowFixture::TearDown();
        tray_.reset();
    }

    // The widget Qt shows in the tray for the window's icon.
    QWidget* trayWidget() const {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("QSystemTrayIconSys") && widget->isVisible()) return widget;
        }
        return nullptr;
    }

private:
    std::unique_ptr<test::RunningProgram> tray_;
};

TEST_F(WindowTrayTest, MinimisingHidesTheWindowBehindTheTrayIconAndADoubleClickBringsItBack) {
    storeSettings({{"minimizeToTray", "true"},
                   {"notifyWhenMinimizedToTray", "false"},
                   {"connect", "MANUAL"},
                   {"checkForUpdates", "false"}});
    ModalAnswerer answerer;
    open();
    ASSERT_TRUE(window->tray()->isListening());
    EXPECT_EQ(window->tray()->trayIcon()->toolTip(), "Scalino");
    window->showMinimized();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !window->isVisible() && trayWidget() != nullptr; }, 20000));
    QTest::mouseDClick(trayWidget(), Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->isVisible() && !window->isMinimized(); }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return trayWidget() == nullptr; }, 20000))
        << "the icon leaves the tray";
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(WindowTrayTest, AnAutomaticStartConnectsAndGoesStraightToTheTray) {
    test::Pty pty;
    ports = {pty.path()};
    storeSettings({{"minimizeToTray", "true"},
                   {"notifyWhenMinimizedToTray", "true"},
                   {"connect", "AUTO"},
                   {"port", pty.path()},
                   {"prevPort", pty.path()},
                   {"checkForUpdates", "false"}});
    ModalAnswerer answerer;
    open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->isConnected(); }, 20000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !window->isVisible() && trayWidget() != nullptr; }, 20000));
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(WindowTrayTest, MinimisingToTheTrayIsSetUpOnlyAtStartUp) {
    storeSettings(
        {{"minimizeToTray", "false"}, {"connect", "MANUAL"}, {"checkForUpdates", "false"}});
    ModalAnswerer answerer;
    open();
    EXPECT_FALSE(window->tray()->isListening());
    window->findChild<QCheckBox*>("minimizeToTrayCheckBox")->click();
    EXPECT_TRUE(window->config().fields().minimizeToTray);
    window->showMinimized();
    QTest::qWait(200);
    EXPECT_TRUE(window->isVisible()) << "switching it on takes effect at the next start";
    EXPECT_EQ(trayWidget(), nullptr);
}

TEST_F(WindowTrayTest, ChoosingManualConnectStopsMinimisingToTheTrayAtOnce) {
    // The automatic start fails: the port does not exist.
    storeSettings({{"minimizeToTray", "true"},
                   {"connect", "AUTO"},
                   {"port", "/dev/ttyUSB0"},
                   {"prevPort", "/dev/ttyUSB0"},
                   {"checkForUpdates", "false"}});
    ModalAnswerer answerer;
    open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.messageBoxes().empty(); }, 20000));
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    QTest::qWait(100);
    EXPECT_TRUE(window->isVisible()) << "a failed start is not hidden in the tray";
    ASSERT_TRUE(window->tray()->isListening());
    window->findChild<QRadioButton*>("manualConnectButton")->click();
    EXPECT_FALSE(window->tray()->isListening());
    window->showMinimized();
    QTest::qWait(200);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(trayWidget(), nullptr);
}

}  // namespace
}  // namespace scalino
