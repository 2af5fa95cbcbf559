#pragma once
// The record stream in which the service stores its data files: a flat
// sequence of tagged records spelling out a tree of named groups and named
// values. Every number is little-endian; each record starts with a 32-bit tag:
//   0x01005002 group begin   name string, value string
//   0x01005003 group end     nothing
//   0x01005001 value         name string, value string
// A string is a 32-bit count of UTF-16 units followed by the units (no
// terminator). Groups nest; a group end closes the innermost open group.
#include <cstdint>
#include <string>
#include <string_view>

namespace ser {

// Record types, as ReadRecord returns them and WriteRecord takes them.
enum ERecordType : int {
    rt_begin = 0,
    rt_end = 1,
    rt_value = 2,
    rt_error = 3,  // a short read or an unknown tag; never stands in a stream
};

inline constexpr uint32_t kTagBegin = 0x01005002;
inline constexpr uint32_t kTagEnd = 0x01005003;
inline constexpr uint32_t kTagValue = 0x01005001;

// Longest string a record may hold, in UTF-16 units. Longer counts in a file
// are damage; longer texts are refused when writing, so that everything
// written can be read back.
inline constexpr uint32_t kMaxStringUnits = 1u << 24;

class IArchive {
public:
    // Reads the next record; a group end gives empty strings. Returns the
    // record type, rt_error at the end of the stream or on damage.
    virtual int ReadRecord(std::u16string& name, std::u16string& value) = 0;
    // Writes one record (name and value are not written for a group end; a
    // text is written up to its first zero unit). False when it fails.
    virtual bool WriteRecord(int type, std::u16string_view name, std::u16string_view value) = 0;
    // Called right after a group begin: reads up to and including the group's
    // end. Returns rt_end, or rt_error when the stream ends first.
    virtual int SkipGroup() = 0;
    virtual ~IArchive() = default;
};

// Reads records until `depth` open groups have been closed (depth 1: the rest
// of the group the stream stands in). True when they were, false at rt_error.
bool SkipToGroupEnd(IArchive* archive, int depth);

}  // namespace ser
