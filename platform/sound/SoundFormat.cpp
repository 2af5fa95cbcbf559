#include "platform/sound/SoundFormat.h"

namespace plat {

bool IsStreamableFormat(const WaveFormat& f) {
    if (f.wFormatTag != kWaveFormatPcm && f.wFormatTag != kWaveFormatIeeeFloat) return false;
    if (f.nChannels < 1 || f.nChannels > 8) return false;
    if (f.wFormatTag == kWaveFormatIeeeFloat ? f.wBitsPerSample != 32
                                             : (f.wBitsPerSample != 8 && f.wBitsPerSample != 16 &&
                                                f.wBitsPerSample != 24 && f.wBitsPerSample != 32))
        return false;
    if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 384000) return false;
    if (f.nBlockAlign != f.nChannels * (f.wBitsPerSample / 8)) return false;
    return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

bool HasBufferGeometry(const WaveFormat& f) { return f.nBlockAlign > 0 && f.nAvgBytesPerSec > 0; }

DWORD FormatBytesForMs(const WaveFormat& f, DWORD ms) {
    if (f.nBlockAlign == 0) return 0;
    uint64_t bytes = static_cast<uint64_t>(f.nAvgBytesPerSec) * ms / 1000;
    bytes -= bytes % f.nBlockAlign;
    return static_cast<DWORD>(bytes);
}

}  // namespace plat
