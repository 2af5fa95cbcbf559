#pragma once
// Wave formats in PulseAudio's terms.
#include <pulse/sample.h>

#include "platform/sound/SoundTypes.h"

namespace plat {

// False when the format cannot be streamed.
bool PulseSpecFor(const WaveFormat& format, pa_sample_spec* spec);
// Whole blocks of the format in us microseconds.
uint64_t PulseBytesForUs(const WaveFormat& format, uint64_t us);

}  // namespace plat
