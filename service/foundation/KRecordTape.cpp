#include "service/foundation/KRecordTape.h"

#include "platform/fs/File.h"
#include "service/foundation/Crc32c.h"

namespace ser {

namespace {

constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

}  // namespace

int KRecordTape::ReadRecord(std::u16string& name, std::u16string& value) {
    name.clear();
    value.clear();
    return rt_error;
}

void KRecordTape::Add(const void* data, size_t bytes) {
    if (m_print.bytes == 0) m_print.fnv = kFnvOffset;
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < bytes; ++i) m_print.fnv = (m_print.fnv ^ p[i]) * kFnvPrime;
    m_print.crc = Crc32c(m_print.crc, data, bytes);
    m_print.bytes += bytes;
}

bool KRecordTape::WriteRecord(int type, std::u16string_view name, std::u16string_view value) {
    if (type != rt_begin && type != rt_end && type != rt_value) return false;
    Record record{type, {}, {}};
    if (type != rt_end) {
        record.name = name;
        record.value = value;
    }
    // The type, then each text with its length, so that no two different
    // records make the same bytes.
    const uint32_t tag = static_cast<uint32_t>(type);
    Add(&tag, sizeof tag);
    for (const std::u16string* text : {&record.name, &record.value}) {
        const uint64_t units = text->size();
        Add(&units, sizeof units);
        Add(text->data(), text->size() * sizeof(char16_t));
    }
    m_records.push_back(std::move(record));
    return true;
}

int KRecordTape::SkipGroup() { return rt_error; }

bool KRecordTape::PlayTo(IArchive* archive) const {
    for (const Record& r : m_records)
        if (!archive->WriteRecord(r.type, r.name, r.value)) return false;
    return true;
}

bool KSavedRecord::Holds(const std::u16string& file, const KRecordTape& tape) const {
    return !path.empty() && path == file && print == tape.Print() && plat::IsFile(file);
}

}  // namespace ser
