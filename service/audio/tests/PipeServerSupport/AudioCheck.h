#pragma once
// Measures engine-format audio (48000 Hz, 2 channels, 16 bits) for the
// end-to-end tests: level and frequency of one channel.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/core/WinTypes.h"

struct ToneMeasure {
    double peak = 0;
    double rms = 0;
    double frequency = 0;
    bool channelsEqual = true;
};

inline std::vector<int16_t> LeftChannel(const std::vector<BYTE>& stream, bool* channelsEqual) {
    std::vector<int16_t> left;
    *channelsEqual = true;
    for (size_t i = 0; i + 3 < stream.size(); i += 4) {
        auto l = static_cast<int16_t>(stream[i] | (stream[i + 1] << 8));
        auto r = static_cast<int16_t>(stream[i + 2] | (stream[i + 3] << 8));
        if (l != r) *channelsEqual = false;
        left.push_back(l);
    }
    return left;
}

inline ToneMeasure Measure(const std::vector<int16_t>& s) {
    ToneMeasure m;
    if (s.size() < 2) return m;
    double squares = 0;
    size_t firstCross = 0, lastCross = 0, crossings = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        m.peak = std::max(m.peak, std::fabs(static_cast<double>(s[i])));
        squares += static_cast<double>(s[i]) * s[i];
        if (i > 0 && s[i - 1] < 0 && s[i] >= 0) {  // upward crossings: one a period
            if (crossings == 0) firstCross = i;
            lastCross = i;
            ++crossings;
        }
    }
    m.rms = std::sqrt(squares / static_cast<double>(s.size()));
    if (crossings > 1) m.frequency = (crossings - 1) * 48000.0 / static_cast<double>(lastCross - firstCross);
    return m;
}
