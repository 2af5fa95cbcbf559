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

TEST_F(TimecodeTest, FieldSettersCarryAndBorrow) {
    struct Case {
        int h, m, s, f;
        char field;
        int value;
        int eh, em, es, ef;
    };
    const Case cases[] = {
        {0, 0, 59, 0, 's', 60, 0, 1, 0, 0},      // up on 59 seconds: one more minute
        {0, 0, 0, 0, 'h', -1, 99, 0, 0, 0},      // down on hours 00
        {5, 0, 0, 0, 'h', 100, 0, 0, 0, 0},
        {99, 59, 59, 99, 'f', 100, 0, 0, 0, 0},  // the largest value wraps to zero
        {1, 0, 0, 0, 'm', -1, 0, 59, 0, 0},
        {0, 0, 0, 0, 'm', -1, 99, 59, 0, 0},
        {0, 2, 0, 0, 's', -61, 0, 0, 59, 0},
        {0, 0, 0, 0, 'f', 250, 0, 0, 2, 50},
    };
    for (const Case& c : cases) {
        KTimecode t;
        t.Set(c.h, c.m, c.s, c.f);
        switch (c.field) {
            case 'h': t.SetHours(c.value); break;
            case 'm': t.SetMinutes(c.value); break;
            case 's': t.SetSeconds(c.value); break;
            default: t.SetFrames(c.value); break;
        }
        SCOPED_TRACE(testing::Message() << c.field << " " << c.value);
        EXPECT_EQ(t.GetHours(), c.eh);
        EXPECT_EQ(t.GetMinutes(), c.em);
        EXPECT_EQ(t.GetSeconds(), c.es);
        EXPECT_EQ(t.GetFrames(), c.ef);
    }
}

TEST_F(TimecodeTest, DesktopOperations) {
    EXPECT_EQ(KTimecode::GetRate(), 100);
    KTimecode t;
    t.Set(1, 2, 3, 4);
    t.SetInvalid(true);  // clears in the hundredths mode
    EXPECT_EQ(t.ToHundredNs(), 0);
    EXPECT_FALSE(t.IsInvalid());

    // Ten hours overflow a 32-bit product of milliseconds and 10000.
    t.AssignMilliseconds(36000000LL + 1230);
    EXPECT_EQ(t.GetHours(), 10);
    EXPECT_EQ(t.GetSeconds(), 1);
    EXPECT_EQ(t.GetFrames(), 23);
    EXPECT_EQ(t.ToMilliseconds(), 36001230LL);

    EXPECT_TRUE(t.Add(-5).IsEqual(t));
    EXPECT_EQ(t.Add(100000).ToMilliseconds(), 36001240LL);

    KTimecode::SetRateMode(1);
    EXPECT_EQ(KTimecode::GetRate(), 25);
    KTimecode v;
    v.Set(0, 0, 1, 0);
    v.SetInvalid(true);
    EXPECT_TRUE(v.IsInvalid());
    EXPECT_EQ(v.Add(10000000).ToMilliseconds(), 1000);  // an invalid value counts as zero
    v.SetHours(3);  // an invalid value is zeroed first
    EXPECT_FALSE(v.IsInvalid());
    EXPECT_EQ(v.GetSeconds(), 0);
    EXPECT_EQ(v.GetHours(), 3);
    KTimecode::SetRateMode(2);
    EXPECT_EQ(KTimecode::GetRate(), 24);
    KTimecode::SetRateMode(0);
    EXPECT_EQ(KTimecode::GetRate(), 30);
}
