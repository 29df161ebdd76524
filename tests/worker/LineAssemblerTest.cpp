#include "worker/LineAssembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scalino {
namespace {

// The complete lines of a byte stream, and what is left over.
std::pair<std::vector<std::string>, std::string> assemble(unsigned char terminator,
                                                          std::string_view bytes,
                                                          int* overflows = nullptr) {
    LineAssembler assembler(terminator);
    std::vector<std::string> lines;
    for (char c : bytes) {
        switch (assembler.push(static_cast<unsigned char>(c))) {
            case LineAssembler::Push::Complete:
                lines.emplace_back(assembler.line());
                assembler.clear();
                break;
            case LineAssembler::Push::Overflow:
                if (overflows) ++*overflows;
                break;
            case LineAssembler::Push::Partial: break;
        }
    }
    return {lines, std::string(assembler.line())};
}

TEST(LineAssemblerTest, LinesEndWithAndIncludeTheTerminator) {
    auto [lines, rest] = assemble('\r', "12.5 g\r\n13.0 g\r\n14");
    EXPECT_EQ(lines, (std::vector<std::string>{"12.5 g\r", "\n13.0 g\r"}));
    EXPECT_EQ(rest, "\n14");

    std::tie(lines, rest) = assemble('\n', std::string("a\0b\n\xff\n\n", 7));
    EXPECT_EQ(lines, (std::vector<std::string>{std::string("a\0b\n", 4), "\xff\n", "\n"}));
    EXPECT_EQ(rest, "");

    std::tie(lines, rest) = assemble(0, std::string("x\0y", 3));  // any code may end a line
    EXPECT_EQ(lines, (std::vector<std::string>{std::string("x\0", 2)}));
    EXPECT_EQ(rest, "y");
}

TEST(LineAssemblerTest, AnEndlessLineIsDiscardedAndAssemblyGoesOn) {
    const size_t max = LineAssembler::kMaxLineLength;
    int overflows = 0;
    // Exactly the maximum before the terminator is still a line.
    auto [lines, rest] = assemble('\n', std::string(max, 'a') + "\n", &overflows);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), max + 1);
    EXPECT_EQ(overflows, 0);

    std::tie(lines, rest) = assemble('\n', std::string(max + 5, 'a') + "\n12\n", &overflows);
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"aaaaa\n", "12\n"}));
}

}  // namespace
}  // namespace scalino
