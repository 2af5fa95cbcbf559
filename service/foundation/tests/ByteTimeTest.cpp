#include <gtest/gtest.h>

#include "service/foundation/ByteTime.h"

TEST(ByteTime, BytesToMillisecondsTruncatesLikeTheStoredPositions) {
    EXPECT_EQ(BytesToMilliseconds(0, 192000), 0u);
    EXPECT_EQ(BytesToMilliseconds(191, 192000), 0u);
    EXPECT_EQ(BytesToMilliseconds(192, 192000), 1u);
    EXPECT_EQ(BytesToMilliseconds(192000, 192000), 1000u);
    EXPECT_EQ(BytesToMilliseconds(8256, 192000), 42u);  // lands just below 43 ms
    EXPECT_EQ(BytesToMilliseconds(345600000, 192000), 1800000u);
    EXPECT_EQ(BytesToMilliseconds(1000, 0), 0u);
}

TEST(ByteTime, MillisecondsToBytesFollowsTheDoubleSteps) {
    EXPECT_EQ(MillisecondsToBytes(300000, 192000), 57600000);
    EXPECT_EQ(MillisecondsToBytes(1800000, 192000), 345600000);
    EXPECT_EQ(MillisecondsToBytes(9, 192000), 1727);      // not 9 * 192
    EXPECT_EQ(MillisecondsToBytes(1001, 192000), 192191);  // not 1001 * 192
    EXPECT_EQ(MillisecondsToBytes(0, 192000), 0);
}
