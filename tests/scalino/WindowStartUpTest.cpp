// The main window's start-up and its controls, driven as a person uses them: stored settings
// shown, the checks of each field with their dialogs answered, the instrument's rules, the tabs
// and the automatic save.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>

#include "config/ConfigKeys.h"
#include "config/Instrument.h"
#include "scalino/LocalHttpServer.h"
#include "scalino/ModalAnswerer.h"
#include "scalino/QtText.h"
#include "scalino/TrayController.h"
#include "scalino/WindowFixture.h"
#include "support/FakeDriver.h"
#include "util/ResourceBundle.h"

namespace scalino {
namespace {

using test::ModalAnswerer;

QString text(const char* key) {
    return windowText(key);
}

class WindowStartUpTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ports = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
    }

    // Moves the keyboard focus from the field to another control, as Tab does, and lets the
    // field's check run.
    void leave() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        control<QTabWidget>("tabbedPane")->setFocus(Qt::TabFocusReason);
        QTest::qWait(20);
    }
    void typeInto(QLineEdit* field, const QString& value) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        field->setFocus(Qt::TabFocusReason);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        // Key clicks are ASCII only; other characters come as an input method delivers them.
        for (const QChar character : value) {
            if (character.unicode() < 0x80) {
                QTest::keyClicks(field, QString(character));
            } else {
                field->insert(QString(character));
            }
        }
    }
    void showTab(const char* panel) {
        window->tabbedPane()->setCurrentWidget(control<QWidget>(panel));
    }
};

TEST_F(WindowStartUpTest, TheStoredSettingsAreShownInTheirControls) {
    storeSettings({{"port", "/dev/ttyUSB1"},
                   {"instrument", "KERN_MPS"},
                   {"bitRate", "5"},
                   {"dataBits", "2"},
                   {"parity", "2"},
                   {"inputTerminator", "10"},
                   {"mathOperation", "MULTIPLY"},
                   {"mathOperand", "1000"},
                   {"decimalPlaces", "2"},
                   {"roundingMethod", "HALF_EVEN"},
                   {"delay", "35"},
                   {"keyboardType", "GERMAN"},
                   {"connect", "MANUAL"},
                   {"checkForUpdates", "false"}});
    ModalAnswerer answerer;
    open();
    EXPECT_TRUE(answerer.messageBoxes().empty());
    EXPECT_EQ(window->windowTitle(), "Velmora Scalino");
    EXPECT_EQ(control<QComboBox>("portList")->currentText(), "/dev/ttyUSB1");
    EXPECT_EQ(control<QComboBox>("instrumentBox")->currentText(),
              toQString(ConfigHelper::toString(ConfigHelper::Instrument::KERN_MPS)));
    EXPECT_EQ(control<QComboBox>("bitRateBox")->currentText(), "2400");
    EXPECT_EQ(control<QComboBox>("dataBitsBox")->currentText(), "7");
    EXPECT_EQ(control<QComboBox>("parityBox")->currentText(), "EVEN");
    EXPECT_EQ(control<QComboBox>("inputTerminatorBox")->currentText(), "10 <LF>");
    EXPECT_EQ(control<QComboBox>("mathOperationBox")->currentIndex(), 1);
    EXPECT_EQ(control<QLineEdit>("mathOperandTextField")->text(), "1000");
    EXPECT_EQ(control<QLineEdit>("decimalTextField")->text(), "2");
    EXPECT_EQ(control<QComboBox>("roundingMethodBox")->currentText(), "half even");
    EXPECT_EQ(control<QLineEdit>("delayTextField")->text(), "35");
    EXPECT_EQ(control<QComboBox>("keyboardTypeBox")->currentIndex(), 3);
    EXPECT_TRUE(control<QRadioButton>("manualConnectButton")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("checkForUpdatesCheckBox")->isChecked());
    EXPECT_EQ(tabTitles(), (QStringList{text("VozevuZaDezFrame2.panel1.tab.title"),
                                        text("VozevuZaDezFrame2.inputPanel.tab.title"),
                                        text("VozevuZaDezFrame2.processingPanel.tab.title"),
                                        text("VozevuZaDezFrame2.outputPanel.tab.title"),
                                        text("VozevuZaDezFrame2.settingsPanel.tab.title"),
                                        text("VozevuZaDezFrame2.eventLogPanel.tab.title"),
                                        text("VozevuZaDezFrame2.aboutPanel.tab.title")}));
    EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(WindowStartUpTest, AnInvalidStoredValueIsReportedAndItsDefaultApplies) {
    storeSettings({{"instrument", "KERN_MPS"}, {"decimalPlaces", "12"}, {"delay", "abc"}});
    ModalAnswerer answerer;
    open();
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    const auto& box = answerer.messageBoxes().front();
    EXPECT_EQ(box.title, text("error.while.loading.settings"));
    EXPECT_TRUE(box.text.contains("decimalPlaces=12")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("delay=abc")) << box.text.toStdString();
    EXPECT_EQ(control<QLineEdit>("decimalTextField")->text(), "");
    EXPECT_EQ(control<QLineEdit>("delayTextField")->text(), "20");
    EXPECT_EQ(window->config().getInstrument(), ConfigHelper::Instrument::KERN_MPS);
}

TEST_F(WindowStartUpTest, APortOnTheCommandLineIsTheOnlyEntryAndSkipsThePreviousPortCheck) {
    storeSettings({{"port", "/dev/ttyUSB0"},
                   {"prevPort", "/dev/ttyUSB0"},
                   {"connect", "AUTO"},
                   {"abortAutoStartWhenPrevPortNotAvailable", "true"}});
    ModalAnswerer answerer;
    open({"/dev/ttyNOSUCH"});
    auto* portList = control<QComboBox>("portList");
    ASSERT_EQ(portList->count(), 1);
    EXPECT_EQ(portList->itemText(0), "/dev/ttyNOSUCH");
    EXPECT_EQ(window->config().getPort(), "/dev/ttyNOSUCH");
    // The automatic start was tried on that port, not cancelled for the previous one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.messageBoxes().empty(); }, 20000));
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().title, text("error.opening.port"));
    EXPECT_FALSE(window->isConnected());
}

