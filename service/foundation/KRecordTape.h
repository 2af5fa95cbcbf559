#pragma once
// A record as it would be stored, kept in memory: the records a save writes,
// in order. An owner that saves on a clock renders its record onto a tape,
// compares the tape's fingerprint with that of its last successful save, and
// writes the file only when they differ, so that an unchanged record costs no
// file writes and no flushes to disk. Only the fingerprint is kept between
// saves, not the records.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "service/foundation/IArchive.h"

namespace ser {

// Two independent checksums and the length of the records' stored form:
// different records that agree on all three are not to be met in practice.
struct SRecordPrint {
    uint64_t fnv = 0;
    uint32_t crc = 0;
    uint64_t bytes = 0;
    bool operator==(const SRecordPrint&) const = default;
};

class KRecordTape final : public IArchive {
public:
    // Write only: nothing is read back from a tape.
    int ReadRecord(std::u16string& name, std::u16string& value) override;
    bool WriteRecord(int type, std::u16string_view name, std::u16string_view value) override;
    int SkipGroup() override;

    // Writes every record onto archive, in order; false at the first that fails.
    bool PlayTo(IArchive* archive) const;
    const SRecordPrint& Print() const { return m_print; }

private:
    struct Record {
        int type = rt_end;
        std::u16string name;
        std::u16string value;
    };
    void Add(const void* data, size_t bytes);

    std::vector<Record> m_records;
    SRecordPrint m_print;
};

// What an owner keeps of its last successful save of one file.
struct KSavedRecord {
    std::u16string path;
    SRecordPrint print;
    // Whether the file at path still holds what tape holds: it was saved
    // there and the file is still in place.
    bool Holds(const std::u16string& file, const KRecordTape& tape) const;
    void Remember(const std::u16string& file, const KRecordTape& tape) {
        path = file;
        print = tape.Print();
    }
    void Forget() { path.clear(); }
};

}  // namespace ser
