#pragma once
// Reads the records out of a section's ring the simple way (for checking
// what a writer left there): from the read offset to the write offset,
// skipping zero padding, with headers and payloads that may wrap.
#include <vector>

#include "platform/driver/DriverProtocol.h"

struct RingRecord {
    DWORD tag;
    std::vector<BYTE> payload;
};

inline std::vector<RingRecord> ReadRecords(BYTE* section, DWORD* read) {
    using namespace plat::drv;
    std::vector<RingRecord> out;
    const DWORD write = LoadWord(section, WRITE_OFFSET_POS);
    auto byteAt = [&](DWORD i) { return section[i % RING_SIZE_BYTE]; };
    DWORD r = *read;
    while (r % RING_SIZE_BYTE != write) {
        if (byteAt(r) == 0) {  // padding before the ring end
            ++r;
            continue;
        }
        BYTE header[8];
        for (DWORD k = 0; k < 8; ++k) header[k] = byteAt(r + k);
        RingRecord rec{ReadLe32(header), {}};
        const DWORD length = ReadLe32(header + 4);
        for (DWORD k = 0; k < length; ++k) rec.payload.push_back(byteAt(r + 8 + k));
        r += 8 + length;
        out.push_back(std::move(rec));
    }
    *read = r % RING_SIZE_BYTE;
    StoreWord(section, READ_OFFSET_POS, *read);
    return out;
}
