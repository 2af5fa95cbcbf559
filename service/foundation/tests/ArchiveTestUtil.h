#pragma once
// Helpers for tests of the record archives: streams built record by record,
// and the records of a stream listed back.
#include <string>
#include <tuple>
#include <vector>

#include "platform/storage/MemoryStream.h"
#include "service/foundation/KIStreamArchive.h"

namespace testutil {

struct Rec {
    int type;
    std::u16string name;
    std::u16string value;
    bool operator==(const Rec& o) const { return std::tie(type, name, value) == std::tie(o.type, o.name, o.value); }
};

inline Rec Begin(std::u16string n, std::u16string v) { return {ser::rt_begin, std::move(n), std::move(v)}; }
inline Rec Value(std::u16string n, std::u16string v) { return {ser::rt_value, std::move(n), std::move(v)}; }
inline Rec End() { return {ser::rt_end, u"", u""}; }

inline std::vector<uint8_t> Bytes(const std::vector<Rec>& records) {
    auto stream = plat::MemoryStream::Make();
    ser::KIStreamArchive archive(stream.Get());
    for (const Rec& r : records) archive.WriteRecord(r.type, r.name, r.value);
    return stream->Bytes();
}

// Every record up to the end of the stream or the first error (listed as rt_error).
inline std::vector<Rec> Records(const std::vector<uint8_t>& bytes) {
    auto stream = plat::MemoryStream::Make(bytes);
    ser::KIStreamArchive archive(stream.Get());
    std::vector<Rec> out;
    for (;;) {
        Rec r{};
        r.type = archive.ReadRecord(r.name, r.value);
        if (r.type == ser::rt_error) {
            if (stream->Position() < bytes.size()) out.push_back(Rec{ser::rt_error, u"", u""});
            return out;
        }
        out.push_back(r);
    }
}

inline std::vector<uint8_t> U16Bytes(std::u16string_view text) {
    std::vector<uint8_t> out;
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) { to.insert(to.end(), more.begin(), more.end()); }

}  // namespace testutil
