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

// A disk's free bytes pass 2^32 milliseconds of the stream at 768 GiB: the
// count must not wrap around to a few minutes.
TEST(ByteTime, LargeByteCountsKeepAllTheirMilliseconds) {
    struct Case {
        ULONGLONG bytes;
        ULONGLONG ms;
    } cases[] = {
        {1ull << 32, 22369621ull},
        {(768ull << 30) + 28800000ull, 4295117296ull},  // just past 2^32 ms
        {1ull << 40, 5726623061ull},
        {1ull << 50, 5864062014805ull},
        {~0ull, 9223372036854775807ull / 10000},  // beyond the 64-bit range of the steps
    };
    for (const Case& c : cases) EXPECT_EQ(BytesToMilliseconds(c.bytes, 192000), c.ms) << c.bytes;
    EXPECT_EQ(SaturateToDword(5726623061ull), 0xFFFFFFFFu);
    EXPECT_EQ(SaturateToDword(22369621ull), 22369621u);
}
