#include "service/foundation/PropertyForms.h"

#include <array>
#include <cstring>

#include "service/foundation/Base64.h"
#include "service/foundation/ClassFactory.h"
#include "service/foundation/KSerializable.h"

namespace ser::forms {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f'; }

}  // namespace

bool WriteBytes(IArchive* archive, std::u16string_view name, const void* bytes, size_t size) {
    return archive->WriteRecord(rt_value, name, Base64Encode(bytes, size));
}

ELoadResult LoadBytes(std::u16string_view text, void* member, size_t size) {
    std::array<uint8_t, 16> decoded{};
    if (size > decoded.size()) return lr_error;
    size_t total = Base64Decode(text, decoded.data(), size);
    if (total != size) return lr_error;
    std::memcpy(member, decoded.data(), size);
    return lr_ok;
}

bool ParseElementCount(std::u16string_view text, int32_t* count, std::u16string* word) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    size_t digits = 0;
    int64_t value = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i] - u'0');
        if (value > INT32_MAX) return false;
        ++i;
        ++digits;
    }
    if (digits == 0 || (negative && value != 0)) return false;
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsBlank(text[i]) && text[i] != 0) ++i;
    if (i - start > kMaxCountWordUnits) return false;
    *count = static_cast<int32_t>(value);
    word->assign(text.substr(start, i - start));
    return true;
}

std::u16string IndexName(size_t index) {
    std::string digits = std::to_string(index);
    return std::u16string(digits.begin(), digits.end());
}

bool SkipAfterUnexpected(IArchive* archive, int typeRead) {
    switch (typeRead) {
        case rt_begin: return SkipToGroupEnd(archive, 2);
        case rt_value: return SkipToGroupEnd(archive, 1);
        case rt_end: return true;
        default: return false;
    }
}

bool WritePointer(IArchive* archive, std::u16string_view name, KSerializable* record) {
    if (!record) return archive->WriteRecord(rt_begin, name, kPointerNull) && archive->WriteRecord(rt_end, u"", u"");
    return archive->WriteRecord(rt_begin, name, kPointerValue) && record->save(archive, name) &&
           archive->WriteRecord(rt_end, u"", u"");
}

ELoadResult LoadPointer(IArchive* archive, const std::u16string& valueText, std::unique_ptr<KSerializable>& object,
                        bool (*accepts)(const KSerializable*)) {
    object.reset();
    ELoadResult result = lr_ok;
    std::u16string name, value;
    if (valueText == kPointerValue) {
        int type = archive->ReadRecord(name, value);
        if (type == rt_end || type == rt_error) return lr_error;
        if (type == rt_value) {
            // A value where the record's group belongs: damage.
            SkipToGroupEnd(archive, 1);
            return lr_error;
        }
        std::unique_ptr<KSerializable> made = CreateSerializableByName(value);
        if (made && accepts(made.get())) {
            object = std::move(made);
            result = object->LoadGroup(archive);
        } else {
            // A class this member cannot hold: its group is passed over.
            if (archive->SkipGroup() != rt_end) return lr_error;
            result = lr_error;
        }
    }
    int type = archive->ReadRecord(name, value);
    if (type != rt_end) {
        object.reset();
        SkipAfterUnexpected(archive, type);
        return lr_error;
    }
    return result;
}

}  // namespace ser::forms
