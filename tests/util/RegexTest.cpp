#include "util/Regex.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace scalino {
namespace {

std::optional<std::string> firstGroup(std::string_view pattern, std::string_view subject) {
    Regex regex{pattern};
    RegexMatch match(regex);
    if (regex.find(subject, match) != Regex::Result::Found) return std::nullopt;
    auto group = match.group(1);
    return group ? std::optional<std::string>(*group) : std::nullopt;
}

TEST(RegexTest, FollowsTheConventionsOfInstrumentExpressions) {
    // Byte text: 0xB0 is one character, matched by its code and by ".".
    EXPECT_EQ(firstGroup(R"(([0-9]+)\xb0C)",
                         "temp 21\xb0"
                         "C\r"),
              "21");
    EXPECT_EQ(firstGroup("a(.)b",
                         "a\xb0"
                         "b"),
              "\xb0");
    // "." stops at line terminators; "\s" includes vertical tab and form feed.
    EXPECT_EQ(firstGroup("x(.*)", "x12\r\n"), "12");
    EXPECT_EQ(firstGroup(R"(a(\s+)b)", "a \t\v\f\r\nb"), " \t\v\f\r\n");
    // "^" is the start of the text, not of an inner line.
    EXPECT_EQ(firstGroup("^N(.)", "xx\nNa"), std::nullopt);
    // A closing bracket right after the opening one is a member of the class.
    EXPECT_EQ(firstGroup(R"(([]a]+))", "x]a]y"), "]a]");
    // Lazy quantifiers take the shortest match.
    EXPECT_EQ(firstGroup(R"(^N.*?(-?\s*[0-9]*[\.,]?[0-9]+)\s*kg)", "N 12 kg 34 kg"), " 12");
    EXPECT_EQ(firstGroup(R"((\d+))", "\xd9\xa3 7"), "7");  // only ASCII digits are \d
}

TEST(RegexTest, TellsMissingAndNonParticipatingGroupsApart) {
    Regex regex{"(a)|b"};
    RegexMatch match(regex);
    ASSERT_EQ(regex.find("xb", match), Regex::Result::Found);
    EXPECT_EQ(regex.groupCount(), 1);
    EXPECT_EQ(match.group(0), "b");
    EXPECT_EQ(match.group(1), std::nullopt);
    EXPECT_EQ(match.group(2), std::nullopt);
    EXPECT_EQ(regex.find("zz", match), Regex::Result::NotFound);
    EXPECT_EQ(match.group(0), std::nullopt);
}

TEST(RegexTest, StopsRunawayBacktrackingAndStillFindsValuesInLongLines) {
    Regex runaway{"^(a+)+$"};
    RegexMatch match(runaway);
    EXPECT_EQ(runaway.find(std::string(40, 'a') + "!", match), Regex::Result::LimitExceeded);

    Regex common{R"(([-+]?\s*[0-9]*[\.,]?[0-9]+))"};
    RegexMatch commonMatch(common);
    const std::string longLine = std::string(64 * 1024 - 10, 'x') + " 12.5 g\r";
    ASSERT_EQ(common.find(longLine, commonMatch), Regex::Result::Found);
    EXPECT_EQ(commonMatch.group(1), " 12.5");
}

// A status line of this process's /proc/self/status in KiB, or -1.
long statusKiB(std::string_view field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) return std::atol(line.c_str() + field.size());
    }
    return -1;
}

struct ChildSearch {
    Regex::Result result = Regex::Result::Found;
    long peakGrowthKiB = 0;  // the resident memory the search added at its peak
    bool ranAway = false;    // the child was stopped at kRunawayKiB
};

// Far above what a bounded search needs, far below what an unbounded one takes.
constexpr long kRunawayKiB = 512 * 1024;

// Searches in a child process, so that the peak of resident memory belongs to the search alone
// (the peak is reset before it starts). A watchdog ends the child if it grows past kRunawayKiB,
// so that a search without bounds fails the test instead of exhausting the machine.
ChildSearch searchInChild(const Regex& regex, const std::string& subject) {
    int report[2];
    if (pipe(report) != 0) ADD_FAILURE() << "pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        RegexMatch match(regex);
        const long before = statusKiB("VmRSS:");
        std::ofstream("/proc/self/clear_refs") << "5";  // VmHWM starts again from VmRSS
        std::atomic<bool> finished{false};
        std::thread watchdog([&] {
            while (!finished) {
                if (statusKiB("VmRSS:") - before > kRunawayKiB) _exit(2);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        const Regex::Result result = regex.find(subject, match);
        finished = true;
        watchdog.join();
        ChildSearch found{result, statusKiB("VmHWM:") - before, false};
        const bool written = write(report[1], &found, sizeof found) == sizeof found;
        _exit(written ? 0 : 1);
    }
    close(report[1]);
    ChildSearch found;
    const bool reported = read(report[0], &found, sizeof found) == sizeof found;
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        found.ranAway = true;
    else if (!reported)
        ADD_FAILURE() << "the child reported nothing, status " << status;
    return found;
}

TEST(RegexTest, AnExpressionThatWouldTakeGigabytesStopsWithinAFewMebibytes) {
    // Two thousand optional groups and a group repeated per character: without a memory bound
    // each backtracking point holds every group, gigabytes on one long line.
    std::string groups;
    for (int i = 0; i < 2000; ++i)
        groups += "(x?)";
    std::string line;
    for (int i = 0; i < 65000; ++i)
        line += i % 2 ? 'a' : 'b';
    // With compiled matching first, and with the interpreter alone.
    for (const std::string prefix : {"", "(*NO_JIT)"}) {
        SCOPED_TRACE(prefix.empty() ? "compiled" : "interpreted");
        const Regex greedy(prefix + groups + "((?:a|b)*)");
        const ChildSearch search = searchInChild(greedy, line);
        ASSERT_FALSE(search.ranAway) << "the search took more than " << kRunawayKiB << " KiB";
        EXPECT_EQ(search.result, Regex::Result::LimitExceeded);
        EXPECT_LT(search.peakGrowthKiB, 32 * 1024);
    }
}

TEST(RegexTest, ReportsSyntaxErrorsAndCharactersNoByteCanMatch) {
    EXPECT_THROW(Regex("([0-9]+"), RegexSyntaxError);
    EXPECT_EQ(patternFromUserText("(\xc2\xb0)"), "(\xb0)");  // U+00B0 becomes byte 0xB0
    EXPECT_THROW(patternFromUserText("(\xe2\x82\xac)"), RegexSyntaxError);  // the euro sign
    EXPECT_THROW(patternFromUserText("(\xff)"), RegexSyntaxError);          // not UTF-8
}

}  // namespace
}  // namespace scalino
