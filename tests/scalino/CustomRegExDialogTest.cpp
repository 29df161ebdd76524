// The custom expression dialog driven as a person uses it.
#include "scalino/CustomRegExDialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>
#include <QUrl>

#include <optional>

#include "scalino/ModalAnswerer.h"
#include "scalino/OpenHyperlinkInBrowser.h"
#include "scalino/QtText.h"
#include "scalino/UserActions.h"

namespace scalino {
namespace {

using namespace test;

// Bounds the wait for the link to open; never reached when things work.
constexpr int kPatienceMs = 60000;

QPlainTextEdit& regExArea(QWidget& dialog) {
    return child<QPlainTextEdit>(dialog, "regExTextArea");
}

TEST(CustomRegExDialogTest, RefusesExpressionsWithoutAUsableGroupAndStaysOpen) {
    const std::vector<QString> cases = {
        "(\\d+",       // an unbalanced bracket does not compile
        "[0-9.]+)",    // nor does a closing bracket without its opening one
        "abc",         // no group to take the value from
        "[)](\\d+)",   // the first unescaped closing bracket comes first
        "\\(\\d+\\)",  // escaped brackets make no group
    };
    QWidget window;
    for (const QString& typed : cases) {
        SCOPED_TRACE(fromQString(typed));
        ModalAnswerer answerer;
        CustomRegExDialog dialog(&window, "(\\d+)");
        bool stayedOpen = false;
        QString shown;
        const int result = runModal(dialog, answerer, [&](QDialog& open) {
            typeOver(regExArea(open), typed);
            click(open, "okButton");
            stayedOpen = open.isVisible();
            shown = regExArea(open).toPlainText();
            click(open, "cancelButton");
        });
        EXPECT_TRUE(stayedOpen);
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(shown, typed);
        ASSERT_EQ(answerer.messageBoxes().size(), 1u);
        EXPECT_EQ(answerer.messageBoxes()[0].title, windowText("error"));
        EXPECT_EQ(answerer.messageBoxes()[0].text, windowText("invalid.expression"));
        EXPECT_EQ(dialog.getRegEx(), "(\\d+)");
    }
}

TEST(CustomRegExDialogTest, OkTakesTheTypedExpressionTheEmptyOneIncluded) {
    struct Case {
        std::string putIn;
        std::optional<QString> typed;  // nothing: OK without editing
        std::string result;
    };
    const std::vector<Case> cases = {
        {"(\\d+)", QString("([0-9.]+) g"), "([0-9.]+) g"},
        {"([0-9.]+) g", QString(""), ""},  // the instrument's own expression applies again
        {"ST,GS,([-+0-9.]+)", std::nullopt, "ST,GS,([-+0-9.]+)"},
        // Characters the text area must hand back exactly as they came.
        {"N\xC2\xA0(\\d+)\t\xC3\xA4", std::nullopt, "N\xC2\xA0(\\d+)\t\xC3\xA4"},
        {"", std::nullopt, ""},
    };
    QWidget window;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.putIn);
        ModalAnswerer answerer;
        CustomRegExDialog dialog(&window, c.putIn);
        QString shownAtStart;
        const int result = runModal(dialog, answerer, [&](QDialog& open) {
            shownAtStart = regExArea(open).document()->toRawText();
            if (c.typed) typeOver(regExArea(open), *c.typed);
            click(open, "okButton");
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_TRUE(answerer.messageBoxes().empty());
        EXPECT_EQ(fromQString(shownAtStart), c.putIn);
        EXPECT_EQ(dialog.getRegEx(), c.result);
    }
}

TEST(CustomRegExDialogTest, LeavingWithoutOkKeepsTheExpression) {
    QWidget window;
    for (Leaving how : {Leaving::CancelButton, Leaving::CloseControl, Leaving::EscapeKey}) {
        SCOPED_TRACE(static_cast<int>(how));
        ModalAnswerer answerer;
        CustomRegExDialog dialog(&window, "(\\d+)");
        const int result = runModal(dialog, answerer, [&](QDialog& open) {
            typeOver(regExArea(open), "([0-9]+)");
            leave(open, how);
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dialog.getRegEx(), "(\\d+)");
    }
}

TEST(CustomRegExDialogTest, RefusesAnExpressionTooLongToBeStored) {
    QWidget window;
    ModalAnswerer answerer;
    CustomRegExDialog dialog(&window, "(\\d+)");
    const QString pasted = QStringLiteral("(\\d+)") + QString(9000, QLatin1Char('x'));
    const int result = runModal(dialog, answerer, [&](QDialog& open) {
        typeOver(regExArea(open), "");
        paste(regExArea(open), pasted);
        ASSERT_EQ(regExArea(open).toPlainText(), pasted);
        click(open, "okButton");
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes()[0].text, windowText("invalid.expression"));
    EXPECT_EQ(dialog.getRegEx(), "(\\d+)");
}

// Stands in for the desktop's browser: receives the addresses the window opens.
class Browser : public QObject {
    Q_OBJECT

public:
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& address) { opened.push_back(address); }
};

TEST(CustomRegExDialogTest, TheQuickStartAddressIsPlainTextWhereNoBrowserCanBeStarted) {
    ASSERT_FALSE(OpenHyperlinkInBrowser::isBrowsingSupported());  // Qt's offscreen platform
    QWidget window;
    CustomRegExDialog dialog(&window, "");
    EXPECT_EQ(child<QLabel>(dialog, "label4").text(), windowText("CustomRegExDialog.label4.text"));
}

TEST(CustomRegExDialogTest, TheQuickStartAddressOpensInTheBrowserWhenClicked) {
    Browser browser;
    OpenHyperlinkInBrowser::setBrowser(&browser, "open");
    QWidget window;
    ModalAnswerer answerer;
    CustomRegExDialog dialog(&window, "");
    runModal(dialog, answerer, [&](QDialog& open) {
        QTest::mouseClick(&child<QLabel>(open, "label4"), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !browser.opened.empty(); }, kPatienceMs));
        click(open, "cancelButton");
    });
    OpenHyperlinkInBrowser::unsetBrowser();
    ASSERT_EQ(browser.opened.size(), 1u);
    EXPECT_EQ(browser.opened[0], QUrl(windowText("CustomRegExDialog.label4.text")));
}

}  // namespace
}  // namespace scalino

#include "CustomRegExDialogTest.moc"
