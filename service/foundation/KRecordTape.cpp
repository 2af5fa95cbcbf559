#include "service/foundation/KRecordTape.h"

#include "platform/fs/File.h"

namespace ser {

int KRecordTape::ReadRecord(std::u16string& name, std::u16string& value) {
    name.clear();
    value.clear();
    return rt_error;
}

bool KRecordTape::WriteRecord(int type, std::u16string_view name, std::u16string_view value) {
    if (type != rt_begin && type != rt_end && type != rt_value) return false;
    if (type == rt_end) {
        m_records.push_back({type, {}, {}});
    } else {
        m_records.push_back({type, std::u16string(name), std::u16string(value)});
    }
    return true;
}

int KRecordTape::SkipGroup() { return rt_error; }

bool KRecordTape::PlayTo(IArchive* archive) const {
    for (const Record& r : m_records)
        if (!archive->WriteRecord(r.type, r.name, r.value)) return false;
    return true;
}

bool KSavedRecord::Holds(const std::u16string& file, const KRecordTape& now) const {
    return !path.empty() && path == file && tape == now && plat::IsFile(file);
}

}  // namespace ser
