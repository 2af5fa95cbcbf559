// Reading the cache (one buffer, or the three mixed), its size limit and the
// trimming that keeps it, its fullness and the ranges that trimming spares.
#include <algorithm>
#include <cstring>
#include <memory>

#include "log/KLock.h"
#include "log/Trace.h"
#include "service/audio/KCache.h"

namespace {

constexpr LONG kSampleLimit = 32767;
constexpr BYTE kFullPercent = 99;
// The room SetSize and ResetUndeletableRange make for the next portion.
constexpr ULONGLONG kRoomBytes = WRITEPORTION_BYTE;

}  // namespace

HRESULT KCache::MixRead(DWORD bytes, BYTE* pDestination, bool bFixed, ULONGLONG llPos) {
    TQ_CHECK_POINTER(pDestination);
    if (bytes % 2 != 0) return E_INVALIDARG;
    const size_t samples = bytes / 2;
    auto blocks = std::make_unique_for_overwrite<int16_t[]>(CACHE_BUFFER_COUNT * samples + 1);
    ULONGLONG saved[CACHE_BUFFER_COUNT] = {};
    HRESULT hr = S_OK;
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) {
        BYTE* block = reinterpret_cast<BYTE*>(blocks.get() + i * samples);
        if (bFixed) {
            hr = ReadFixedPosEx(i, llPos, bytes, block);
        } else {
            saved[i] = m_vpKCacheBuffer[i]->m_cSaver.GetReadPosition();
            hr = ReadEx(i, bytes, block);
        }
        if (FAILED(hr)) {
            // The buffers read before keep their places: the three stay in step.
            if (!bFixed) {
                for (UINT j = 0; j < i; ++j) m_vpKCacheBuffer[j]->m_cSaver.SetReadPositionAbsolute(saved[j]);
            }
            return hr;
        }
    }
    const int16_t* b0 = blocks.get();
    const int16_t* b1 = b0 + samples;
    const int16_t* b2 = b1 + samples;
    int16_t* out = blocks.get();  // mixed in place over the first block
    for (size_t k = 0; k < samples; ++k) {
        LONG s = static_cast<LONG>(b0[k]) + b1[k] + b2[k];
        // Limited to +-32767: the mix never holds -32768.
        if (s > kSampleLimit) s = kSampleLimit;
        else if (s < -kSampleLimit) s = -kSampleLimit;
        out[k] = static_cast<int16_t>(s);
    }
    std::memcpy(pDestination, out, bytes);
    return hr;
}

HRESULT KCache::Read(ULONG dwBytes, BYTE* pDestination) { return MixRead(dwBytes, pDestination, false, 0); }

HRESULT KCache::ReadFixedPos(ULONGLONG llPos, ULONG dwBytes, BYTE* pDestination) {
    return MixRead(dwBytes, pDestination, true, llPos);
}

HRESULT KCache::ReadEx(UINT nIndex, ULONG dwBytes, BYTE* pDestination) {
    TQ_CHECK_POINTER(pDestination);
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    HRESULT hr;
    ULONGLONG llReadPos = 0, llMaxPos = 0;
    if (TQ_FAILED(hr, GetReadPosEx(nIndex, &llReadPos))) return hr;
    if (TQ_FAILED(hr, GetWritePos(&llMaxPos))) return hr;
    if (llReadPos > llMaxPos) llReadPos = llMaxPos;
    if (llMaxPos - llReadPos <= kLiveWindow) {
        // Replay has caught up: silence instead of the last data, and the
        // buffer turns live (when it may).
        ApplyLiveRule(nIndex, TRUE);
        std::memset(pDestination, 0, dwBytes);
        return S_OK;
    }
    return m_vpKCacheBuffer[nIndex]->m_cSaver.Read(dwBytes, pDestination);
}

HRESULT KCache::ReadFixedPosEx(UINT nIndex, ULONGLONG llPos, ULONG dwBytes, BYTE* pDestination) {
    TQ_CHECK_POINTER(pDestination);
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    HRESULT hr;
    ULONGLONG llMaxPos = 0;
    if (TQ_FAILED(hr, GetWritePos(&llMaxPos))) return hr;
    if (llPos >= llMaxPos) return E_FAIL;
    return m_vpKCacheBuffer[nIndex]->m_cSaver.ReadFixedPos(llPos, dwBytes, pDestination);
}

