#include "platform/sound/PulseFormat.h"

#include "platform/sound/SoundFormat.h"

namespace plat {

bool PulseSpecFor(const WaveFormat& f, pa_sample_spec* spec) {
    if (!IsStreamableFormat(f)) return false;
    if (f.wFormatTag == kWaveFormatIeeeFloat) {
        spec->format = PA_SAMPLE_FLOAT32LE;
    } else {
        switch (f.wBitsPerSample) {
            case 8: spec->format = PA_SAMPLE_U8; break;
            case 16: spec->format = PA_SAMPLE_S16LE; break;
            case 24: spec->format = PA_SAMPLE_S24LE; break;
            case 32: spec->format = PA_SAMPLE_S32LE; break;
            default: return false;
        }
    }
    spec->rate = f.nSamplesPerSec;
    spec->channels = static_cast<uint8_t>(f.nChannels);
    return pa_sample_spec_valid(spec) != 0 && pa_frame_size(spec) == f.nBlockAlign;
}

uint64_t PulseBytesForUs(const WaveFormat& f, uint64_t us) {
    if (f.nBlockAlign == 0) return 0;
    uint64_t bytes = static_cast<uint64_t>(static_cast<unsigned __int128>(us) * f.nAvgBytesPerSec / 1000000u);
    return bytes - bytes % f.nBlockAlign;
}

}  // namespace plat
