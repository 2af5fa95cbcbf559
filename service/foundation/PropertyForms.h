#pragma once
// The parts of the stored property forms that do not depend on the member's type.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "service/foundation/IArchive.h"
#include "service/foundation/IProperty.h"

namespace ser {

class KSerializable;

namespace forms {

// Longest word after the count of a vector group.
inline constexpr size_t kMaxCountWordUnits = 31;
// The word that makes a vector group fail to load.
inline constexpr const char16_t* kRefusedCountWord = u"pv";
inline constexpr const char16_t* kPointerValue = u"value";
inline constexpr const char16_t* kPointerNull = u"null";

// One value record {name, Base64 of the bytes}.
bool WriteBytes(IArchive* archive, std::u16string_view name, const void* bytes, size_t size);
// Decodes the text into the member when it holds exactly `size` bytes
// (lr_ok); otherwise the member is left alone (lr_error).
ELoadResult LoadBytes(std::u16string_view text, void* member, size_t size);

// Reads the begin value of a vector group: a decimal count, optionally a
// blank and one word. False for a missing, negative or oversized count, or
// a word longer than kMaxCountWordUnits.
bool ParseElementCount(std::u16string_view text, int32_t* count, std::u16string* word);
// "0", "1", ...
std::u16string IndexName(size_t index);

// After a record other than the awaited group end was read inside a group:
// reads on to that group's end. False when the stream breaks.
bool SkipAfterUnexpected(IArchive* archive, int typeRead);

// The pointer form: group begin {name, "null"} and end, or {name, "value"},
// the record's own group under the same name, and end.
bool WritePointer(IArchive* archive, std::u16string_view name, KSerializable* record);
// Loads the pointer form (the archive stands after its group begin, whose
// value text is given). accepts tells whether a record made from the class
// name fits the member; one that does not counts as unknown.
ELoadResult LoadPointer(IArchive* archive, const std::u16string& valueText, std::unique_ptr<KSerializable>& object,
                        bool (*accepts)(const KSerializable*));

}  // namespace forms
}  // namespace ser
