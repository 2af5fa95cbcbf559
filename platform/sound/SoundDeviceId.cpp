#include "platform/sound/SoundDeviceId.h"

#include "platform/core/Text.h"

namespace plat {

namespace {

// 128-bit FNV-1a.
struct Fnv128 {
    unsigned __int128 h = (static_cast<unsigned __int128>(0x6c62272e07bb0142ull) << 64) | 0x62b821756295c58dull;
    void Add(std::string_view bytes) {
        const unsigned __int128 prime = (static_cast<unsigned __int128>(0x0000000001000000ull) << 64) | 0x000000000000013Bull;
        for (unsigned char c : bytes) {
            h ^= c;
            h *= prime;
        }
    }
};

}  // namespace

GUID StableDeviceGuid(std::string_view name, std::u16string_view description) {
    Fnv128 f;
    f.Add(name);
    f.Add(std::string_view("\0", 1));
    f.Add(ToUtf8(description));
    uint8_t b[16];
    for (int i = 0; i < 16; ++i) b[i] = static_cast<uint8_t>(f.h >> (8 * i));
    // Marked as a name-based GUID of the standard variant.
    b[7] = static_cast<uint8_t>((b[7] & 0x0F) | 0x50);
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
    return GuidFromBytes(b);
}

}  // namespace plat
