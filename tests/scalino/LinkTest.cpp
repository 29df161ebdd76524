#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "scalino/JLabelHtml.h"
#include "scalino/LinkRunner.h"
#include "scalino/ModalAnswerer.h"
#include "scalino/OpenHyperlinkInBrowser.h"

namespace scalino {
namespace {

constexpr int kGenerousLimitMs = 10000;

// Stands in for the desktop's browser through Qt's URL handlers: keeps the addresses it is
// asked to open.
class RecordingBrowser : public QObject {
    Q_OBJECT

public:
    RecordingBrowser() { OpenHyperlinkInBrowser::setBrowser(this, "open"); }
    ~RecordingBrowser() override { OpenHyperlinkInBrowser::unsetBrowser(); }

    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

void show(QWidget& widget) {
    widget.resize(400, 40);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

TEST(LinkTest, MakeLinkableTurnsAPlainAddressIntoALinkToItself) {
    struct Case {
        const char* text;
        const char* expected;
    };
    for (const Case& c : {
             Case{"https://scalino.example.org",
                  "<html><a href=\"https://scalino.example.org\">https://scalino.example.org</a>"
                  "</html>"},
             Case{"<html>See <a href=\"https://a.example.org\">a</a></html>",
                  "<html>See <a href=\"https://a.example.org\">a</a></html>"},
             Case{"", ""},
         }) {
        QLabel label(QString::fromUtf8(c.text));
        OpenHyperlinkInBrowser::makeLinkable(&label);
        EXPECT_EQ(label.text(), QString::fromUtf8(c.expected)) << c.text;
        EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(label.findChildren<LinkMouseListener*>().size(), 1);
        OpenHyperlinkInBrowser::makeLinkable(&label);  // once is enough
        EXPECT_EQ(label.findChildren<LinkMouseListener*>().size(), 1);
    }
}

TEST(LinkTest, AClickOnALinkableLabelOpensItsAddressWithoutWaiting) {
    RecordingBrowser browser;
    QLabel label(QStringLiteral("https://scalino.example.org/help?page=1"));
    OpenHyperlinkInBrowser::makeLinkable(&label);
    show(label);

    QTest::mouseClick(&label, Qt::RightButton);
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_TRUE(browser.opened.isEmpty());  // the click returned before the browser was asked
    ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.opened.isEmpty(); }, kGenerousLimitMs));
    QTest::qWait(50);
    EXPECT_EQ(browser.opened, QList<QUrl>({QUrl("https://scalino.example.org/help?page=1")}));

    // Pressed on the label, released elsewhere: no click.
    QTest::mousePress(&label, Qt::LeftButton);
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(-5, -5));
    label.setText(QStringLiteral("no link any more"));
    QTest::mouseClick(&label, Qt::LeftButton);
    QTest::qWait(50);
    EXPECT_EQ(browser.opened.size(), 1);
}

TEST(LinkTest, JLabelHtmlIsLinkableWhereBrowsingIsSupported) {
    RecordingBrowser browser;
    ASSERT_TRUE(OpenHyperlinkInBrowser::isBrowsingSupported());
    JLabelHtml label(QStringLiteral("https://scalino.example.org"));
    EXPECT_TRUE(label.isLinkable());
    EXPECT_TRUE(OpenHyperlinkInBrowser::containsHyperlink(label.text().toStdString()));
    show(label);
    label.grab();
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(&label, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.opened.isEmpty(); }, kGenerousLimitMs));
    EXPECT_EQ(browser.opened.front(), QUrl("https://scalino.example.org"));

    // The hand shows only while the text is a link.
    label.setText(QStringLiteral("Version 2017.1.1.0"));
    label.grab();
    EXPECT_EQ(label.cursor().shape(), Qt::ArrowCursor);
    label.setText(QStringLiteral("<html><a href=\"https://b.example.org\">b</a></html>"));
    label.grab();
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
}

TEST(LinkTest, JLabelHtmlStaysPlainWhereBrowsingIsNotSupported) {
    if (OpenHyperlinkInBrowser::isBrowsingSupported())
        GTEST_SKIP() << "this desktop can open web addresses";
    JLabelHtml label(QStringLiteral("https://scalino.example.org"));
    EXPECT_FALSE(label.isLinkable());
    EXPECT_EQ(label.text(), QStringLiteral("https://scalino.example.org"));
    label.setText(QStringLiteral("<html><a href=\"https://b.example.org\">b</a></html>"));
    show(label);
    label.grab();
    EXPECT_EQ(label.cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(label.findChildren<LinkMouseListener*>().isEmpty());
}

TEST(LinkTest, AnchorsOfRichTextsOpenInTheBrowser) {
    RecordingBrowser browser;
    QTextBrowser about;
    about.setHtml(
        QStringLiteral("<p><a href=\"https://scalino.example.org/about\">"
                       "scalino.example.org/about</a></p>"));
    OpenHyperlinkInBrowser::connectLinks(&about);
    about.resize(400, 200);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTextCursor cursor(about.document());
    cursor.setPosition(3);
    const QPoint onAnchor = about.cursorRect(cursor).center();
    QTest::mouseClick(about.viewport(), Qt::LeftButton, {}, onAnchor);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.opened.isEmpty(); }, kGenerousLimitMs));
    EXPECT_EQ(browser.opened, QList<QUrl>({QUrl("https://scalino.example.org/about")}));
    EXPECT_TRUE(about.source().isEmpty());  // the pane itself did not navigate

    QLabel label(
        QStringLiteral("<a href=\"https://scalino.example.org/hint\">"
                       "scalino.example.org/hint</a>"));
    label.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    OpenHyperlinkInBrowser::connectLinks(&label);
    show(label);
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(10, label.height() / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.opened.size() == 2; }, kGenerousLimitMs));
    EXPECT_EQ(browser.opened.back(), QUrl("https://scalino.example.org/hint"));
}

TEST(LinkTest, AnAddressThatCannotBeOpenedShowsTheProblemMessage) {
    QWidget window;
    show(window);
    test::ModalAnswerer answerer;
    OpenHyperlinkInBrowser::openHyperlink(QStringLiteral("https://scalino example.org/"), &window);
    ASSERT_TRUE(answerer.waitForMessageBoxes(1));
    EXPECT_EQ(answerer.messageBoxes().front().title, QStringLiteral("A problem occured"));
    EXPECT_EQ(answerer.messageBoxes().front().text,
              QStringLiteral("Sorry, a problem occurred while trying to open this link in your "
                             "system's standard browser."));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace scalino

#include "LinkTest.moc"
