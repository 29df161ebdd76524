#include "worker/DataLine.h"

#include <gtest/gtest.h>

namespace scalino {
namespace {

TEST(DataLineTest, CopiesAreIndependentAndValuesMayBeZero) {
    DataLine line("ST,+0.000 g\r\n", "0", 1, false, DataLine::Instant{});
    EXPECT_TRUE(line.hasValue());
    DataLine copy = line.copy();
    line.deleteProcessedData();
    EXPECT_FALSE(line.hasValue());
    EXPECT_EQ(copy.getProcessedData(), "0");
    EXPECT_EQ(copy.getRawData(), "ST,+0.000 g<13><10>");
    EXPECT_EQ(copy.rawBytes(), "ST,+0.000 g\r\n");
    EXPECT_EQ(DataLine::transformControlChars("\xb0"
                                              "C"),
              "<176>C");
}

}  // namespace
}  // namespace scalino
