#pragma once
// Damage done to a stored file the way a crash or a bad disk does it, aimed
// at the place where a known text stands, so that records are hit and not
// only the file's own structure.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/tests/TempDir.h"
#include "service/foundation/tests/ArchiveTestUtil.h"

namespace testutil {

enum class Damage { Zeroed, BlockSwapped, BitFlipped };

struct DamageCase {
    const char* name;
    Damage kind;
};

inline const std::vector<DamageCase> kDamages = {
    {"records zeroed", Damage::Zeroed},
    {"a block swapped with its neighbour", Damage::BlockSwapped},
    {"a bit flipped inside a value", Damage::BitFlipped},
};

// Damages the file at `skip` bytes past the first place the UTF-16 text
// `marker` stands. Small streams live in 64-byte blocks, so a block is what
// is zeroed or swapped; a flipped bit turns a letter into another letter, so
// the records still parse. False when the marker is not found.
inline bool DamageFile(const std::u16string& path, std::u16string_view marker, Damage kind, size_t skip = 0) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    const std::vector<uint8_t> needle = U16Bytes(marker);
    auto found = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    if (found == bytes.end()) return false;
    const size_t at = static_cast<size_t>(found - bytes.begin()) + skip;
    if (at >= bytes.size()) return false;
    const size_t block = at & ~size_t{63};
    switch (kind) {
        case Damage::Zeroed:
            std::fill(bytes.begin() + block, bytes.begin() + std::min(block + 64, bytes.size()), 0);
            break;
        case Damage::BlockSwapped: {
            const size_t other = block + 128 <= bytes.size() ? block + 64 : block - 64;
            std::swap_ranges(bytes.begin() + block, bytes.begin() + block + 64, bytes.begin() + other);
            break;
        }
        case Damage::BitFlipped: bytes[at] ^= 0x02; break;
    }
    return bytes != ReadFileBytes(path) && WriteFileBytes(path, bytes);
}

}  // namespace testutil
