#include "platform/sound/SoundGenerator.h"

#include <cmath>
#include <cstring>

namespace plat {

SoundGenerator SilenceGenerator() {
    return [](uint8_t* to, DWORD bytes, uint64_t) { std::memset(to, 0, bytes); };
}

uint8_t CounterByteAt(uint64_t streamOffset) {
    uint64_t word = streamOffset / 4;
    return static_cast<uint8_t>(word >> (8 * (streamOffset % 4)));
}

SoundGenerator CounterGenerator() {
    return [](uint8_t* to, DWORD bytes, uint64_t offset) {
        for (DWORD i = 0; i < bytes; ++i) to[i] = CounterByteAt(offset + i);
    };
}

SoundGenerator SineGenerator(const WaveFormat& format, double frequencyHz, double amplitude) {
    const WORD channels = format.nChannels ? format.nChannels : 1;
    const DWORD rate = format.nSamplesPerSec ? format.nSamplesPerSec : 48000;
    const DWORD frameBytes = 2u * channels;
    return [=](uint8_t* to, DWORD bytes, uint64_t offset) {
        for (DWORD i = 0; i < bytes; ++i) {
            uint64_t pos = offset + i;
            uint64_t frame = pos / frameBytes;
            uint32_t inSample = static_cast<uint32_t>(pos % 2);
            double phase = 2.0 * M_PI * frequencyHz * static_cast<double>(frame) / rate;
            auto sample = static_cast<int16_t>(std::lround(32767.0 * amplitude * std::sin(phase)));
            auto u = static_cast<uint16_t>(sample);
            to[i] = static_cast<uint8_t>(inSample == 0 ? (u & 0xFF) : (u >> 8));
        }
    };
}

}  // namespace plat
