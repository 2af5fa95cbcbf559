#pragma once
// The lame_enc library interface: seven C entry points over an MP3 encoder
// stream, configured by one packed record. The service loads the library at
// run time and binds the entry points by name.
#include <cstdint>

extern "C" {

using BE_ERR = uint32_t;
using HBE_STREAM = uintptr_t;

inline constexpr BE_ERR BE_ERR_SUCCESSFUL = 0;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT = 1;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 2;
inline constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 3;
inline constexpr BE_ERR BE_ERR_INVALID_HANDLE = 4;
inline constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 5;

// dwConfig of the record's LAME form, the only one offered.
inline constexpr uint32_t BE_CONFIG_LAME = 256;
inline constexpr uint32_t CURRENT_STRUCT_VERSION = 1;

// nMode
inline constexpr int32_t BE_MP3_MODE_STEREO = 0;
inline constexpr int32_t BE_MP3_MODE_JSTEREO = 1;
inline constexpr int32_t BE_MP3_MODE_DUALCHANNEL = 2;
inline constexpr int32_t BE_MP3_MODE_MONO = 3;

// nPreset: 0 takes the record's own settings; the constant-bit-rate preset
// encodes at dwBitrate with no variable rate.
inline constexpr int32_t LQP_NOPRESET = 0;
inline constexpr int32_t LQP_CBR = 12;

// nVbrMethod
inline constexpr int32_t VBR_METHOD_NONE = -1;
inline constexpr int32_t VBR_METHOD_DEFAULT = 0;
inline constexpr int32_t VBR_METHOD_OLD = 1;
inline constexpr int32_t VBR_METHOD_NEW = 2;
inline constexpr int32_t VBR_METHOD_MTRH = 3;
inline constexpr int32_t VBR_METHOD_ABR = 4;

#pragma pack(push, 1)
struct BE_CONFIG {
    uint32_t dwConfig;
    uint32_t dwStructVersion;
    uint32_t dwStructSize;
    uint32_t dwSampleRate;    // of the samples handed in
    uint32_t dwReSampleRate;  // of the stream written; 0: the same
    int32_t nMode;
    uint32_t dwBitrate;       // kbps: the constant rate, or the lowest one
    uint32_t dwMaxBitrate;    // kbps: the highest variable rate
    int32_t nPreset;
    uint32_t dwMpegVersion;   // kept for the record's layout; the rate decides
    uint32_t dwPsyModel;
    uint32_t dwEmphasis;
    int32_t bPrivate;
    int32_t bCRC;
    int32_t bCopyright;
    int32_t bOriginal;
    int32_t bWriteVBRHeader;  // an Info frame first, filled in after the end
    int32_t bEnableVBR;
    int32_t nVBRQuality;
    uint32_t dwVbrAbr_bps;
    int32_t nVbrMethod;
    int32_t bNoRes;           // no bit reservoir
    int32_t bStrictIso;
    uint16_t nQuality;        // low byte the quality, high byte its complement, else ignored
    uint8_t btReserved[253];
};

struct BE_VERSION {
    uint8_t byDLLMajorVersion;
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion;
    uint8_t byMinorVersion;
    uint8_t byDay;
    uint8_t byMonth;
    uint16_t wYear;
    char zHomepage[129];
    uint8_t byAlphaLevel;
    uint8_t byBetaLevel;
    uint8_t byMMXEnabled;
    uint8_t btReserved[125];
};
#pragma pack(pop)
static_assert(sizeof(BE_CONFIG) == 347, "the configuration record is 347 bytes");

// Opens a stream. *dwSamples: 16-bit samples per call that suit the encoder;
// *dwBufferSize: the output bytes such a call may give.
using BEINITSTREAM = BE_ERR (*)(BE_CONFIG* pbeConfig, uint32_t* dwSamples, uint32_t* dwBufferSize, HBE_STREAM* phbeStream);
// Encodes nSamples interleaved 16-bit samples (of all channels); the output
// buffer takes at least 1.25 x frames + 7200 bytes.
using BEENCODECHUNK = BE_ERR (*)(HBE_STREAM hbeStream, uint32_t nSamples, int16_t* pSamples, uint8_t* pOutput, uint32_t* pdwOutput);
// Gives the last frames (at most 7200 bytes).
using BEDEINITSTREAM = BE_ERR (*)(HBE_STREAM hbeStream, uint8_t* pOutput, uint32_t* pdwOutput);
// Ends the stream. With bWriteVBRHeader the stream is kept until its Info
// frame is written (or released with a null file name).
using BECLOSESTREAM = BE_ERR (*)(HBE_STREAM hbeStream);
using BEVERSION = void (*)(BE_VERSION* pbeVersion);
// Writes the Info frame of the last closed stream into the finished file.
using BEWRITEVBRHEADER = BE_ERR (*)(const char* lpszFileName);
// The same for a given stream.
using BEWRITEINFOTAG = BE_ERR (*)(HBE_STREAM hbeStream, const char* lpszFileName);

}  // extern "C"
