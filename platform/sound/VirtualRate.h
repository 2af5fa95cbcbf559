#pragma once
// Turns running time into whole blocks of a format's byte stream, carrying
// the fraction of a block from one step to the next.
#include <cstdint>

#include "platform/sound/SoundTypes.h"

namespace plat {

class VirtualRate {
public:
    explicit VirtualRate(const WaveFormat& format)
        : m_bytesPerSec(format.nAvgBytesPerSec), m_align(format.nBlockAlign ? format.nBlockAlign : 1) {}
    // Bytes that pass in the next us microseconds.
    uint64_t Advance(uint64_t us) {
        m_us += us;
        unsigned __int128 total = static_cast<unsigned __int128>(m_us) * m_bytesPerSec / 1000000u;
        uint64_t bytes = static_cast<uint64_t>(total);
        bytes -= bytes % m_align;
        uint64_t delta = bytes - m_bytes;
        m_bytes = bytes;
        return delta;
    }

private:
    uint64_t m_bytesPerSec;
    uint64_t m_align;
    uint64_t m_us = 0;
    uint64_t m_bytes = 0;
};

}  // namespace plat
