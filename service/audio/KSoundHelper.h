#pragma once
// Two touches applied to a song while it is saved: trimming the silence at
// both ends of its stretch of the cache stream, and linear volume ramps (a
// rising one at its start, a falling one at its end). The stream is 16-bit
// signed stereo at 48000 Hz, 4 bytes a frame.
#include "ipc/QXServiceLib.h"

namespace SoundProcessing {

class KSoundHelper {
public:
    // Samples within +-this count as silent.
    static constexpr SHORT kSilenceLevel = 327;
    // The trim moves in blocks of this many bytes.
    static constexpr DWORD kBlockBytes = 2048;
    static constexpr DWORD kFramesPerSecond = 48000;

    KSoundHelper() = default;
    virtual ~KSoundHelper() = default;

    // Moves *left up and *right down past silent blocks, reading the mixed
    // stream of the cache. The two never cross.
    virtual HRESULT DeleteSilence(ICache* pCache, LONGLONG* left, LONGLONG* right);
    // Starts a ramp over `seconds`: rising from silence, or (bLow) falling
    // from full level.
    virtual HRESULT SetLowRaiseVolumeParams(DWORD seconds, BOOL bLow);
    // Applies the ramp to `count` 16-bit samples (whole stereo frames) in
    // place; the ramp carries over from call to call and stops at its end.
    virtual HRESULT LowRaiseVolume(SHORT* samples, DWORD count);

    double Gain() const { return m_dGain; }

private:
    static bool IsSilent(const BYTE* block);

    double m_dStep = 0.0;
    double m_dGain = 0.0;
};

}  // namespace SoundProcessing
