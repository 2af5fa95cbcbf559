#include <gtest/gtest.h>

#include "service/foundation/KTimecode.h"

namespace {

class TimecodeTest : public ::testing::Test {
protected:
    void SetUp() override { KTimecode::SetRateMode(7); }
    void TearDown() override { KTimecode::SetRateMode(7); }
};

}  // namespace

TEST_F(TimecodeTest, MillisecondsBecomeBcdHundredths) {
    KTimecode t;
    t.FromMilliseconds(3723450);
    const BYTE* b = t.Bytes();
    EXPECT_EQ(b[0], 0x45);
    EXPECT_EQ(b[1], 0x03);
    EXPECT_EQ(b[2], 0x02);
    EXPECT_EQ(b[3], 0x01);
    EXPECT_EQ(t.ToHundredNs(), 37234500000LL);
    EXPECT_EQ(t.GetHours(), 1);
    EXPECT_EQ(t.GetFrames(), 45);

    t.FromMilliseconds(1234);
    EXPECT_EQ(t.ToHundredNs(), 12300000LL);  // the 4 ms below a hundredth go
}

TEST_F(TimecodeTest, ClearAndNegativeCountsDependOnTheMode) {
    KTimecode t;
    t.Set(1, 2, 3, 4);
    t.Clear();
    EXPECT_EQ(t.ToHundredNs(), 0);
    t.Set(1, 2, 3, 4);
    t.FromHundredNs(-1);
    EXPECT_EQ(t.ToHundredNs(), 0);

    KTimecode::SetRateMode(1);
    t.Clear();
    EXPECT_EQ(t.Bytes()[0], 0x40);
    EXPECT_EQ(t.ToHundredNs(), -1);
    t.Set(1, 2, 3, 4);
    t.FromHundredNs(-5);
    EXPECT_EQ(t.Bytes()[0], 0x44);  // only the invalid flag was added
    EXPECT_EQ(t.Bytes()[3], 0x01);
}

TEST_F(TimecodeTest, SubtractNeverGoesBelowZero) {
    KTimecode t;
    t.FromMilliseconds(1500);
    EXPECT_EQ(t.Subtract(20000000).ToHundredNs(), 0);
    EXPECT_TRUE(t.Subtract(-10).IsEqual(t));
    EXPECT_EQ(t.Subtract(5000000).ToHundredNs(), 10000000);
}

TEST_F(TimecodeTest, ComparisonsAreInWholeMilliseconds) {
    KTimecode a, b;
    a.FromMilliseconds(1001);
    b.FromMilliseconds(1006);  // same hundredth
    EXPECT_TRUE(a.IsLessOrEqual(b));
    EXPECT_TRUE(b.IsLessOrEqual(a));
    EXPECT_FALSE(a.IsGreater(b));
    EXPECT_FALSE(b.IsGreater(a));
    b.FromMilliseconds(1010);
    EXPECT_TRUE(b.IsGreater(a));
    EXPECT_FALSE(b.IsLessOrEqual(a));
}

TEST_F(TimecodeTest, TimecodeToBytesAtTheEngineRate) {
    KTimecode t;
    t.Set(0, 0, 1, 50);
    EXPECT_EQ(TimecodeToBytes(t, 192000), 288000u);
    t.FromMilliseconds(10);
    EXPECT_EQ(TimecodeToBytes(STimecodeRate{t, 192000}), 1920u);
    KTimecode::SetRateMode(1);
    t.Set(0, 0, 1, 5);
    EXPECT_EQ(TimecodeToBytes(t, 25), 30u);  // 25 fields per second
}

TEST_F(TimecodeTest, LargeHours) {
    KTimecode t;
    t.FromHundredNs(123LL * 36000000000LL);
    EXPECT_EQ(t.GetHours(), 123);
    EXPECT_EQ(t.ToHundredNs(), 123LL * 36000000000LL);
    t.FromHundredNs(160LL * 36000000000LL);
    EXPECT_EQ(t.GetHours(), 0);
}
