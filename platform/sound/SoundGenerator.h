#pragma once
// Sources of captured sound for the virtual backend: each fills a block of
// the stream that starts at the given byte offset of everything generated so
// far by that buffer.
#include <cstdint>
#include <functional>

#include "platform/sound/SoundTypes.h"

namespace plat {

using SoundGenerator = std::function<void(uint8_t* to, DWORD bytes, uint64_t streamOffset)>;

// Zero bytes.
SoundGenerator SilenceGenerator();
// Each 4-byte word of the stream holds its own index (little-endian), so any
// byte tells where in the stream it came from: see CounterByteAt.
SoundGenerator CounterGenerator();
uint8_t CounterByteAt(uint64_t streamOffset);
// A sine of 16-bit PCM, the same on every channel; amplitude 0..1 of full scale.
SoundGenerator SineGenerator(const WaveFormat& format, double frequencyHz, double amplitude);

}  // namespace plat
