#pragma once
// A record as it would be stored, kept in memory: the records a save writes,
// in order. An owner that saves on a clock renders its record onto a tape,
// compares it with the tape of its last successful save, and writes the file
// only when they differ, so that an unchanged record costs no file writes and
// no flushes to disk.
#include <string>
#include <string_view>
#include <vector>

#include "service/foundation/IArchive.h"

namespace ser {

class KRecordTape final : public IArchive {
public:
    // Write only: nothing is read back from a tape.
    int ReadRecord(std::u16string& name, std::u16string& value) override;
    bool WriteRecord(int type, std::u16string_view name, std::u16string_view value) override;
    int SkipGroup() override;

    // Writes every record onto archive, in order; false at the first that fails.
    bool PlayTo(IArchive* archive) const;
    bool Empty() const { return m_records.empty(); }
    void Clear() { m_records.clear(); }

    bool operator==(const KRecordTape& other) const { return m_records == other.m_records; }

private:
    struct Record {
        int type = rt_end;
        std::u16string name;
        std::u16string value;
        bool operator==(const Record& other) const = default;
    };
    std::vector<Record> m_records;
};

// What an owner keeps of its last successful save of one file.
struct KSavedRecord {
    std::u16string path;
    KRecordTape tape;
    // Whether the file at path still holds tape: it was saved there and the
    // file is still in place.
    bool Holds(const std::u16string& file, const KRecordTape& now) const;
    void Forget() {
        path.clear();
        tape.Clear();
    }
};

}  // namespace ser
