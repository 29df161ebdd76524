// The name of the desktop's keyboard layout on the Output tab, used as a person uses it: open
// only for the desktop's layout, checked when left, saved and shown again at the next start;
// and the system's layout the question for it proposes.
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>

#include <fstream>

#include "scalino/ModalAnswerer.h"
#include "scalino/QtText.h"
#include "scalino/WindowFixture.h"
#include "scalino/XkbLayoutDialog.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using test::ModalAnswerer;

class WindowLayoutNameTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ports = {"/dev/ttyUSB0"};
    }

    QLineEdit* layoutField() const { return control<QLineEdit>("xkbLayoutTextField"); }
    QComboBox* keyboardTypeBox() const { return control<QComboBox>("keyboardTypeBox"); }
    void showTab(const char* panel) {
        window->tabbedPane()->setCurrentWidget(control<QWidget>(panel));
    }

    // Clicks into the field, types the text over its content and moves on with Tab.
    void typeAndLeave(QLineEdit* field, const QString& typed) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        field->setFocus(Qt::MouseFocusReason);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typed);
        control<QTabWidget>("tabbedPane")->setFocus(Qt::TabFocusReason);
        QTest::qWait(20);
    }
};

TEST_F(WindowLayoutNameTest, TheNameCanBeEditedOnlyForTheDesktopsLayout) {
    for (const KeyboardType stored : ConfigHelper::values<KeyboardType>()) {
        SCOPED_TRACE(std::string(ConfigHelper::name(stored)));
        storeSettings({{"keyboardType", std::string(ConfigHelper::name(stored))},
                       {"xkbLayout", "ch(fr)"},
                       {"checkForUpdates", "false"}});
        ModalAnswerer answerer;
        open();
        showTab("outputPanel");
        EXPECT_EQ(layoutField()->text(), "ch(fr)");
        EXPECT_EQ(layoutField()->isEnabled(), stored == KeyboardType::DESKTOP);
        EXPECT_FALSE(layoutField()->placeholderText().isEmpty());
        for (const KeyboardType chosen : ConfigHelper::values<KeyboardType>()) {
            keyboardTypeBox()->setCurrentIndex(ConfigHelper::ordinal(chosen));
            EXPECT_EQ(layoutField()->isEnabled(), chosen == KeyboardType::DESKTOP)
                << ConfigHelper::name(chosen);
        }
        EXPECT_TRUE(answerer.messageBoxes().empty());
    }
}

TEST_F(WindowLayoutNameTest, ANameIsCheckedWhenLeftAndOnlyAValidOneIsSavedAndShownAgain) {
    struct Case {
        QString typed;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"de", true},        {"ch(fr)", true},   {"us(dvorak)", true}, {"", true},
        {"de fr", false},    {"ch(fr", false},   {"ch()", false},      {"(fr)", false},
        {"de;rm -r", false}, {"de(fr)x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        storeSettings({{"keyboardType", "DESKTOP"},
                       {"xkbLayout", "fr"},
                       {"connect", "MANUAL"},
                       {"checkForUpdates", "false"}});
        ModalAnswerer answerer;
        open();
        showTab("outputPanel");
        typeAndLeave(layoutField(), c.typed);
        const std::string kept = c.accepted ? c.typed.toStdString() : "fr";
        if (c.accepted) {
            EXPECT_TRUE(answerer.messageBoxes().empty());
        } else {
            ASSERT_TRUE(answerer.waitForMessageBoxes(1));
            EXPECT_EQ(answerer.messageBoxes().front().title, windowText("error"));
            EXPECT_EQ(answerer.messageBoxes().front().text, windowText("error.xkb.layout"));
            QTest::qWait(20);
            EXPECT_EQ(window->focusWidget(), layoutField()) << "the focus goes back into the field";
        }
        EXPECT_EQ(window->config().getXkbLayout(), kept);
        // Leaving the tab saves; an invalid name is refused again and stays out of the file.
        showTab("panel1");
        EXPECT_EQ(window->config().getXkbLayout(), kept);
        EXPECT_EQ(stored("xkbLayout"), kept);
        open();
        EXPECT_EQ(layoutField()->text(), toQString(kept));
    }
}

