#pragma once
// Measures engine-format audio (48000 Hz, 2 channels, 16 bits) for the
// end-to-end tests: level and frequency of one channel. Each figure is the
// median over the signal's periods, so that a single dropout on a loaded
// machine does not spoil the measurement.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/core/WinTypes.h"

struct ToneMeasure {
    double peak = 0;
    double rms = 0;
    double frequency = 0;
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

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

inline ToneMeasure Measure(const std::vector<int16_t>& s) {
    // Periods run from one upward zero crossing to the next.
    std::vector<size_t> crossings;
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) crossings.push_back(i);
    std::vector<double> lengths, peaks, rms;
    for (size_t k = 1; k < crossings.size(); ++k) {
        double peak = 0, squares = 0;
        for (size_t i = crossings[k - 1]; i < crossings[k]; ++i) {
            peak = std::max(peak, std::fabs(static_cast<double>(s[i])));
            squares += static_cast<double>(s[i]) * s[i];
        }
        const auto length = static_cast<double>(crossings[k] - crossings[k - 1]);
        lengths.push_back(length);
        peaks.push_back(peak);
        rms.push_back(std::sqrt(squares / length));
    }
    ToneMeasure m;
    m.peak = Median(peaks);
    m.rms = Median(rms);
    const double period = Median(lengths);
    // A period is a whole number of frames; average the lengths near the median.
    double sum = 0;
    size_t count = 0;
    for (double l : lengths)
        if (std::fabs(l - period) <= 1.0) {
            sum += l;
            ++count;
        }
    m.frequency = count ? 48000.0 * static_cast<double>(count) / sum : 0;
    return m;
}
