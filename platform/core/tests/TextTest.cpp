#include <gtest/gtest.h>

#include <cstdint>

#include "platform/core/Text.h"

using namespace plat;

TEST(Text, Utf8RoundTripKeepsEveryPlane) {
    std::u16string text = u"Tonquil \u00e9\u4e2d \U0001F3B5 end";
    EXPECT_EQ(ToUtf16(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"\u00e9"), "\xc3\xa9");
    EXPECT_EQ(ToUtf8(static_cast<const char16_t*>(nullptr)), "");
}

TEST(Text, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(ToUtf16("a\xff" "b"), u"a\ufffdb");
    EXPECT_EQ(ToUtf16("\xc0\x80"), u"\ufffd\ufffd");  // overlong NUL
    std::u16string lone = u"x";
    lone.push_back(0xD800);
    EXPECT_EQ(ToUtf8(lone), "x\xef\xbf\xbd");
}

TEST(Text, FormatTakesWideTextForPercentS) {
    EXPECT_EQ(WFormat(u"%s=%d", u"count", 42), u"count=42");
    EXPECT_EQ(WFormat(u"%d_%.6d.cah", 2, 17), u"2_000017.cah");
    EXPECT_EQ(WFormat(u"%x %X %u", 255u, 255u, 4000000000u), u"ff FF 4000000000");
    EXPECT_EQ(WFormat(u"%lld|%I64d", -5000000000LL, 7LL), u"-5000000000|7");
    EXPECT_EQ(WFormat(u"%hs and %S", "narrow", "also"), u"narrow and also");
    EXPECT_EQ(WFormat(u"%-4s|%4s|", u"ab", u"cd"), u"ab  |  cd|");
    EXPECT_EQ(WFormat(u"100%%"), u"100%");
    EXPECT_EQ(WFormat(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
    EXPECT_EQ(WFormat(u"%c", u'Z'), u"Z");
    EXPECT_EQ(WFormat(u"%.2f", 1.005), u"1.00");
}

TEST(Text, APointerPrintsOneZeroXWhereTheTextWritesIt) {
    // The texts carry their own "0x"; %p gives the digits only, in capitals,
    // as wide as a pointer.
    void* view = reinterpret_cast<void*>(static_cast<uintptr_t>(0x7f3a12bc0010ull));
    EXPECT_EQ(WFormat(u"Map BUFFER: 0x%p SIZE: %d \n", view, 4096), u"Map BUFFER: 0x00007F3A12BC0010 SIZE: 4096 \n");
    EXPECT_EQ(WFormat(u"DeviceIoControl - %s (HANDLE - 0x%p  )\n", u"Bad", reinterpret_cast<void*>(intptr_t{7})),
              u"DeviceIoControl - Bad (HANDLE - 0x0000000000000007  )\n");
    EXPECT_EQ(WFormat(u"%p", static_cast<void*>(nullptr)), u"0000000000000000");
    EXPECT_EQ(WFormat(u"[%20p|%-18p]", view, view), u"[    00007F3A12BC0010|00007F3A12BC0010  ]");
}

TEST(Text, FormatIsCutToTheLimitAndNeverSplitsAPair) {
    std::u16string big(5000, u'x');
    EXPECT_EQ(WFormatN(100, u"%s", big.c_str()).size(), 100u);
    std::u16string pair = u"abc\U0001F3B5";
    EXPECT_EQ(WFormatN(4, u"%s", pair.c_str()), u"abc");
    EXPECT_EQ(WFormatN(3, u"abcdef"), u"abc");
}

TEST(Text, ArgumentKindsOfAFormat) {
    EXPECT_EQ(FormatArgKinds(u"Cannot open the file:\r\n%s\r\n%d,%s"), "sis");
    EXPECT_EQ(FormatArgKinds(u"The following error occurred:\r\n%s (%d)"), "si");
    EXPECT_EQ(FormatArgKinds(u"no args 100%%"), "");
    EXPECT_EQ(FormatArgKinds(u"%*d %I64u %p"), "iilp");
}

TEST(Text, CompareAndParse) {
    EXPECT_EQ(WCompareNoCase(u"QXCache", u"qxcache"), 0);
    EXPECT_LT(WCompareNoCase(u"abc", u"abd"), 0);
    int64_t v = 0;
    size_t used = 0;
    EXPECT_TRUE(WParseInt(u"  -123 rest", &v, &used));
    EXPECT_EQ(v, -123);
    EXPECT_EQ(used, 6u);
    EXPECT_FALSE(WParseInt(u"x1", &v));
}

TEST(Text, ParseIntAtTheLimitsOfSixtyFourBits) {
    struct Case {
        const char16_t* text;
        bool ok;
        int64_t value;
    };
    const Case cases[] = {
        {u"9223372036854775807", true, INT64_MAX},
        {u"+9223372036854775807", true, INT64_MAX},
        {u"-9223372036854775808", true, INT64_MIN},
        {u"00000000000000000000000000042", true, 42},
        {u"9223372036854775808", false, 0},
        {u"-9223372036854775809", false, 0},
        {u"9999999999999999999", false, 0},
        {u"18446744073709551616", false, 0},  // 2^64 would wrap to 0
        {u"123456789012345678901234567890", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(plat::ToUtf8(c.text));
        int64_t v = -7;
        EXPECT_EQ(c.ok, WParseInt(c.text, &v));
        EXPECT_EQ(c.ok ? c.value : -7, v) << "a refused number leaves the value alone";
    }
}
