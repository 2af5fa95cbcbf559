#include "platform/sound/tests/support/Tone.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace soundtest {

int16_t ToneSample(double hz, double peak, uint64_t frame) {
    return static_cast<int16_t>(std::lround(peak * std::sin(2 * M_PI * hz * static_cast<double>(frame) / kToneRate)));
}

void FillTone(int16_t* stereo, size_t frames, uint64_t first, double hz, double peak) {
    for (size_t i = 0; i < frames; ++i) stereo[2 * i] = stereo[2 * i + 1] = ToneSample(hz, peak, first + i);
}

bool WriteToneWave(const std::string& path, double hz, double peak, uint32_t seconds) {
    const uint32_t frames = static_cast<uint32_t>(kToneRate) * seconds, bytes = frames * 4;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(48000);
    u32(192000);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    for (uint32_t i = 0; i < frames; ++i) {
        auto v = static_cast<uint16_t>(ToneSample(hz, peak, i));
        u16(v);
        u16(v);
    }
    return static_cast<bool>(out);
}

std::vector<int16_t> LeftChannel(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
    const size_t frames = bytes.size() / 4;
    const size_t end = count < frames - std::min(from, frames) ? from + count : frames;
    std::vector<int16_t> s;
    for (size_t i = from; i < end; ++i) {
        int16_t v;
        std::memcpy(&v, bytes.data() + 4 * i, 2);
        s.push_back(v);
    }
    return s;
}

double Frequency(const std::vector<int16_t>& s, double rate) {
    size_t rising = 0;
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) ++rising;
    return s.empty() ? 0 : static_cast<double>(rising) * rate / static_cast<double>(s.size());
}

int Peak(const std::vector<int16_t>& s) {
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
    return peak;
}

}  // namespace soundtest