TEST_F(WindowLayoutNameTest, TheNameIsSavedWhenTheWindowCloses) {
    storeSettings({{"keyboardType", "QUERTY"}, {"checkForUpdates", "false"}});
    ModalAnswerer answerer;
    open();
    showTab("outputPanel");
    keyboardTypeBox()->setCurrentIndex(ConfigHelper::ordinal(KeyboardType::DESKTOP));
    ASSERT_TRUE(layoutField()->isEnabled());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    layoutField()->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(layoutField(), "ch(fr)");
    window->close();
    EXPECT_EQ(stored("keyboardType"), "DESKTOP");
    EXPECT_EQ(stored("xkbLayout"), "ch(fr)");
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

// The way keys are sent: the box shows the stored choice with the settings' texts, and the one
// chosen is saved when the tab is left and shown by the next start.
TEST_F(WindowLayoutNameTest, TheKeyboardOutputIsShownChosenSavedAndShownAgain) {
    using ConfigHelper::KeyboardOutput;
    const std::pair<KeyboardOutput, KeyboardOutput> cases[] = {
        {KeyboardOutput::AUTO, KeyboardOutput::X11},
        {KeyboardOutput::X11, KeyboardOutput::WAYLAND},
        {KeyboardOutput::WAYLAND, KeyboardOutput::UINPUT},
        {KeyboardOutput::UINPUT, KeyboardOutput::AUTO},
    };
    for (const auto& [before, chosen] : cases) {
        SCOPED_TRACE(std::string(ConfigHelper::name(before)) + " to " +
                     std::string(ConfigHelper::name(chosen)));
        storeSettings({{"keyboardOutput", std::string(ConfigHelper::name(before))},
                       {"connect", "MANUAL"},
                       {"checkForUpdates", "false"}});
        ModalAnswerer answerer;
        open();
        showTab("outputPanel");
        auto* box = control<QComboBox>("keyboardOutputBox");
        ASSERT_NE(box, nullptr);
        ASSERT_EQ(box->count(), 6);
        for (const KeyboardOutput output : ConfigHelper::values<KeyboardOutput>()) {
            EXPECT_EQ(box->itemText(ConfigHelper::ordinal(output)),
                      toQString(ConfigHelper::toString(output)));
        }
        EXPECT_EQ(box->currentIndex(), ConfigHelper::ordinal(before));
        EXPECT_EQ(window->config().getKeyboardOutput(), before);
        box->setCurrentIndex(ConfigHelper::ordinal(chosen));
        EXPECT_EQ(window->config().getKeyboardOutput(), chosen);
        showTab("panel1");
        EXPECT_EQ(stored("keyboardOutput"), ConfigHelper::name(chosen));
        open();
        EXPECT_EQ(control<QComboBox>("keyboardOutputBox")->currentIndex(),
                  ConfigHelper::ordinal(chosen));
        EXPECT_TRUE(answerer.messageBoxes().empty());
    }
}

TEST(SystemXkbLayoutTest, TheFirstLayoutAndVariantOfTheKeyboardFile) {
    struct Case {
        const char* content;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"XKBMODEL=\"pc105\"\nXKBLAYOUT=\"de\"\nXKBVARIANT=\"\"\nXKBOPTIONS=\"\"\n", "de"},
        {"XKBLAYOUT=\"ch\"\nXKBVARIANT=\"fr\"\n", "ch(fr)"},
        {"XKBVARIANT='dvorak'\nXKBLAYOUT='us'\n", "us(dvorak)"},
        {"XKBLAYOUT=de\n", "de"},
        {"XKBLAYOUT=\"de,us\"\nXKBVARIANT=\"nodeadkeys,\"\n", "de(nodeadkeys)"},
        {"XKBLAYOUT=\"fr,de\"\nXKBVARIANT=\",nodeadkeys\"\n", "fr"},
        {"# XKBLAYOUT=\"it\"\n  XKBLAYOUT=\"be\"  \r\n", "be"},
        {"XKBMODEL=\"pc105\"\n", ""},
        {"XKBLAYOUT=\"\"\n", ""},
        {"XKBLAYOUT=\"de ch\"\n", ""},
        {"XKBLAYOUT=\"$(reboot)\"\n", ""},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        std::ofstream(dir / "keyboard") << c.content;
        EXPECT_EQ(systemXkbLayout(dir / "keyboard"), c.expected);
    }
    EXPECT_EQ(systemXkbLayout(dir / "missing"), "");
}

}  // namespace
}  // namespace scalino
