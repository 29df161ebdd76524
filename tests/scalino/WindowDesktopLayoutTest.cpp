// Typing with the desktop's keyboard layout under a real X server set to German: a barcode text
// arrives exactly with the desktop's layout and with the German one, a fixed layout that is not
// the desktop's is warned about in the event log, and where no X server tells the layout the
// window asks for its name before it connects.
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/KeyEventBackend.h"
#include "platform/XInputRecorder.h"
#include "platform/XvfbServer.h"
#include "scalino/EventLogPanel.h"
#include "scalino/ModalAnswerer.h"
#include "scalino/QtText.h"
#include "scalino/UserActions.h"
#include "scalino/WindowFixture.h"
#include "scalino/XkbLayoutDialog.h"
#include "support/Pty.h"
#include "support/Subprocess.h"
#include "worker/Connection.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardOutput;
using ConfigHelper::KeyboardType;
using test::ModalAnswerer;

// Characters on keys the German layout moves: Y and Z swap, '-' and '/' lie elsewhere.
constexpr std::string_view kBarcode = "Y-Z/";
// The barcode as another X client receives it, with the key typed after each value.
const std::string kTyped = std::string(kBarcode) + "<Tab>";

std::string display() {
    return qgetenv("DISPLAY").toStdString();
}

// Loads the layout into the tests' X server as a desktop does; "" or what setxkbmap said.
std::string setServerLayout(const std::string& layout) {
    const std::string program = test::findProgram("setxkbmap");
    if (program.empty()) return "setxkbmap is not installed (package x11-xkb-utils)";
    const test::ProcessResult result =
        test::runProgram(program,
                         {"-display", display(), "-rules", "evdev", "-model", "pc105", "-layout",
                          layout, "-variant", ""},
                         "");
    return result.exitStatus == 0 ? "" : "setxkbmap failed: " + result.err;
}

class WindowDesktopLayoutTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ports = {pty.path()};
        const std::string failure = setServerLayout("de");
        ASSERT_EQ(failure, "");
    }
    // The other tests of the program type with the US layout the server started with.
    void TearDown() override {
        WindowFixture::TearDown();
        EXPECT_EQ(setServerLayout("us"), "");
    }

    // A barcode scanner on the pty, the window connected by the Start button.
    void storeScanner(KeyboardType keyboardType, const std::string& xkbLayout,
                      KeyboardOutput output = KeyboardOutput::AUTO) {
        storeSettings({{"instrument", "BARCODE_ALPHA_COMPLETE"},
                       {"inputTerminator", "10"},
                       {"connect", "MANUAL"},
                       {"port", pty.path()},
                       {"delay", "0"},
                       {"outputTerminator", "TAB"},
                       {"keyboardType", std::string(ConfigHelper::name(keyboardType))},
                       {"xkbLayout", xkbLayout},
                       {"keyboardOutput", std::string(ConfigHelper::name(output))},
                       {"checkForUpdates", "false"},
                       {"minimizeToTray", "false"}});
    }

    // The window with keys through XTest on this display, and an X server that tells the
    // desktop's layout or not, as serverAnswers says.
    void openTyping() {
        window.reset();
        auto services = this->services();
        services.outputs.keys = [](const Config& config, std::stop_token) -> std::shared_ptr<KeyEventGenerator> {
            return createKeyEventGenerator(config.getKeyboardType(), "x11", config.getXkbLayout());
        };
        services.serverLayoutAvailable = [this] {
            ++serverAsked;
            return serverAnswers;
        };
        services.waylandKeyboardAvailable = [this] { return waylandOffered; };
        window = std::make_unique<VozevuZaDezFrame2>(QStringList{}, std::move(services));
    }

    void pressStart() {
        QTest::mouseClick(control<QPushButton>("startStopJButton"), Qt::LeftButton);
    }

    // Sends the barcode as the scanner does and returns what another X client received.
    std::string scan() {
        test::XInputRecorder receiver(display());
        const std::string line = std::string(kBarcode) + "\n";
        pty.send(test::Bytes(line.begin(), line.end()));
        std::string received;
        const bool arrived = QTest::qWaitFor(
            [&] {
                received += receiver.take();
                return received.size() >= kTyped.size();
            },
            20000);
        EXPECT_TRUE(arrived) << "only \"" << received << "\" arrived";
        QTest::qWait(50);
        return received + receiver.take();
    }

    QString eventLog() const {
        window->eventLogPanel()->flush();
        return window->eventLogPanel()->eventLog()->toPlainText();
    }

    test::Pty pty;
    bool serverAnswers = true;
    bool waylandOffered = false;
    int serverAsked = 0;
};

