#include "service/audio/KSoundHelper.h"

#include <algorithm>
#include <cstring>

#include "log/Trace.h"
#include "platform/com/ComPtr.h"

namespace SoundProcessing {

bool KSoundHelper::IsSilent(const BYTE* block) {
    for (DWORD i = 0; i < kBlockBytes; i += 2) {
        SHORT s;
        std::memcpy(&s, block + i, sizeof s);
        if (s < -kSilenceLevel || s > kSilenceLevel) return false;
    }
    return true;
}

HRESULT KSoundHelper::DeleteSilence(ICache* pCache, LONGLONG* left, LONGLONG* right) {
    TQ_CHECK_POINTER(pCache);
    TQ_CHECK_POINTER(left);
    TQ_CHECK_POINTER(right);
    auto l = static_cast<ULONGLONG>(*left);
    auto r = static_cast<ULONGLONG>(*right);
    if (l > r) return E_INVALIDARG;
    if (l == r) return S_OK;
    plat::ComPtr<ICache> cache(pCache);
    BYTE block[kBlockBytes];

    ULONGLONG blocks = (r - l) / kBlockBytes;
    for (ULONGLONG i = 0; i < blocks; ++i) {
        HRESULT hr = cache->ReadFixedPos(l, kBlockBytes, block);
        if (hr != S_OK) return hr;
        if (!IsSilent(block)) break;
        l += kBlockBytes;
        *left = static_cast<LONGLONG>(l);
    }

    blocks = (r - l) / kBlockBytes;
    for (ULONGLONG i = 0; i < blocks; ++i) {
        HRESULT hr = cache->ReadFixedPos(r - kBlockBytes, kBlockBytes, block);
        if (hr != S_OK) return hr;
        if (!IsSilent(block)) break;
        r -= kBlockBytes;
        *right = static_cast<LONGLONG>(r);
    }
    return S_OK;
}

HRESULT KSoundHelper::SetLowRaiseVolumeParams(DWORD seconds, BOOL bLow) {
    if (seconds == 0) return E_INVALIDARG;
    const DWORD frames = seconds * kFramesPerSecond;
    if (frames == 0) return E_INVALIDARG;  // more seconds than the count can hold
    m_dStep = 1.0 / static_cast<double>(frames);
    if (bLow) {
        m_dGain = 1.0;
        m_dStep = -m_dStep;
    } else {
        m_dGain = 0.0;
    }
    return S_OK;
}

HRESULT KSoundHelper::LowRaiseVolume(SHORT* samples, DWORD count) {
    TQ_CHECK_POINTER(samples);
    if (count == 0) return E_INVALIDARG;
    for (DWORD i = 0; i < count; i += 2) {
        // The gain stays between silence and full level, so a ramp applied
        // past its end never amplifies, inverts or wraps a sample.
        const double gain = std::clamp(m_dGain, 0.0, 1.0);
        samples[i] = static_cast<SHORT>(static_cast<double>(samples[i]) * gain);
        if (i + 1 < count) samples[i + 1] = static_cast<SHORT>(static_cast<double>(samples[i + 1]) * gain);
        m_dGain = std::clamp(m_dGain + m_dStep, 0.0, 1.0);
    }
    return S_OK;
}

}  // namespace SoundProcessing
