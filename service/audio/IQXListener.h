#pragma once
// The callback interface of the audio layer's producers: the driver link hands
// its listener the played sound, the song detector the songs it finds. The
// controller implements it. Not part of the contract across processes.
#include "platform/com/Unknown.h"

// {2C57C7C4-F974-4BB9-8ECC-3A0F5DD690BC}
inline constexpr IID IID_IQXListener{0x2C57C7C4, 0xF974, 0x4BB9, {0x8E, 0xCC, 0x3A, 0x0F, 0x5D, 0xD6, 0x90, 0xBC}};

struct IQXListener : IUnknown {
    static constexpr const IID& kIID = IID_IQXListener;
    // A song found between two moments of the recorded stream, in milliseconds.
    virtual HRESULT OnSongFound(DWORD startMs, DWORD endMs) = 0;        // 3
    // Engine-format audio (48000 Hz, 16 bits, 2 channels); consumed before returning.
    virtual HRESULT OnAudioData(DWORD bytes, BYTE* data) = 0;            // 4
    // The driver link has stopped.
    virtual HRESULT OnInterrupt() = 0;                                   // 5
};