TEST_F(WindowDesktopLayoutTest, ValuesArriveExactlyWithTheDesktopsLayoutAndAWrongFixedOneIsWarned) {
    struct Case {
        KeyboardType keyboardType;
        bool warned;
    };
    const std::vector<Case> cases = {
        {KeyboardType::DESKTOP, false},
        {KeyboardType::GERMAN, false},
        {KeyboardType::QUERTY, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ConfigHelper::name(c.keyboardType)));
        storeScanner(c.keyboardType, "");
        ModalAnswerer answerer;
        openTyping();
        pressStart();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isConnected(); }, 20000));
        const std::string received = scan();
        const QString mismatch = toQString(Connection::layoutMismatchText(c.keyboardType, "de"));
        EXPECT_EQ(eventLog().contains(mismatch), c.warned) << eventLog().toStdString();
        if (c.warned) {
            EXPECT_NE(received, kTyped)
                << "the US layout's keys do not make these characters on a German desktop";
        } else {
            EXPECT_EQ(received, kTyped);
        }
        EXPECT_TRUE(answerer.messageBoxes().empty());
        pressStart();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isConnected(); }, 20000));
    }
}

TEST_F(WindowDesktopLayoutTest, WithoutAnXServerToTellTheLayoutTheWindowAsksForItsName) {
    storeScanner(KeyboardType::DESKTOP, "");
    serverAnswers = false;
    ModalAnswerer answerer;
    QString question, proposal;
    answerer.handleDialogs([&](QDialog& dialog) {
        auto& asking = dynamic_cast<QInputDialog&>(dialog);
        question = asking.labelText();
        proposal = asking.textValue();
        auto& field = *dialog.findChild<QLineEdit*>();
        test::typeOver(field, "de");
        QTest::keyClick(&field, Qt::Key_Return);
    });
    openTyping();
    EXPECT_EQ(serverAsked, 0) << "asked only when connecting";
    pressStart();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isConnected(); }, 20000));
    EXPECT_EQ(question, windowText("XkbLayoutDialog.label.text"));
    EXPECT_EQ(proposal, toQString(systemXkbLayout()));
    EXPECT_EQ(window->config().getXkbLayout(), "de");
    EXPECT_EQ(control<QLineEdit>("xkbLayoutTextField")->text(), "de");
    EXPECT_EQ(stored("xkbLayout"), "de");
    EXPECT_EQ(scan(), kTyped);
    EXPECT_TRUE(answerer.messageBoxes().empty());
    // The name given is kept: the next connection asks nothing.
    pressStart();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isConnected(); }, 20000));
    question.clear();
    pressStart();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isConnected(); }, 20000));
    EXPECT_TRUE(question.isEmpty());
}

