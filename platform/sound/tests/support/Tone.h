#pragma once
// Sine tones for tests in the engine's format (48000 Hz, 2 channels, 16 bits,
// both channels alike), and rough figures of what comes back: the frequency
// from upward zero crossings and the peak.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace soundtest {

inline constexpr double kToneRate = 48000.0;

// Frame 'frame' of a tone of hz at the given peak.
int16_t ToneSample(double hz, double peak, uint64_t frame);
// 'frames' interleaved stereo frames of the tone, from frame 'first' on.
void FillTone(int16_t* stereo, size_t frames, uint64_t first, double hz, double peak);
// 'seconds' of the tone as a PCM WAVE file.
bool WriteToneWave(const std::string& path, double hz, double peak, uint32_t seconds);

// The left channel of whole stereo 16-bit frames [from, from + count).
std::vector<int16_t> LeftChannel(const std::vector<uint8_t>& bytes, size_t from = 0,
                                 size_t count = std::numeric_limits<size_t>::max());
// Upward zero crossings per second; 0 for no samples.
double Frequency(const std::vector<int16_t>& samples, double rate);
int Peak(const std::vector<int16_t>& samples);

}  // namespace soundtest
