#include <gtest/gtest.h>

#include "platform/storage/MemoryStream.h"
#include "service/foundation/KIStreamArchive.h"
#include "service/foundation/tests/ArchiveTestUtil.h"

using namespace testutil;

namespace {

std::vector<uint8_t> Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

TEST(RecordStream, ValueRecordAndGroupEndAreByteExact) {
    std::vector<uint8_t> want{0x01, 0x50, 0x00, 0x01, 0x06, 0x00, 0x00, 0x00};
    Append(want, U16Bytes(u"nTrack"));
    Append(want, {0x08, 0x00, 0x00, 0x00});
    Append(want, U16Bytes(u"AAAAAA=="));
    EXPECT_EQ(Bytes({Value(u"nTrack", u"AAAAAA==")}), want);
    EXPECT_EQ(Bytes({End()}), (std::vector<uint8_t>{0x03, 0x50, 0x00, 0x01}));

    std::vector<uint8_t> begin{0x02, 0x50, 0x00, 0x01};
    Append(begin, Le32(1));
    Append(begin, U16Bytes(u"g"));
    Append(begin, Le32(0));
    EXPECT_EQ(Bytes({Begin(u"g", u"")}), begin);
}

TEST(RecordStream, EmptyStringsAreZeroCountsAndComeBackEmpty) {
    std::vector<uint8_t> bytes = Bytes({Value(u"", u""), Begin(u"", u"x")});
    std::vector<uint8_t> want{0x01, 0x50, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x50, 0x00, 0x01, 0, 0, 0, 0};
    Append(want, Le32(1));
    Append(want, U16Bytes(u"x"));
    EXPECT_EQ(bytes, want);
    EXPECT_EQ(Records(bytes), (std::vector<Rec>{Value(u"", u""), Begin(u"", u"x")}));
}

TEST(RecordStream, ATextIsWrittenUpToItsFirstZeroUnit) {
    std::u16string withZero(u"ab\0cd", 5);
    EXPECT_EQ(Records(Bytes({Value(withZero, u"v")})), (std::vector<Rec>{Value(u"ab", u"v")}));
}

TEST(RecordStream, EveryTruncationAndUnknownTagReadsAsError) {
    std::vector<uint8_t> full = Bytes({Value(u"name", u"value")});
    for (size_t cut = 0; cut < full.size(); ++cut) {
        auto stream = plat::MemoryStream::Make(std::vector<uint8_t>(full.begin(), full.begin() + cut));
        ser::KIStreamArchive archive(stream.Get());
        std::u16string n, v;
        EXPECT_EQ(archive.ReadRecord(n, v), ser::rt_error) << "cut at " << cut;
    }
    std::vector<uint8_t> unknown{0x04, 0x50, 0x00, 0x01};
    Append(unknown, full);
    EXPECT_EQ(Records(unknown), (std::vector<Rec>{{ser::rt_error, u"", u""}}));
}

TEST(RecordStream, DamagedCountsFailWithoutHugeAllocations) {
    for (uint32_t count : {0xFFFFFFFFu, 0x80000000u, ser::kMaxStringUnits + 1, ser::kMaxStringUnits, 5u}) {
        std::vector<uint8_t> bytes{0x01, 0x50, 0x00, 0x01};
        Append(bytes, Le32(count));
        Append(bytes, U16Bytes(u"ab"));  // far fewer units than the count says
        auto stream = plat::MemoryStream::Make(bytes);
        ser::KIStreamArchive archive(stream.Get());
        std::u16string n, v;
        EXPECT_EQ(archive.ReadRecord(n, v), ser::rt_error) << count;
        EXPECT_LE(n.capacity(), 65536u);
    }
}

TEST(RecordStream, SkipGroupStopsAfterTheMatchingEndOrFailsAtTheStreamEnd) {
    std::vector<Rec> nested{Begin(u"outer", u"C"), Value(u"a", u"1"), Begin(u"inner", u"D"), Begin(u"deep", u"E"),
                            End(), Value(u"b", u"2"), End(), End(), Value(u"after", u"3")};
    auto stream = plat::MemoryStream::Make(Bytes(nested));
    ser::KIStreamArchive archive(stream.Get());
    std::u16string n, v;
    ASSERT_EQ(archive.ReadRecord(n, v), ser::rt_begin);
    EXPECT_EQ(archive.SkipGroup(), ser::rt_end);
    EXPECT_EQ(archive.ReadRecord(n, v), ser::rt_value);
    EXPECT_EQ(n, u"after");

    std::vector<Rec> open{Begin(u"outer", u"C"), Begin(u"inner", u"D"), End()};
    auto cut = plat::MemoryStream::Make(Bytes(open));
    ser::KIStreamArchive shortArchive(cut.Get());
    ASSERT_EQ(shortArchive.ReadRecord(n, v), ser::rt_begin);
    EXPECT_EQ(shortArchive.SkipGroup(), ser::rt_error);
}

TEST(RecordStream, WritesThatCannotBeDoneFail) {
    auto stream = plat::MemoryStream::Make();
    ser::KIStreamArchive archive(stream.Get());
    EXPECT_FALSE(archive.WriteRecord(ser::rt_error, u"n", u"v"));
    EXPECT_FALSE(archive.WriteRecord(7, u"n", u"v"));
    EXPECT_TRUE(stream->Bytes().empty());
    stream->SetCapacity(10);
    EXPECT_FALSE(archive.WriteRecord(ser::rt_value, u"name", u"value"));

    ser::KIStreamArchive closed;
    std::u16string n, v;
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_FALSE(closed.WriteRecord(ser::rt_end, u"", u""));
    EXPECT_EQ(closed.ReadRecord(n, v), ser::rt_error);
    EXPECT_FALSE(closed.OpenStream(nullptr, u"x", false));
}

}  // namespace
