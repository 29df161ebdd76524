// The duplicate-suppression dialog driven as a person uses it: typing over its fields, pressing
// its buttons, closing it, answering its message box.
#include "scalino/IgnoreDialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include "scalino/ModalAnswerer.h"
#include "scalino/QtText.h"
#include "scalino/UserActions.h"

namespace scalino {
namespace {

using namespace test;

struct IgnoreTyping {
    QString timeLimit;
    QString difference;
};

QLineEdit& timeLimitField(QWidget& dialog) {
    return child<QLineEdit>(dialog, "ignoreTimeLimitTextField");
}
QLineEdit& differenceField(QWidget& dialog) {
    return child<QLineEdit>(dialog, "ignoreDifferenceTextField");
}

TEST(IgnoreDialogTest, RefusesLimitsThatAreNotPositiveAndStaysOpenWithTheFieldsAsTyped) {
    const std::vector<IgnoreTyping> cases = {
        {"0", ""},
        {"-5", ""},
        {"1.5", ""},
        {"abc", ""},
        {"", "0"},
        {"", "0,0"},
        {"", "-0,5"},
        {"", "-2"},
        {"", "1,2,3"},
        {"", "x"},
        {"250", "0"},
        {"0", "0,5"},
        {"99999999999999999999", ""},  // beyond any integer
    };
    QWidget window;
    for (const IgnoreTyping& typed : cases) {
        SCOPED_TRACE(fromQString(typed.timeLimit + " / " + typed.difference));
        ModalAnswerer answerer;
        IgnoreDialog dialog(&window, "500", "0.5");
        bool stayedOpen = false;
        IgnoreTyping shown;
        const int result = runModal(dialog, answerer, [&](QDialog& open) {
            typeOver(timeLimitField(open), typed.timeLimit);
            typeOver(differenceField(open), typed.difference);
            click(open, "okButton");
            stayedOpen = open.isVisible();
            shown = {timeLimitField(open).text(), differenceField(open).text()};
            click(open, "cancelButton");
        });
        EXPECT_TRUE(stayedOpen);
        EXPECT_EQ(result, QDialog::Rejected);
        ASSERT_EQ(answerer.messageBoxes().size(), 1u);
        EXPECT_EQ(answerer.messageBoxes()[0].title, windowText("error"));
        EXPECT_EQ(answerer.messageBoxes()[0].text, windowText("ignore.error"));
        EXPECT_EQ(shown.timeLimit, typed.timeLimit);
        EXPECT_EQ(shown.difference, typed.difference);
        EXPECT_EQ(dialog.getIgnoreTimeLimit(), "500");
        EXPECT_EQ(dialog.getIgnoreDifference(), "0.5");
    }
}

TEST(IgnoreDialogTest, AcceptsPositiveLimitsOrEmptyFieldsAndKeepsTheDifferenceWithAPoint) {
    struct Case {
        IgnoreTyping typed;
        std::string timeLimit;
        std::string difference;
    };
    const std::vector<Case> cases = {
        {{"2000", "0,05"}, "2000", "0.05"},
        {{"1", "0.001"}, "1", "0.001"},
        {{"", ""}, "", ""},  // duplicate suppression then uses neither limit
        {{"750", ""}, "750", ""},
        {{"", "12,5"}, "", "12.5"},
    };
    QWidget window;
    for (const Case& c : cases) {
        SCOPED_TRACE(fromQString(c.typed.timeLimit + " / " + c.typed.difference));
        ModalAnswerer answerer;
        IgnoreDialog dialog(&window, "500", "0.5");
        const int result = runModal(dialog, answerer, [&](QDialog& open) {
            typeOver(timeLimitField(open), c.typed.timeLimit);
            typeOver(differenceField(open), c.typed.difference);
            click(open, "okButton");
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_TRUE(answerer.messageBoxes().empty());
        EXPECT_EQ(dialog.getIgnoreTimeLimit(), c.timeLimit);
        EXPECT_EQ(dialog.getIgnoreDifference(), c.difference);
    }
}

// A difference the settings store could not keep is refused at once rather than lost on save.
TEST(IgnoreDialogTest, RefusesADifferenceTooLongToBeStored) {
    QWidget window;
    ModalAnswerer answerer;
    IgnoreDialog dialog(&window, "", "");
    const QString pasted = QStringLiteral("1.") + QString(9000, QLatin1Char('5'));
    const int result = runModal(dialog, answerer, [&](QDialog& open) {
        paste(differenceField(open), pasted);
        ASSERT_EQ(differenceField(open).text(), pasted);
        click(open, "okButton");
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes()[0].text, windowText("ignore.error"));
    EXPECT_EQ(dialog.getIgnoreDifference(), "");
}

TEST(IgnoreDialogTest, LeavingWithoutOkKeepsTheValuesPutIn) {
    QWidget window;
    for (Leaving how : {Leaving::CancelButton, Leaving::CloseControl, Leaving::EscapeKey}) {
        SCOPED_TRACE(static_cast<int>(how));
        ModalAnswerer answerer;
        IgnoreDialog dialog(&window, "300", "0.02");
        IgnoreTyping shownAtStart;
        bool closed = false;
        const int result = runModal(dialog, answerer, [&](QDialog& open) {
            shownAtStart = {timeLimitField(open).text(), differenceField(open).text()};
            typeOver(timeLimitField(open), "1000");
            typeOver(differenceField(open), "3,5");
            leave(open, how);
            closed = !open.isVisible();
        });
        EXPECT_TRUE(closed);
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(shownAtStart.timeLimit, "300");
        EXPECT_EQ(shownAtStart.difference, "0.02");
        EXPECT_EQ(dialog.getIgnoreTimeLimit(), "300");
        EXPECT_EQ(dialog.getIgnoreDifference(), "0.02");
        EXPECT_TRUE(answerer.messageBoxes().empty());
    }
}

}  // namespace
}  // namespace scalino
