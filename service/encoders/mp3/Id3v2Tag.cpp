#include "service/encoders/mp3/Id3v2Tag.h"

namespace {

void PutBigEndian(std::vector<BYTE>& out, size_t at, uint32_t value, int bitsPerByte) {
    const uint32_t mask = (1u << bitsPerByte) - 1;
    for (int i = 3; i >= 0; --i, value >>= bitsPerByte) out[at + static_cast<size_t>(i)] = static_cast<BYTE>(value & mask);
}

// Longer texts are cut (at a character's border) to keep the tag small.
constexpr size_t kMaxUnits = 65535;

void AddFrame(std::vector<BYTE>& out, const char* id, std::u16string text) {
    if (text.size() > kMaxUnits) {
        text.resize(kMaxUnits);
        if (text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
    }
    if (text.empty()) return;
    const size_t start = out.size();
    out.insert(out.end(), id, id + 4);
    out.resize(out.size() + 6, 0);  // size (plain 32 bits in this version), flags
    out.push_back(1);               // UTF-16 with a byte-order mark
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (char16_t c : text) {
        out.push_back(static_cast<BYTE>(c & 0xFF));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
    PutBigEndian(out, start + 4, static_cast<uint32_t>(out.size() - start - 10), 8);
}

}  // namespace

std::vector<BYTE> BuildId3v23Tag(const std::u16string& title, const std::u16string& artist,
                                 const std::u16string& album, const std::u16string& genre) {
    std::vector<BYTE> tag{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    AddFrame(tag, "TIT2", title);
    AddFrame(tag, "TPE1", artist);
    AddFrame(tag, "TALB", album);
    AddFrame(tag, "TCON", genre);
    if (tag.size() == 10) return {};
    // The tag's size leaves out its header and is written 7 bits a byte.
    PutBigEndian(tag, 6, static_cast<uint32_t>(tag.size() - 10), 7);
    return tag;
}
