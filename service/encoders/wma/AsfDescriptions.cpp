#include "service/encoders/wma/AsfDescriptions.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/fs/File.h"

namespace {

using Guid = std::array<uint8_t, 16>;
// The objects' identifiers as they lie in the file.
constexpr Guid kHeader{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kContentDescription{0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                   0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kExtendedContentDescription{0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                           0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr Guid kPadding{0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45, 0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};

constexpr size_t kHeaderFixed = 30;   // identifier, size, object count, two reserved bytes
constexpr size_t kObjectFixed = 24;   // identifier, size
constexpr uint64_t kMaxHeader = 1 << 20;

uint64_t Le(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
void PutLe(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i, v >>= 8) p[i] = static_cast<uint8_t>(v & 0xFF);
}
bool Is(const uint8_t* p, const Guid& g) { return std::memcmp(p, g.data(), g.size()) == 0; }

// True for the names the content description holds, in any letter case.
bool InContentDescription(const uint8_t* name, size_t bytes) {
    std::string ascii;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const uint16_t c = static_cast<uint16_t>(Le(name + i, 2));
        if (c == 0) break;
        if (c > 0x7F) return false;
        ascii += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return ascii == "title" || ascii == "author" || ascii == "copyright" || ascii == "description" ||
           ascii == "rating";
}

// The extended description's body without the entries of those names; false
// when it is not laid out as its count says.
bool WithoutDuplicates(const uint8_t* body, size_t size, std::vector<uint8_t>* kept) {
    if (size < 2) return false;
    const size_t count = Le(body, 2);
    size_t at = 2, left = 0;
    kept->assign(2, 0);
    for (size_t i = 0; i < count; ++i) {
        if (at + 2 > size) return false;
        const size_t nameBytes = Le(body + at, 2);
        if (at + 2 + nameBytes + 4 > size) return false;
        const size_t valueBytes = Le(body + at + 2 + nameBytes + 2, 2);
        const size_t end = at + 2 + nameBytes + 4 + valueBytes;
        if (end > size) return false;
        if (!InContentDescription(body + at + 2, nameBytes)) {
            kept->insert(kept->end(), body + at, body + end);
            ++left;
        }
        at = end;
    }
    PutLe(kept->data(), left, 2);
    return at == size;
}

}  // namespace

HRESULT DropDuplicateDescriptions(const std::u16string& path) {
    plat::File file;
    if (!file.Open(path, plat::FileAccess::ReadWrite, plat::FileCreation::OpenExisting)) return plat::HResultFromLastError();
    uint8_t fixed[kHeaderFixed];
    uint32_t got = 0;
    if (!file.ReadAt(0, fixed, sizeof fixed, &got)) return plat::HResultFromLastError();
    if (got != sizeof fixed || !Is(fixed, kHeader)) return S_OK;
    const uint64_t headerSize = Le(fixed + 16, 8);
    if (headerSize < kHeaderFixed || headerSize > kMaxHeader) return S_OK;
    std::vector<uint8_t> header(headerSize);
    if (!file.ReadAt(0, header.data(), static_cast<uint32_t>(headerSize), &got)) return plat::HResultFromLastError();
    if (got != headerSize) return S_OK;

    size_t description = 0, extended = 0;
    for (size_t at = kHeaderFixed; at < headerSize;) {
        if (at + kObjectFixed > headerSize) return S_OK;
        const uint64_t size = Le(&header[at] + 16, 8);
        if (size < kObjectFixed || size > headerSize - at) return S_OK;
        if (Is(&header[at], kContentDescription)) description = at;
        if (Is(&header[at], kExtendedContentDescription)) extended = at;
        at += size;
    }
    if (!description || !extended) return S_OK;
    const size_t oldSize = Le(&header[extended] + 16, 8);
    std::vector<uint8_t> kept;
    if (!WithoutDuplicates(&header[extended] + kObjectFixed, oldSize - kObjectFixed, &kept)) return S_OK;
    const size_t newSize = kObjectFixed + kept.size();
    const size_t freed = oldSize - newSize;
    // Nothing removed, or too little room for a padding object.
    if (freed < kObjectFixed) return S_OK;

    uint8_t* object = &header[extended];
    PutLe(object + 16, newSize, 8);
    std::memcpy(object + kObjectFixed, kept.data(), kept.size());
    uint8_t* padding = object + newSize;
    std::memcpy(padding, kPadding.data(), kPadding.size());
    PutLe(padding + 16, freed, 8);
    std::memset(padding + kObjectFixed, 0, freed - kObjectFixed);
    PutLe(&header[24], Le(&header[24], 4) + 1, 4);
    if (!file.WriteAt(0, header.data(), static_cast<uint32_t>(headerSize), nullptr)) return plat::HResultFromLastError();
    return S_OK;
}
