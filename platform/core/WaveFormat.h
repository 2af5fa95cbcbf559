#pragma once
// The 18-byte wave-format record, as the sound layer, the driver's section,
// stored files and the engine's interfaces all carry it.
#include "platform/core/WinTypes.h"

namespace plat {

#pragma pack(push, 1)
struct WaveFormat {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "the wave-format record is 18 bytes");

inline constexpr WORD kWaveFormatPcm = 1;
inline constexpr WORD kWaveFormatIeeeFloat = 3;

}  // namespace plat
