#include <gtest/gtest.h>

#include <vector>

#include "driver/RingWriter.h"
#include "driver/tests/RecordReader.h"

namespace {

using namespace plat::drv;

class RingWriterTest : public ::testing::Test {
protected:
    std::vector<BYTE> Payload(size_t bytes, BYTE seed) {
        std::vector<BYTE> v(bytes);
        for (size_t i = 0; i < bytes; ++i) v[i] = static_cast<BYTE>(seed + i);
        return v;
    }
    // Writes and reads records until the writer stands at `offset`.
    void MoveTo(DWORD offset) {
        while (writer.WriteOffset() != offset) {
            DWORD distance = (offset + RING_SIZE_BYTE - writer.WriteOffset()) % RING_SIZE_BYTE;
            DWORD payload = distance > 4008 ? 4000 : distance - 8;
            ASSERT_GE(distance, 8u);
            ASSERT_TRUE(writer.Write(TAG_WAVE, Payload(payload, 1).data(), payload));
            ReadRecords(section.data(), &read);
        }
    }

    std::vector<BYTE> section = std::vector<BYTE>(SECTION_SIZE_BYTE, 0xAB);
    RingWriter writer{section.data()};
    DWORD read = 0;

    void SetUp() override { writer.Reset(); }
};

TEST_F(RingWriterTest, RecordsAreWrittenWholeAndAnnounced) {
    EXPECT_EQ(0u, LoadWord(section.data(), WRITE_OFFSET_POS));
    EXPECT_EQ(0u, LoadWord(section.data(), CONSUMED_AUDIO_POS));
    auto a = Payload(18, 1), b = Payload(1920, 2);
    ASSERT_TRUE(writer.Write(TAG_WFMT, a.data(), 18));
    ASSERT_TRUE(writer.Write(TAG_WAVE, b.data(), 1920));
    EXPECT_EQ(8u + 18 + 8 + 1920, LoadWord(section.data(), WRITE_OFFSET_POS));
    auto records = ReadRecords(section.data(), &read);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(TAG_WFMT, records[0].tag);
    EXPECT_EQ(a, records[0].payload);
    EXPECT_EQ(b, records[1].payload);
}

TEST_F(RingWriterTest, UnreadBytesAreNeverOverwrittenAndOneByteStaysFree) {
    auto p = Payload(1000, 3);
    DWORD written = 0;
    while (writer.Write(TAG_WAVE, p.data(), 1000)) written += 1008;
    EXPECT_LE(written, RING_SIZE_BYTE - 1);
    EXPECT_LT(writer.FreeBytes(), 1008u);
    EXPECT_EQ(RING_SIZE_BYTE - 1 - written, writer.FreeBytes());
    // A record that fits the free bytes exactly is taken; then nothing more.
    DWORD last = writer.FreeBytes() - 8;
    ASSERT_TRUE(writer.Write(TAG_WAVE, Payload(last, 4).data(), last));
    EXPECT_EQ(0u, writer.FreeBytes());
    EXPECT_FALSE(writer.Write(TAG_WAVE, p.data(), 0));
    EXPECT_EQ((LoadWord(section.data(), WRITE_OFFSET_POS) + 1) % RING_SIZE_BYTE,
              LoadWord(section.data(), READ_OFFSET_POS));
    // Reading makes room again; every record comes out intact.
    auto records = ReadRecords(section.data(), &read);
    EXPECT_EQ(written / 1008 + 1, records.size());
    EXPECT_EQ(RING_SIZE_BYTE - 1, writer.FreeBytes());
}

TEST_F(RingWriterTest, HeadersAndPayloadsWrapButTagsDoNot) {
    MoveTo(RING_SIZE_BYTE - 6);  // a tag fits; its length word wraps
    auto p = Payload(100, 5);
    ASSERT_TRUE(writer.Write(TAG_WAVE, p.data(), 100));
    EXPECT_EQ(ReadLe32(section.data() + RING_SIZE_BYTE - 6), TAG_WAVE);
    EXPECT_EQ(2u + 100, writer.WriteOffset());
    auto records = ReadRecords(section.data(), &read);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(p, records[0].payload);

    MoveTo(RING_SIZE_BYTE - 3);  // no room for a tag: padded to the end
    ASSERT_TRUE(writer.Write(TAG_WFMT, p.data(), 18));
    EXPECT_EQ(0, section[RING_SIZE_BYTE - 1]);
    EXPECT_EQ(TAG_WFMT, ReadLe32(section.data()));
    records = ReadRecords(section.data(), &read);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(TAG_WFMT, records[0].tag);
}

TEST_F(RingWriterTest, ANonsenseReadOffsetStopsWriting) {
    StoreWord(section.data(), READ_OFFSET_POS, RING_SIZE_BYTE + 1);
    EXPECT_FALSE(writer.Write(TAG_WAVE, Payload(4, 1).data(), 4));
    StoreWord(section.data(), READ_OFFSET_POS, RING_SIZE_BYTE);  // the ring end is the start
    EXPECT_TRUE(writer.Write(TAG_WAVE, Payload(4, 1).data(), 4));
    // A stale write offset stored by someone else is replaced at the next record.
    StoreWord(section.data(), WRITE_OFFSET_POS, 0);
    EXPECT_TRUE(writer.Write(TAG_WAVE, Payload(4, 1).data(), 4));
    EXPECT_EQ(24u, LoadWord(section.data(), WRITE_OFFSET_POS));
}

}  // namespace
