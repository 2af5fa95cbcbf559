#include "service/foundation/KSongInfoListProperty.h"

#include "service/foundation/TProperty.h"

ser::ELoadResult KSongInfoListProperty::Load(ser::IArchive* archive, const std::u16string& value) {
    std::vector<SSongInfo>& list = *m_pList;
    list.clear();
    int32_t count = 0;
    std::u16string word;
    bool countRead = ser::forms::ParseElementCount(value, &count, &word);
    if (countRead && word == ser::forms::kRefusedCountWord) {
        ser::SkipToGroupEnd(archive, 1);
        return ser::lr_error;
    }
    bool partial = !countRead;
    std::u16string name, text;
    for (;;) {
        int type = archive->ReadRecord(name, text);
        if (type == ser::rt_end) break;
        if (type == ser::rt_error) return list.empty() ? ser::lr_error : ser::lr_partial;
        if (type == ser::rt_value) {
            partial = true;  // a value where a song record belongs
            continue;
        }
        SSongInfo info;
        ser::ELoadResult result = info.LoadGroup(archive);
        if (result == ser::lr_error) {
            partial = true;  // a damaged song is left out; its group has been read
            continue;
        }
        if (result == ser::lr_partial) partial = true;
        list.push_back(std::move(info));
    }
    if (countRead && static_cast<size_t>(count) != list.size()) partial = true;
    return partial ? ser::lr_partial : ser::lr_ok;
}

bool KSongInfoListProperty::Write(ser::IArchive* archive) { return ser::forms::WriteVector(archive, GetName(), *m_pList); }
