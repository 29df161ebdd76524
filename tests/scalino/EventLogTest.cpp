// The event log as the window keeps it: what each kind of line shows, whole entries from many
// threads at once, and the bound on its length.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>

#include <thread>

#include "scalino/EventLogPanel.h"
#include "scalino/GuiConnectionView.h"
#include "scalino/QtText.h"
#include "scalino/QtUiExecutor.h"

namespace scalino {
namespace {

DataLine line(std::string raw, std::string value) {
    return DataLine(std::move(raw), std::move(value), 1, false, DataLine::Instant::clock::now());
}

// The pieces without the time, which starts every line.
std::vector<StyledText> withoutTime(std::vector<StyledText> pieces) {
    pieces.front().text.erase(0, 9);
    if (pieces.front().text.empty()) pieces.erase(pieces.begin());
    return pieces;
}

TEST(EventLogTextTest, EachKindOfLineIsShownInItsStyles) {
    using S = LogStyle;
    struct Case {
        std::string raw, value;
        std::vector<StyledText> shown;
    };
    const std::vector<Case> cases = {
        {"N  60.24 kg\r\n",
         "60.24",
         {{"N  ", S::Ignored}, {"60.24", S::Typed}, {" kg<13><10>\n", S::Ignored}}},
        {"60,24\n", "60.24", {{"", S::Ignored}, {"60,24", S::Typed}, {"<10>\n", S::Ignored}}},
        {"60.24\n", "60,24", {{"", S::Ignored}, {"60.24", S::Typed}, {"<10>\n", S::Ignored}}},
        {"OL\r\n", "", {{"OL<13><10>\n", S::Ignored}}},
        {"\x02 7.5\r", "7.5", {{"<2> 7.5<13>\n", S::Unknown}}},
        {"12.345 g\n", "12350", {{"12.345 g<10>\n", S::Unknown}}},
        {"\xb0"
         "5\n",
         "5",
         {{"<176>5<10>\n", S::Unknown}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(withoutTime(displayLine(line(c.raw, c.value))), c.shown);
    }
}

TEST(EventLogTextTest, TheTimeIsTheLinesArrivalOnThe24HourClock) {
    std::tm time{};
    time.tm_hour = 17;
    time.tm_min = 4;
    time.tm_sec = 9;
    EXPECT_EQ(logEntry(time, "Stopped."), "17:04:09 Stopped.\n");
}

TEST(EventLogPanelTest, OnlyTheNewestLinesAreKept) {
    // 0: every entry waits for the view at once; else the view takes some in between.
    for (const int flushEvery : {0, 4000}) {
        SCOPED_TRACE(flushEvery);
        EventLogPanel panel;
        const int total = EventLogPanel::kMaxLines + 50;
        for (int i = 1; i <= total; ++i) {
            panel.append({{"entry " + std::to_string(i) + "\n", LogStyle::Regular}});
            if (flushEvery > 0 && i % flushEvery == 0) panel.flush();
        }
        const QTextDocument* document = panel.eventLog()->document();
        const QString last = toQString("entry " + std::to_string(total));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return document->lastBlock().previous().text() == last; }, 20000))
            << "waiting entries reach the document by themselves";
        EXPECT_EQ(document->firstBlock().text(), "entry 51");
        EXPECT_EQ(document->blockCount(), EventLogPanel::kMaxLines + 1);
    }
}

class Display : public ConnectionDisplay {
public:
    explicit Display(EventLogPanel& panel) : panel_(panel) {}
    void appendToLog(const std::vector<StyledText>& pieces) override { panel_.append(pieces); }
    void showConnected(bool) override {}
    void showLine(const DataLine&) override {}
    void showWarning(const std::string&, const std::string&) override {}
    void showProblem(ConnectionView::Problem, const std::string&) override {}

private:
    EventLogPanel& panel_;
};

TEST(EventLogPanelTest, EntriesFromManyThreadsArriveWholeAndInTheirOrder) {
    EventLogPanel panel;
    QObject context;
    Display display(panel);
    GuiConnectionView view(display, &context);
    constexpr int kThreads = 4, kEntries = 500;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&view, t] {
                for (int i = 0; i < kEntries; ++i) {
                    const std::string entry = "thread " + std::to_string(t) + " entry " +
                                              std::to_string(i) + " " + std::string(40, 'x');
                    (i % 2 ? view.logImportantEvent(entry) : view.logEvent(entry));
                }
            });
        }
    }
    const QTextDocument* document = panel.eventLog()->document();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return document->blockCount() > kThreads * kEntries; }, 20000));
    std::vector<int> next(kThreads, 0);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.text().isEmpty()) continue;
        const QStringList words = block.text().split(' ');
        ASSERT_EQ(words.size(), 6) << block.text().toStdString();
        const int thread = words[2].toInt();
        EXPECT_EQ(words[4].toInt(), next[thread]++) << "in the order each thread logged";
        EXPECT_EQ(words[5], QString(40, 'x'));
    }
    EXPECT_EQ(next, std::vector<int>(kThreads, kEntries));
}

TEST(QtUiExecutorTest, StepsRunOnTheGuiThreadInTheOrderPosted) {
    QtUiExecutor executor;
    std::vector<int> ran;
    std::vector<bool> onGuiThread;
    std::jthread poster([&] {
        for (int i = 0; i < 100; ++i)
            executor.post([&, i] {
                ran.push_back(i);
                onGuiThread.push_back(QThread::currentThread() == qApp->thread());
            });
    });
    poster.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 100; }, 20000));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ran[i], i);
    EXPECT_EQ(std::count(onGuiThread.begin(), onGuiThread.end(), true), 100);
}

}  // namespace
}  // namespace scalino
