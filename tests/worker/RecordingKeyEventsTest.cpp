#include "worker/RecordingKeyEvents.h"

#include <gtest/gtest.h>

namespace scalino {
namespace {

TEST(RecordingKeyEventsTest, ABoundedRecordingKeepsTheNewestEventsAndCountsTheOthers) {
    RecordingKeyEvents recording(4);
    for (int key : {65, 66, 67}) {
        recording.keyPress(key);
        recording.keyRelease(key);
    }
    EXPECT_EQ(recording.transcript(), "(2 earlier events) +B -B +C -C");
    EXPECT_EQ(recording.events().size(), 4u);
    recording.clear();
    recording.keyPress(68);
    EXPECT_EQ(recording.transcript(), "+D");
}

}  // namespace
}  // namespace scalino