HRESULT KCache::ReserveSpace(ULONGLONG bytes) {
    KLock lock(m_csCache);
    ULONGLONG used = 0;
    GetTimeFullness(&used);
    const ULONGLONG limit = m_llSize.load();
    auto fits = [&] { return used <= limit && bytes <= limit - used; };
    while (!fits()) {
        HRESULT hr;
        ULONGLONG llPos = 0, llWritePos = 0;
        if (TQ_FAILED(hr, GetStartReadPos(&llPos))) {
            TQ_REPORT(EC_INTERNAL, hr, u"GetStartReadPos failed");
            return hr;
        }
        GetWritePos(&llWritePos);
        // One data file further, but never past what is written (the axis
        // would run away) and never into a range that must stay: the three
        // buffers drop together, so the cache start never passes a protected
        // stretch in any of them.
        ULONGLONG target = llPos + CACHE_FILE_MAX_BYTE;
        if (target > llWritePos) target = llWritePos;
        for (auto& b : m_vpKCacheBuffer) {
            ULONGLONG protectedStart = 0;
            if (b->m_cSaver.GetFirstUndeletableStart(&protectedStart) && protectedStart < target) {
                target = protectedStart;
            }
        }
        // Nothing more can go: the cache stays above its limit until the
        // protection ends (ResetUndeletableRange trims then).
        if (target <= llPos) break;
        for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) {
            if (TQ_FAILED(hr, m_vpKCacheBuffer[i]->m_cSaver.DropBefore(target))) {
                TQ_REPORT(EC_INTERNAL, hr, u"Dropping cache bytes was failed");
            }
        }
        // No buffer moved on (each kept a file it could not delete): the next
        // trim tries again rather than this one for ever.
        ULONGLONG llAfter = 0;
        if (FAILED(GetStartReadPos(&llAfter)) || llAfter <= llPos) break;
        GetTimeFullness(&used);
    }
    return S_OK;
}

HRESULT KCache::SetSize(ULONGLONG llSize) {
    KLock lock(m_csCache);
    m_llSize = llSize;
    return ReserveSpace(kRoomBytes);
}

HRESULT KCache::GetSize(ULONGLONG* pSize) {
    TQ_CHECK_POINTER(pSize);
    KLock lock(m_csCache);
    *pSize = m_llSize;
    return S_OK;
}

HRESULT KCache::GetTimeFullness(ULONGLONG* pBytes) {
    TQ_CHECK_POINTER(pBytes);
    ULONGLONG start = 0, write = 0;
    if (FAILED(GetStartReadPos(&start))) start = 0;
    if (FAILED(GetWritePos(&write))) write = 0;
    *pBytes = write > start ? write - start : 0;
    return S_OK;
}

HRESULT KCache::GetPercentFullness(BYTE* pPercent) {
    TQ_CHECK_POINTER(pPercent);
    ULONGLONG used = 0;
    if (FAILED(GetTimeFullness(&used))) return E_FAIL;
    const ULONGLONG limit = m_llSize.load();
    unsigned __int128 percent = 0;
    if (limit == 0) {
        // Nothing fits: full, and more than full once anything is held.
        percent = used == 0 ? 100 : 255;
    } else {
        const unsigned __int128 scaled = static_cast<unsigned __int128>(used) * 100;
        percent = scaled / limit;
        if (scaled % limit >= limit / 2) ++percent;  // half rounds up
    }
    // A cache held above its limit by protected ranges says so, up to what
    // one byte can tell; it never wraps to a small number.
    *pPercent = static_cast<BYTE>(std::min<unsigned __int128>(percent, 255));
    return S_OK;
}

HRESULT KCache::IsFull(LONG* pYes) {
    TQ_CHECK_POINTER(pYes);
    *pYes = 0;
    BYTE nPercent = 0;
    HRESULT hr;
    if (TQ_FAILED(hr, GetPercentFullness(&nPercent))) return hr;
    *pYes = nPercent >= kFullPercent ? 1 : 0;
    return S_OK;
}

HRESULT KCache::GetByteFullness(ULONGLONG* pBytes) {
    TQ_CHECK_POINTER(pBytes);
    ULONGLONG total = 0;
    for (auto& b : m_vpKCacheBuffer) total += b->m_cSaver.GetDiskBytes();
    *pBytes = total;
    return S_OK;
}

HRESULT KCache::SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    // Under the cache lock, so that no trim runs between two buffers' marks.
    KLock lock(m_csCache);
    for (auto& b : m_vpKCacheBuffer) {
        HRESULT hr;
        if (TQ_FAILED(hr, b->m_cSaver.SetUndeletableRange(llStartPos, llEndPos))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Seting undeletable range was failed");
        }
    }
    return S_OK;
}

HRESULT KCache::ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    // Under the cache lock: the trim below never overlaps a writer's trim.
    KLock lock(m_csCache);
    for (auto& b : m_vpKCacheBuffer) {
        HRESULT hr;
        if (TQ_FAILED(hr, b->m_cSaver.ResetUndeletableRange(llStartPos, llEndPos))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Reseting undeletable range was failed");
        }
    }
    return ReserveSpace(kRoomBytes);
}
