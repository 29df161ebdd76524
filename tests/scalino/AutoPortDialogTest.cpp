// The port detection dialog over pseudo-terminals and over ports whose modem lines the test
// wires: its messages, its button, the port it selects, and how it ends when closed early.
#include "scalino/AutoPortDialog.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <algorithm>
#include <map>
#include <memory>

#include "platform/TermiosDriver.h"
#include "rs232/FriendlyPortUtil.h"
#include "scalino/ModalAnswerer.h"
#include "scalino/QtText.h"
#include "scalino/QtUiExecutor.h"
#include "scalino/UserActions.h"
#include "support/ModemLineDriver.h"
#include "support/Pty.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using namespace test;
using Wiring = ModemLineDriver::Wiring;

// Bounds a wait for the search thread; never reached when things work.
constexpr int kPatienceMs = 60000;

// The pane's lines; emphasised ones start with "** ".
std::vector<std::string> paneLines(QWidget& dialog) {
    std::vector<std::string> lines;
    const QTextDocument* document = child<QTextEdit>(dialog, "textPane1").document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const bool bold = block.begin() != block.end() &&
                          block.begin().fragment().charFormat().fontWeight() >= QFont::Bold;
        lines.push_back((bold ? "** " : "") + fromQString(block.text()));
    }
    return lines;
}

QString caption(QWidget& dialog) {
    return child<QPushButton>(dialog, "okButton").text();
}

bool awaitCaption(QWidget& dialog, const QString& text) {
    return QTest::qWaitFor([&] { return caption(dialog) == text; }, kPatienceMs);
}

bool awaitLine(QWidget& dialog, const std::string& line) {
    return QTest::qWaitFor(
        [&] {
            const auto lines = paneLines(dialog);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        },
        kPatienceMs);
}

// The window's side of a search: its GUI executor, the ports it would select.
struct Window {
    QWidget widget;
    QtUiExecutor executor;
    std::vector<std::string> selected;
    AutoPortDialog::PortSelector selector() {
        return [this](const std::string& name) { selected.push_back(name); };
    }
};

PortOpener openerFor(std::shared_ptr<NativeDriver> driver) {
    return [driver](const SerialConfig& config) {
        return std::make_unique<SerialPortLocal>(config, driver,
                                                 PlatformInfo::forPlatform("Linux", "amd64"));
    };
}

std::string testing(const std::string& port) {
    return workerText("testing.port.0", {port});
}

// A pseudo-terminal has no modem-control lines: it cannot be driven and is not proposed.
TEST(AutoPortDialogTest, APseudoTerminalIsReportedAndNoPortIsProposed) {
    test::Pty pty;
    Window window;
    ModalAnswerer answerer;
    AutoPortDialog dialog(&window.widget, {pty.path()}, window.selector(), window.executor,
                          openerFor(std::make_shared<TermiosDriver>()));
    // The search starts with the dialog: it is never seen with its first caption "OK".
    const QString captionOnCreation = caption(dialog);
    std::vector<std::string> lines;
    const int result = runModal(dialog, answerer, [&](QDialog& open) {
        ASSERT_TRUE(awaitCaption(open, "Close"));
        lines = paneLines(open);
        click(open, "okButton");
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.windowTitle(), "Auto-detect port");
    EXPECT_EQ(captionOnCreation, "Cancel");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], workerText("auto.port.detection.started"));
    EXPECT_EQ(lines[1], testing(pty.path()));
    EXPECT_EQ(lines[2].rfind("setDTR failed: ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3], "** " + workerText("could.not.auto.detect.port"));
    EXPECT_TRUE(window.selected.empty());
}

TEST(AutoPortDialogTest, TheBestPortIsSelectedByItsFriendlyName) {
    const std::map<std::string, Wiring> wiring = {
        {"/dev/ttyS0", Wiring::Nothing},
        {"/dev/ttyUSB0", Wiring::Looped},
        {"/dev/ttyUSB1", Wiring::HeldOn},
        {"/dev/ttyUSB2", Wiring::HeldOn},  // as good, but later
    };
    FriendlyPortUtil::update({PortDriverInfo("/dev/ttyUSB1", "FTDI", "FT232R USB UART")});
    auto driver = std::make_shared<test::ModemLineDriver>(wiring);
    Window window;
    ModalAnswerer answerer;
    AutoPortDialog dialog(&window.widget,
                          {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"},
                          window.selector(), window.executor, openerFor(driver));
    const QString captionOnCreation = caption(dialog);
    std::vector<std::string> lines;
    runModal(dialog, answerer, [&](QDialog& open) {
        ASSERT_TRUE(awaitCaption(open, "Close"));
        lines = paneLines(open);
        click(open, "okButton");
    });
    FriendlyPortUtil::update({});
    EXPECT_EQ(window.selected, (std::vector<std::string>{"/dev/ttyUSB1: FT232R USB UART - FTDI"}));
    EXPECT_EQ(captionOnCreation, "Cancel");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "** " + workerText("best.port", {"/dev/ttyUSB1"}));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("** ", 0) == 0; }),
              1);
    EXPECT_EQ(driver->portsOpen(), 0);
}