TEST_F(WindowStartUpTest, WhenThePreviousPortIsGoneTheAutomaticStartIsCancelled) {
    storeSettings({{"port", "/dev/ttyUSB9"},
                   {"prevPort", "/dev/ttyUSB9"},
                   {"connect", "AUTO"},
                   {"abortAutoStartWhenPrevPortNotAvailable", "true"}});
    ModalAnswerer answerer;
    open();
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().title, text("error"));
    EXPECT_EQ(answerer.messageBoxes().front().text,
              windowText("previously.used.port.0.no.longer.available.naborting.auto.start",
                         {"/dev/ttyUSB9"}));
    EXPECT_FALSE(window->isConnected());
    EXPECT_EQ(window->config().getPort(), "/dev/ttyUSB0") << "the first entry stays selected";
}

TEST_F(WindowStartUpTest, WithoutPortsTheWindowSaysSoAndStaysUsable) {
    struct Case {
        std::vector<std::string> ports;
        std::string failure;
        const char* firstMessage;
    };
    const std::vector<Case> cases = {
        {{}, "", "no.rs.232.port.found.on.your.system.program.will.now.exit"},
        {{}, "udev is not answering", "error.listing.available.ports"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstMessage);
        ports = c.ports;
        portListFailure = c.failure;
        ModalAnswerer answerer;
        open();
        ASSERT_GE(answerer.messageBoxes().size(), 1u);
        EXPECT_TRUE(answerer.messageBoxes().front().text.startsWith(text(c.firstMessage)));
        if (!c.failure.empty()) {
            EXPECT_TRUE(answerer.messageBoxes().front().text.contains("udev is not answering"));
        }
        EXPECT_EQ(control<QComboBox>("portList")->count(), 0);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(control<QPushButton>("refreshPortsButton")->isEnabled());
    }
}

