#pragma once
// Checks of wave formats that buffers are asked for.
#include "platform/sound/SoundTypes.h"

namespace plat {

// A consistent integer PCM (or 32-bit float) format that a sound server can
// play: 1 to 8 channels, 8/16/24/32 bits, the block alignment and byte rate
// that follow from them.
bool IsStreamableFormat(const WaveFormat& format);
// What clock-driven buffers need: a byte rate and a block alignment.
bool HasBufferGeometry(const WaveFormat& format);
// Bytes in ms milliseconds of the format, rounded down to whole blocks.
DWORD FormatBytesForMs(const WaveFormat& format, DWORD ms);

}  // namespace plat
