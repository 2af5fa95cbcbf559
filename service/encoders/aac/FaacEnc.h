#pragma once
// An AAC encoder with the calls of the classic faac interface, over the
// native AAC encoder of libavcodec. It takes interleaved 16-bit samples and
// returns whole AAC frames, each behind its own ADTS header unless a raw
// stream is asked for.
//
// Usage: faacEncOpen, faacEncGetCurrentConfiguration, edit the fields,
// faacEncSetConfiguration, then faacEncEncode with one frame of input per
// call (the count faacEncOpen reports; a shorter last call is allowed), then
// faacEncEncode with no input until it returns 0 to collect the frames the
// codec still holds, and faacEncClose.
//
// Failures return null, 0 (configuration) or a negative count (encode) and
// set the thread's last error.
#include <cstdint>

struct FaacEncoder;
using faacEncHandle = FaacEncoder*;

inline constexpr uint32_t FAAC_MPEG4 = 0;  // ADTS ID bit 0
inline constexpr uint32_t FAAC_MPEG2 = 1;  // ADTS ID bit 1
inline constexpr uint32_t FAAC_MAIN = 1;   // object types (ADTS profile + 1)
inline constexpr uint32_t FAAC_LOW = 2;
inline constexpr uint32_t FAAC_INPUT_16BIT = 1;
inline constexpr uint32_t FAAC_OUTPUT_RAW = 0;
inline constexpr uint32_t FAAC_OUTPUT_ADTS = 1;

struct faacEncConfiguration {
    uint32_t mpegVersion;    // FAAC_MPEG4 or FAAC_MPEG2
    // FAAC_MAIN or FAAC_LOW, as the ADTS header announces it; both are coded
    // with the low-complexity tools (a Main stream that uses no prediction).
    uint32_t aacObjectType;
    uint32_t inputFormat;    // FAAC_INPUT_16BIT
    uint32_t outputFormat;   // FAAC_OUTPUT_ADTS (the default) or FAAC_OUTPUT_RAW
    // Bits per second over all channels together; 0 lets the codec choose.
    uint32_t bitRate;
    // Upper audio frequency in Hz; 0 lets the codec choose.
    uint32_t bandWidth;
    // Quality for a quality-driven codec. This codec is driven by bitRate
    // alone; the value is kept for callers and has no effect.
    uint32_t quantqual;
};

// A new encoder for the rate and channel count (1 or 2), or null. Reports the
// samples (of all channels) that one call takes and the largest output of one
// call in bytes.
faacEncHandle faacEncOpen(uint32_t sampleRate, uint32_t numChannels, uint32_t* inputSamples,
                          uint32_t* maxOutputBytes);
// The configuration that the encoder owns; edit it and hand it back.
faacEncConfiguration* faacEncGetCurrentConfiguration(faacEncHandle handle);
// 1 when the configuration is taken, 0 when it is refused (a value the codec
// cannot use, or encoding has already started).
int faacEncSetConfiguration(faacEncHandle handle, faacEncConfiguration* config);
// Encodes samplesInput 16-bit samples (interleaved, a whole number of frames
// of all channels) and returns the bytes placed in output: 0 while the codec
// still delays, negative on failure (also when the output buffer cannot hold
// the next frame). samplesInput 0 ends the input: the held frames follow,
// as many per call as fit, until 0 comes back.
int faacEncEncode(faacEncHandle handle, const void* input, uint32_t samplesInput, uint8_t* output,
                  uint32_t bufferSize);
// Frees the encoder; 0, or -1 for a null handle.
int faacEncClose(faacEncHandle handle);
