#pragma once
// What a profile holds, as the writer needs it, and the reading of our
// profile text:
//
//   <?xml version="1.0" encoding="UTF-16"?>
//   <profile version="1" name="..." packetsize="2112">
//     <stream number="1" type="audio" codec="wmav2" bitrate="128000" samplerate="48000" channels="2"/>
//   </profile>
//
// packetsize (bytes of one ASF data packet) is optional. A profile holds one
// stream, an audio stream this writer can make.
#include <string>
#include <vector>

#include "service/encoders/wma/WmFormat.h"

struct WmStreamSpec {
    WORD number = 0;     // 1..127
    std::string codec;   // "wmav1" or "wmav2"
    uint32_t bitRate = 0;     // bits per second
    uint32_t sampleRate = 0;  // Hz
    uint32_t channels = 0;    // 1 or 2
};

struct WmProfileSpec {
    std::string name;
    uint32_t packetSize = 0;  // 0: the muxer's default
    std::vector<WmStreamSpec> streams;
};

// The configuration of one stream, count 0; null when memory runs out.
IWMStreamConfig* CreateWmStreamConfig(const WmStreamSpec& stream);

// False for text that is not such a profile.
bool ParseWmProfile(const char16_t* text, size_t units, WmProfileSpec* out);

inline constexpr IID IID_IWmProfileSpec{0x5FC2A8DC, 0x8593, 0x4149, {0x96, 0xE0, 0xAA, 0x1E, 0xF0, 0xD7, 0x24, 0xCB}};
// Answered by this layer's profiles, so that its writer can read them.
struct IWmProfileSpec : IUnknown {
    static constexpr const IID& kIID = IID_IWmProfileSpec;
    virtual const WmProfileSpec& Spec() const = 0;
};
