#include <gtest/gtest.h>

#include <vector>

#include "service/foundation/KRecordTape.h"
#include "service/foundation/tests/ArchiveTestUtil.h"

using namespace testutil;

namespace {

ser::KRecordTape TapeOf(const std::vector<Rec>& records) {
    ser::KRecordTape tape;
    for (const Rec& r : records) EXPECT_TRUE(tape.WriteRecord(r.type, r.name, r.value));
    return tape;
}

// Records the tape passes on to an archive.
class Collect final : public ser::IArchive {
public:
    int ReadRecord(std::u16string&, std::u16string&) override { return ser::rt_error; }
    bool WriteRecord(int type, std::u16string_view name, std::u16string_view value) override {
        if (refuseAt == records.size()) return false;
        records.push_back({type, std::u16string(name), std::u16string(value)});
        return true;
    }
    int SkipGroup() override { return ser::rt_error; }
    std::vector<Rec> records;
    size_t refuseAt = SIZE_MAX;
};

}  // namespace

// Records that differ anywhere give different prints, also where the same
// units are only cut differently between name and value or between records.
TEST(RecordTape, ThePrintTellsApartRecordsThatDiffer) {
    const std::vector<Rec> base = {Begin(u"\\Settings1", u"K"), Value(u"ab", u"c"), End()};
    const std::vector<std::vector<Rec>> others = {
        {Begin(u"\\Settings1", u"K"), Value(u"a", u"bc"), End()},
        {Begin(u"\\Settings1", u"K"), Value(u"ab", u"d"), End()},
        {Begin(u"\\Settings1", u"K"), Begin(u"ab", u"c"), End()},
        {Begin(u"\\Settings1", u"K"), Value(u"ab", u"c"), End(), End()},
        {Begin(u"\\Settings1", u"K"), Value(u"ab", u""), Value(u"c", u""), End()},
        {Begin(u"\\Settings1", u"K"), End()},
    };
    EXPECT_EQ(TapeOf(base).Print(), TapeOf(base).Print());
    for (size_t i = 0; i < others.size(); ++i) EXPECT_NE(TapeOf(others[i]).Print(), TapeOf(base).Print()) << i;
}

TEST(RecordTape, PlaysItsRecordsInOrderAndStopsAtAFailure) {
    const std::vector<Rec> records = {Begin(u"\\Settings1", u"K"), Value(u"a", u"1"), Value(u"b", u"2"), End()};
    ser::KRecordTape tape = TapeOf(records);
    EXPECT_FALSE(tape.WriteRecord(ser::rt_error, u"x", u"y"));
    Collect all;
    EXPECT_TRUE(tape.PlayTo(&all));
    EXPECT_EQ(all.records, records);
    Collect refusing;
    refusing.refuseAt = 2;
    EXPECT_FALSE(tape.PlayTo(&refusing));
    EXPECT_EQ(refusing.records.size(), 2u);
}