TEST_F(WindowStartUpTest, RefreshReadsThePortsAgainAndAnEmptyListIsReported) {
    storeSettings({{"port", "/dev/ttyUSB1"}});
    ModalAnswerer answerer;
    open();
    auto* portList = control<QComboBox>("portList");
    ports = {"/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyUSB2"};
    QTest::mouseClick(control<QPushButton>("refreshPortsButton"), Qt::LeftButton);
    ASSERT_EQ(portList->count(), 3);
    EXPECT_EQ(portList->itemText(0), "/dev/ttyACM0");
    EXPECT_EQ(portList->currentText(), "/dev/ttyUSB1") << "the stored port stays selected";
    EXPECT_TRUE(answerer.messageBoxes().empty());
    ports.clear();
    QTest::mouseClick(control<QPushButton>("refreshPortsButton"), Qt::LeftButton);
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().text,
              text("no.rs.232.port.found.on.your.system.program.will.now.exit"));
    EXPECT_EQ(portList->count(), 0);
}

TEST_F(WindowStartUpTest, TheInputTerminatorTakesACodeFrom0To255) {
    ModalAnswerer answerer;
    open();
    auto* box = control<QComboBox>("inputTerminatorBox");
    struct Case {
        QString typed;
        int stored;  // -1: refused, the stored terminator stays
    };
    const std::vector<Case> cases = {{"13", 13},  {"4", 4},    {"0", 0},   {"255", 255},
                                     {"256", -1}, {"abc", -1}, {"-1", -1}, {"", -1}};
    showTab("inputPanel");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const int before = window->config().getInputTerminator();
        answerer.clear();
        typeInto(box->lineEdit(), c.typed);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        if (c.stored >= 0) {
            EXPECT_TRUE(answerer.messageBoxes().empty());
            EXPECT_EQ(window->config().getInputTerminator(), c.stored);
        } else {
            ASSERT_EQ(answerer.messageBoxes().size(), 1u);
            EXPECT_EQ(answerer.messageBoxes().front().text,
                      text("terminator.must.be.between.0.and.255"));
            EXPECT_EQ(window->config().getInputTerminator(), before);
            EXPECT_EQ(box->currentText(), toQString(ConfigHelper::inputTerminatorListText(before)));
            EXPECT_EQ(window->tabbedPane()->currentWidget(), control<QWidget>("inputPanel"));
        }
    }
}