// The Wayland virtual keyboard brings the compositor's keymap: chosen, or the automatic choice
// where the compositor offers it, nothing is asked. The keys themselves go through XTest here
// whatever the setting: only the question is looked at.
TEST_F(WindowDesktopLayoutTest, TheNameIsAskedForOnlyForTheDesktopsLayoutWithoutOneAndAServer) {
    struct Case {
        KeyboardType keyboardType;
        std::string xkbLayout;
        bool serverAnswers;
        KeyboardOutput output;
        bool waylandOffered;
        bool asked;
    };
    const std::vector<Case> cases = {
        {KeyboardType::DESKTOP, "", false, KeyboardOutput::AUTO, false, true},
        {KeyboardType::DESKTOP, "", true, KeyboardOutput::AUTO, false, false},
        {KeyboardType::DESKTOP, "de", false, KeyboardOutput::AUTO, false, false},
        {KeyboardType::GERMAN, "", false, KeyboardOutput::AUTO, false, false},
        {KeyboardType::DESKTOP, "", false, KeyboardOutput::AUTO, true, false},
        {KeyboardType::DESKTOP, "", false, KeyboardOutput::WAYLAND, false, false},
        {KeyboardType::DESKTOP, "", false, KeyboardOutput::X11, true, true},
        {KeyboardType::DESKTOP, "", false, KeyboardOutput::UINPUT, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ConfigHelper::name(c.keyboardType)) + " '" + c.xkbLayout + "' " +
                     (c.serverAnswers ? "server " : "no server ") +
                     std::string(ConfigHelper::name(c.output)) +
                     (c.waylandOffered ? " offered" : " not offered"));
        storeScanner(c.keyboardType, c.xkbLayout, c.output);
        serverAnswers = c.serverAnswers;
        waylandOffered = c.waylandOffered;
        ModalAnswerer answerer;
        int dialogs = 0;
        answerer.handleDialogs([&](QDialog& dialog) {
            ++dialogs;
            auto& field = *dialog.findChild<QLineEdit*>();
            test::typeOver(field, "de");
            QTest::keyClick(&field, Qt::Key_Return);
        });
        openTyping();
        pressStart();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isConnected(); }, 20000));
        EXPECT_EQ(dialogs, c.asked ? 1 : 0);
        EXPECT_EQ(scan(), kTyped);
        EXPECT_TRUE(answerer.messageBoxes().empty());
        pressStart();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isConnected(); }, 20000));
    }
}

TEST_F(WindowDesktopLayoutTest, ANameThatIsNoneIsAskedAgainAndCancelLeavesTheWindowDisconnected) {
    storeScanner(KeyboardType::DESKTOP, "");
    serverAnswers = false;
    ModalAnswerer answerer;
    std::vector<QString> proposals;
    answerer.handleDialogs([&](QDialog& dialog) {
        auto& asking = dynamic_cast<QInputDialog&>(dialog);
        proposals.push_back(asking.textValue());
        auto& field = *dialog.findChild<QLineEdit*>();
        if (proposals.size() == 1) {
            test::typeOver(field, "ch(fr");
            QTest::keyClick(&field, Qt::Key_Return);
        } else if (proposals.size() == 2) {
            test::typeOver(field, "");
            QTest::keyClick(&field, Qt::Key_Return);
        } else {
            test::leave(dialog, test::Leaving::EscapeKey);
        }
    });
    openTyping();
    pressStart();
    ASSERT_EQ(proposals.size(), 3u);
    EXPECT_EQ(proposals[1], "ch(fr") << "the name typed comes back to be put right";
    EXPECT_EQ(proposals[2], "");
    ASSERT_EQ(answerer.messageBoxes().size(), 2u) << "one error for the wrong name, one for none";
    for (const auto& box : answerer.messageBoxes()) {
        EXPECT_EQ(box.title, windowText("error"));
        EXPECT_EQ(box.text, windowText("error.xkb.layout.required"));
    }
    QTest::qWait(200);
    EXPECT_FALSE(window->isConnected());
    EXPECT_EQ(window->config().getXkbLayout(), "");
    EXPECT_EQ(control<QLabel>("statusJLabel")->text(),
              windowText("VozevuZaDezFrame2.statusJLabel.text"));
    EXPECT_EQ(answerer.messageBoxes().size(), 2u) << "no error about the keyboard output";
}

}  // namespace
}  // namespace scalino
