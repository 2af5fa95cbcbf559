#pragma once
// Converts blocks of uncompressed PCM between simple formats: the rate by
// repeating or leaving out whole frames (no interpolation), mono and stereo
// both ways, 8 and 16 bits both ways. The rate's sub-frame phase carries from
// one block to the next, so a stream converted block by block keeps its rate.
#include <cstdint>
#include <vector>

#include "ipc/QXServiceLib.h"

class KWave {
public:
    static constexpr DWORD kInitialWorkBytes = 500000;
    // Rates outside this range are not taken for audio: they would make the
    // output of one block unreasonably large (or divide by zero).
    static constexpr DWORD kMinRate = 1000;
    static constexpr DWORD kMaxRate = 768000;
    // The largest output one conversion may produce.
    static constexpr uint64_t kMaxOutputBytes = 16u << 20;

    KWave();
    virtual ~KWave();
    KWave(const KWave&) = delete;
    KWave& operator=(const KWave&) = delete;

    // 1 or 2 channels of 8 or 16 bits, a rate within range, and the block
    // alignment and byte rate that follow from them. The tag and cbSize are
    // not looked at.
    static bool IsValidPcm(const OWAVEFORMATEX* format);

    // Takes the next block (not copied: the caller keeps it alive until the
    // conversion is done). False, keeping the previous block, when the format
    // is not valid PCM.
    bool SetSource(const OWAVEFORMATEX* format, const BYTE* data, DWORD bytes);

    // Converts the block to the target format. *outData points at the source
    // block itself when the formats are equal, else into a buffer of this
    // object that stays valid until the next conversion. False, with the
    // outputs untouched, for an invalid target; false with *outData null when
    // no block was ever taken; false when the output would be too large.
    bool Convert(const OWAVEFORMATEX* target, BYTE** outData, DWORD* outBytes);

private:
    bool ConvertSamples(const OWAVEFORMATEX* target, BYTE** outData, DWORD* outBytes);

    OWAVEFORMATEX m_wfSource{};
    const BYTE* m_pSource = nullptr;
    bool m_bHasSource = false;
    std::vector<BYTE> m_work;
    DWORD m_dwSourceBytes = 0;
    // How far the output has moved past the last source frame, as a count of
    // 1/m_dwPhaseRate of a frame (exact, so long streams do not drift).
    uint64_t m_llPhase = 0;
    DWORD m_dwPhaseRate = 0;
};