TEST_F(WindowStartUpTest, TextFieldsAreCheckedWhenLeftAndAnInvalidTextChangesNothing) {
    struct Case {
        const char* field;
        QString typed;
        bool accepted;
        std::string storedKey, storedValue;
        const char* errorKey;
    };
    const std::vector<Case> cases = {
        {"mathOperandTextField", "0,45", true, "mathOperand", "0.45", ""},
        {"mathOperandTextField", "0", false, "mathOperand", "", "error.math.operand"},
        {"decimalTextField", "7", true, "decimalPlaces", "7", ""},
        {"decimalTextField", "8", false, "decimalPlaces", "", "error.decimal.places"},
        {"decimalTextField", "", true, "decimalPlaces", "", ""},
        {"editNumCharactersTextField", "99", true, "editNumCharacters", "99", ""},
        {"editNumCharactersTextField", "100", false, "editNumCharacters", "",
         "error.edit.numCharacters"},
        {"removeCharactersTextField", "kg", true, "removeCharacters", "kg", ""},
        {"removeCharactersTextField", "\u20ac", false, "removeCharacters", "",
         "error.edit.removeCharacters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.typed.toStdString());
        ModalAnswerer answerer;
        open();
        showTab("processingPanel");
        // Without a math operation the operand is not kept.
        control<QComboBox>("mathOperationBox")->setCurrentIndex(1);
        auto* field = control<QLineEdit>(c.field);
        typeInto(field, c.typed);
        leave();
        if (c.accepted) {
            EXPECT_TRUE(answerer.messageBoxes().empty());
        } else {
            ASSERT_TRUE(answerer.waitForMessageBoxes(1));
            EXPECT_EQ(answerer.messageBoxes().front().text, text(c.errorKey));
            EXPECT_EQ(answerer.messageBoxes().front().title, text("error"));
            QTest::qWait(20);
            EXPECT_EQ(window->focusWidget(), field) << "the focus goes back into the field";
        }
        // What a save would store.
        window->updateConfigFromTabs();
        const ConfigKey* key = findConfigKey(c.storedKey);
        EXPECT_EQ(key->get(window->config()), c.storedValue);
    }
}

TEST_F(WindowStartUpTest, TheDelayIsCheckedAsItIsTyped) {
    ModalAnswerer answerer;
    open();
    showTab("outputPanel");
    auto* delay = control<QLineEdit>("delayTextField");
    for (const QString good : {"0", "1000", ""}) {
        typeInto(delay, good);
        QTest::qWait(20);
        window->updateConfigFromTabs();
        EXPECT_EQ(window->config().getDelay(), good.toStdString());
    }
    EXPECT_TRUE(answerer.messageBoxes().empty());
    typeInto(delay, "100");
    QTest::qWait(20);
    EXPECT_TRUE(answerer.messageBoxes().empty());
    QTest::keyClicks(delay, "1");  // the fourth digit: 1001
    ASSERT_TRUE(answerer.waitForMessageBoxes(1));
    EXPECT_EQ(answerer.messageBoxes().front().text, text("error.intercharacter.delay"));
    QTest::qWait(20);
    EXPECT_EQ(delay->text(), "20");
    window->updateConfigFromTabs();
    EXPECT_EQ(window->config().getDelay(), "20");
}

TEST_F(WindowStartUpTest, ABarcodeInstrumentGreysTheNumberProcessingOut) {
    ModalAnswerer answerer;
    open();
    auto* instrument = control<QComboBox>("instrumentBox");
    const std::vector<const char*> numberControls = {"roundingMethodBox", "mathOperationBox",
                                                     "mathOperandTextField", "decimalTextField",
                                                     "decimalSeparatorBox"};
    for (auto [chosen, enabled] : {std::pair{ConfigHelper::Instrument::BARCODE_ALPHA, false},
                                   std::pair{ConfigHelper::Instrument::KERN_572, true},
                                   std::pair{ConfigHelper::Instrument::BARCODE, false}}) {
        instrument->setCurrentIndex(ConfigHelper::ordinal(chosen));
        for (const char* name : numberControls)
            EXPECT_EQ(control<QWidget>(name)->isEnabled(), enabled) << name;
    }
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(WindowStartUpTest, ChangingTheInstrumentAsksBeforeDroppingACustomExpression) {
    storeSettings({{"customRegEx", "W=([0-9.]+)"}});
    for (auto [answer, kept] :
         {std::pair{QMessageBox::No, true}, std::pair{QMessageBox::Yes, false}}) {
        ModalAnswerer answerer(answer);
        open();
        control<QComboBox>("instrumentBox")->setCurrentIndex(5);
        ASSERT_EQ(answerer.messageBoxes().size(), 1u);
        EXPECT_EQ(answerer.messageBoxes().front().title, "Confirm");
        EXPECT_EQ(answerer.messageBoxes().front().text, "Overwrite custom regular expression?");
        EXPECT_EQ(window->config().getCustomRegEx(), kept ? "W=([0-9.]+)" : "");
        // Choosing the same instrument again asks nothing.
        control<QComboBox>("instrumentBox")->setCurrentIndex(5);
        EXPECT_EQ(answerer.messageBoxes().size(), 1u);
    }
}

TEST_F(WindowStartUpTest, TheDefaultButtonShowsTheHintAndSetsTheSerialParameters) {
    ModalAnswerer answerer;
    open();
    showTab("inputPanel");
    for (auto instrument :
         {ConfigHelper::Instrument::AND_SIMPLE, ConfigHelper::Instrument::AND_EM}) {
        SCOPED_TRACE(ConfigHelper::name(instrument));
        answerer.clear();
        control<QComboBox>("instrumentBox")->setCurrentIndex(ConfigHelper::ordinal(instrument));
        QTest::mouseClick(control<QPushButton>("defaultButton"), Qt::LeftButton);
        const auto message = ConfigHelper::getDefaultMessage(instrument);
        ASSERT_EQ(answerer.messageBoxes().size(), message ? 1u : 0u);
        if (message) {
            EXPECT_EQ(answerer.messageBoxes().front().title, "Info");
        }
        const Config expected = ConfigHelper::getDefaultConfig(instrument);
        EXPECT_EQ(window->config().getBitRate(), expected.getBitRate());
        EXPECT_EQ(window->config().getDataBits(), expected.getDataBits());
        EXPECT_EQ(window->config().getParity(), expected.getParity());
        EXPECT_EQ(window->config().getStopBits(), expected.getStopBits());
        EXPECT_EQ(window->config().getInputTerminator(), expected.getInputTerminator());
    }
}

TEST_F(WindowStartUpTest, AMathOperationWithoutOperandIsSwitchedOffWhenTheTabIsLeft) {
    ModalAnswerer answerer;
    open();
    showTab("processingPanel");
    control<QComboBox>("mathOperationBox")->setCurrentIndex(1);  // multiply, no operand
    showTab("aboutPanel");
    EXPECT_EQ(control<QComboBox>("mathOperationBox")->currentIndex(), 0);
    EXPECT_EQ(window->config().getMathOperation(), ConfigHelper::MathOperation::NONE);
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(WindowStartUpTest, DivisionWithoutDecimalPlacesIsWarnedOnceOnTheProcessingTab) {
    ModalAnswerer answerer;
    open();
    showTab("processingPanel");
    typeInto(control<QLineEdit>("mathOperandTextField"), "4");
    control<QComboBox>("mathOperationBox")->setCurrentIndex(2);  // divide
    showTab("panel1");
    ASSERT_TRUE(answerer.waitForMessageBoxes(1));
    QTest::qWait(50);
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().text,
              text("please.enter.number.of.decimal.places.for.rounding.or.disable.division"));
    EXPECT_EQ(answerer.messageBoxes().front().icon, QMessageBox::Warning);
    EXPECT_EQ(window->tabbedPane()->currentWidget(), control<QWidget>("processingPanel"));
    EXPECT_EQ(window->focusWidget(), control<QLineEdit>("decimalTextField"));
}

TEST_F(WindowStartUpTest, LeavingTheInputProcessingOutputOrAboutTabSavesWhatChanged) {
    struct Case {
        const char* panel;
        bool saves;
    };
    const std::vector<Case> cases = {{"inputPanel", true},     {"processingPanel", true},
                                     {"outputPanel", true},    {"settingsPanel", false},
                                     {"eventLogPanel", false}, {"aboutPanel", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.panel);
        storeSettings({{"delay", "20"}});
        ModalAnswerer answerer;
        open();
        showTab(c.panel);
        // A change the window has taken but not saved: the delay field's text.
        control<QLineEdit>("delayTextField")->setText("55");
        showTab("panel1");
        EXPECT_EQ(stored("delay"), c.saves ? "55" : "20");
    }
}

TEST_F(WindowStartUpTest, TheUpdateCheckRunsWhenAllowedAndTellsTheStatusLine) {
    test::LocalHttpServer server;
    server.setResponder(test::LocalHttpServer::document(
        "<version2_en>2999.0.0.0</version2_en><version2_de>2999.0.0.0</version2_de>"
        "<version2_fr>2999.0.0.0</version2_fr><version2>2999.0.0.0</version2>"));
    test::ScopedProperty url("UPDATE_URL", server.url().toStdString());
    test::ScopedProperty version("VERSION", "2017.1.1.0");
    for (auto [allowed, due] :
         {std::pair{true, true}, std::pair{false, true}, std::pair{true, false}}) {
        SCOPED_TRACE(std::to_string(allowed) + std::to_string(due));
        storeSettings({{"checkForUpdates", allowed ? "true" : "false"}});
        updateCheckDue = due;
        const int before = server.connections();
        ModalAnswerer answerer;
        open();
        auto* status = control<QLabel>("statusJLabel");
        if (allowed && due) {
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return status->text() == text("update.available"); }, 20000))
                << status->text().toStdString();
        } else {
            QTest::qWait(100);
            EXPECT_EQ(server.connections(), before) << "no request at all";
            EXPECT_EQ(status->text(), text("VozevuZaDezFrame2.statusJLabel.text"));
        }
        EXPECT_TRUE(answerer.messageBoxes().empty());
    }
}