TEST(AutoPortDialogTest, TheButtonStopsARunningSearchAndKeepsTheDialogOpenUntilPressedAgain) {
    // The search is held while it opens the first port, so the press surely comes during it.
    auto driver = std::make_shared<test::ModemLineDriver>(std::map<std::string, Wiring>{
        {"/dev/ttyUSB0", Wiring::HeldOn}, {"/dev/ttyUSB1", Wiring::HeldOn}});
    driver->holdOpening("/dev/ttyUSB0");
    Window window;
    ModalAnswerer answerer;
    AutoPortDialog dialog(&window.widget, {"/dev/ttyUSB0", "/dev/ttyUSB1"}, window.selector(),
                          window.executor, openerFor(driver));
    bool openAfterFirstPress = false;
    QString captionAfterFirstPress;
    std::vector<std::string> lines;
    const int result = runModal(dialog, answerer, [&](QDialog& open) {
        click(open, "okButton");
        openAfterFirstPress = open.isVisible();
        captionAfterFirstPress = caption(open);
        driver->release();
        ASSERT_TRUE(awaitLine(open, workerText("stopped")));
        lines = paneLines(open);
        click(open, "okButton");
    });
    EXPECT_TRUE(openAfterFirstPress);
    EXPECT_EQ(captionAfterFirstPress, "Close");
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         workerText("auto.port.detection.started"), testing("/dev/ttyUSB0"),
                         "** " + workerText("could.not.auto.detect.port"), workerText("stopped")}));
    EXPECT_TRUE(window.selected.empty());
    EXPECT_EQ(driver->record("/dev/ttyUSB1").opens, 0);
    EXPECT_EQ(driver->portsOpen(), 0);
}

// Counts the steps a search posts, and those that run once the dialog is gone.
class CountingExecutor : public UiExecutor {
public:
    void post(std::function<void()> step) override {
        inner_.post([this, step = std::move(step)] {
            step();
            if (dialogGone) ++ranAfterDialog;
        });
    }
    bool dialogGone = false;
    int ranAfterDialog = 0;

private:
    QtUiExecutor inner_;
};

TEST(AutoPortDialogTest, ClosingDuringTheSearchStopsItAndNothingReachesTheDialogAfterwards) {
    enum class Ending { CloseControl, EscapeKey, DestroyedOpen };
    for (Ending ending : {Ending::CloseControl, Ending::EscapeKey, Ending::DestroyedOpen}) {
        SCOPED_TRACE(static_cast<int>(ending));
        // Both ports would be proposed; a search that is stopped proposes none.
        auto driver = std::make_shared<test::ModemLineDriver>(std::map<std::string, Wiring>{
            {"/dev/ttyUSB0", Wiring::HeldOn}, {"/dev/ttyUSB1", Wiring::HeldOn}});
        if (ending != Ending::DestroyedOpen) driver->holdOpening("/dev/ttyUSB0");
        Window window;
        CountingExecutor executor;
        auto dialog = std::make_unique<AutoPortDialog>(
            &window.widget, std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1"},
            window.selector(), executor, openerFor(driver));
        if (ending != Ending::DestroyedOpen) {
            ModalAnswerer answerer;
            const int result = runModal(*dialog, answerer, [&](QDialog& open) {
                leave(open,
                      ending == Ending::CloseControl ? Leaving::CloseControl : Leaving::EscapeKey);
            });
            EXPECT_EQ(result, QDialog::Rejected);
            EXPECT_FALSE(dialog->isVisible());
            driver->release();
        }
        // The search thread ends with the dialog; the steps it posted last are still queued.
        dialog.reset();
        executor.dialogGone = true;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_GT(executor.ranAfterDialog, 0);
        EXPECT_TRUE(window.selected.empty());
        EXPECT_EQ(driver->portsOpen(), 0);
    }
}

}  // namespace
}  // namespace scalino