// Sets the fields of the dialog by their names and presses one of its buttons.
auto fillAndPress(std::vector<std::pair<const char*, QString>> fields, const char* button) {
    return [fields, button](QDialog& dialog) {
        for (const auto& [name, value] : fields) {
            if (auto* line = dialog.findChild<QLineEdit*>(name)) line->setText(value);
            if (auto* area = dialog.findChild<QPlainTextEdit*>(name)) area->setPlainText(value);
            if (auto* area = dialog.findChild<QTextEdit*>(name)) area->setPlainText(value);
        }
        QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
    };
}

TEST_F(WindowStartUpTest, TheDialogsWriteOnlyWhatTheUserChanged) {
    storeSettings(
        {{"instrument", "KERN_MPS"}, {"ignoreTimeLimit", "500"}, {"ignoreDifference", "0.1"}});
    ModalAnswerer answerer;
    open();
    const std::string expression(ConfigHelper::getRegEx(ConfigHelper::Instrument::KERN_MPS));
    QString shown;
    answerer.handleDialogs([&](QDialog& dialog) {
        if (auto* area = dialog.findChild<QPlainTextEdit*>("regExTextArea"))
            shown = area->toPlainText();
        if (auto* area = dialog.findChild<QTextEdit*>("regExTextArea")) shown = area->toPlainText();
        QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
    });
    showTab("inputPanel");
    QTest::mouseClick(control<QPushButton>("customizeButton"), Qt::LeftButton);
    EXPECT_EQ(shown, toQString(expression)) << "the instrument's own expression to start from";
    EXPECT_EQ(window->config().getCustomRegEx(), "") << "OK without a change stores nothing";

    answerer.handleDialogs(fillAndPress({{"regExTextArea", "W=([0-9.]+)"}}, "okButton"));
    QTest::mouseClick(control<QPushButton>("customizeButton"), Qt::LeftButton);
    EXPECT_EQ(window->config().getCustomRegEx(), "W=([0-9.]+)");

    showTab("processingPanel");
    answerer.handleDialogs(
        fillAndPress({{"ignoreTimeLimitTextField", "750"}, {"ignoreDifferenceTextField", "0,2"}},
                     "cancelButton"));
    QTest::mouseClick(control<QPushButton>("adjustIgnoreButton"), Qt::LeftButton);
    EXPECT_EQ(window->config().getIgnoreTimeLimit(), "500");
    answerer.handleDialogs(fillAndPress(
        {{"ignoreTimeLimitTextField", "750"}, {"ignoreDifferenceTextField", "0,2"}}, "okButton"));
    QTest::mouseClick(control<QPushButton>("adjustIgnoreButton"), Qt::LeftButton);
    EXPECT_EQ(window->config().getIgnoreTimeLimit(), "750");
    EXPECT_EQ(window->config().getIgnoreDifference(), "0.2");
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(WindowStartUpTest, AutomaticDetectionRunsOverThePortListAndCanBeClosed) {
    ModalAnswerer answerer;
    QStringList messages;
    answerer.handleDialogs([&](QDialog& dialog) {
        auto* button = dialog.findChild<QPushButton*>("okButton");
        ASSERT_TRUE(QTest::qWaitFor([&] { return button->text() == "Close"; }, 30000));
        messages = dialog.findChild<QTextEdit*>("textPane1")->toPlainText().split('\n');
        QTest::mouseClick(button, Qt::LeftButton);
    });
    open();
    showTab("inputPanel");
    QTest::mouseClick(control<QPushButton>("autoButton"), Qt::LeftButton);
    // The two ports of the list do not exist: each is reported, and nothing is proposed.
    EXPECT_TRUE(messages.join('\n').contains("/dev/ttyUSB0")) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages.join('\n').contains("/dev/ttyUSB1"));
    EXPECT_EQ(control<QComboBox>("portList")->currentText(), "/dev/ttyUSB0");
}

TEST(TrayImageTest, TheImageFollowsTheTraysIconHeight) {
    const std::vector<std::pair<int, int>> cases = {{1, 16},  {16, 16}, {17, 20}, {20, 20},
                                                    {21, 24}, {24, 24}, {25, 32}, {64, 32}};
    for (auto [height, image] : cases)
        EXPECT_EQ(TrayController::imageSizeFor(height), image) << height;
    for (int size : TrayController::kImageSizes)
        EXPECT_FALSE(createImageIcon(size).isNull()) << size;
}

}  // namespace
}  // namespace scalino
