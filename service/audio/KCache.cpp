#include "service/audio/KCache.h"

#include "log/DirUtils.h"
#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/com/Bstr.h"
#include "platform/com/Module.h"
#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"

namespace {

// How long the end of the object waits for a writer before saying so (it
// then goes on waiting: a writer is never cut off in the middle of a step).
constexpr DWORD kWriterJoinMs = 10000;

using Wide = __int128;

}  // namespace

KCache* KCache::Create() {
    KCache* cache = CreateInstance();
    HRESULT hr = cache ? cache->Initialize() : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        TQ_TRACE_HR("KCache::Create");
        TQ_REPORT(EC_INTERNAL, hr, u"Create cache error");
        if (cache) {
            // Taking and giving back the first reference ends the object.
            cache->AddRef();
            cache->Release();
        }
        return nullptr;
    }
    return cache;
}

KCache::KCache() {
    plat::ComModule::Lock();
    m_strCacheDir = plat::WithTrailingSeparator(GetAppDataDir().Str());
}

HRESULT KCache::Initialize() {
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) {
        auto buffer = std::make_unique<KCacheBuffer>();
        buffer->m_cSaver.SetCacheDir(m_strCacheDir);
        if (!buffer->m_ring.SetSize(CIRCLE_BUFFER_BYTE)) return E_OUTOFMEMORY;
        m_vpKCacheBuffer.push_back(std::move(buffer));
    }
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) {
        KCacheBuffer& b = *m_vpKCacheBuffer[i];
        b.m_thread.SetPriority(plat::ThreadPriority::TimeCritical);
        if (!b.m_thread.Start([this, i] { return WriterThread(i); }, "cache-writer")) {
            return plat::HResultFromLastError();
        }
    }
    return S_OK;
}

KCache::~KCache() {
    // Every writer is told to stop, writes what its ring still holds and
    // ends between two steps.
    for (auto& b : m_vpKCacheBuffer) b->m_ring.Stop();
    for (auto& b : m_vpKCacheBuffer) {
        if (b->m_thread.IsStarted() && !b->m_thread.Join(kWriterJoinMs)) {
            TQ_TRACE_BOOL("Cache writer thread is late to end");
            b->m_thread.Join(INFINITE);
        }
    }
    // No save can still need a protected range: the marks go, and a cache
    // held above its limit by them is trimmed now, before its index is
    // saved, rather than at the next size setting after a restart.
    HRESULT hr;
    if (m_vpKCacheBuffer.size() == CACHE_BUFFER_COUNT) {
        ULONGLONG llStart = 0, llEnd = 0;
        if (TQ_FAILED(hr, GetStartReadPos(&llStart))) {
            TQ_REPORT(EC_INTERNAL, hr, u"GetStartReadPos was failed");
        }
        if (TQ_FAILED(hr, GetWritePos(&llEnd))) {
            TQ_REPORT(EC_INTERNAL, hr, u"GetWritePos was failed");
        }
        ResetUndeletableRange(llStart, llEnd);
    }
    // What the writers wrote after the owner's last save goes into the index
    // as well, so that the files and the index agree after a restart.
    for (auto& b : m_vpKCacheBuffer) {
        if (b->m_cSaver.GetCacheNumber() >= 0 && b->m_cSaver.IsDirty() &&
            TQ_FAILED(hr, b->m_cSaver.SaveStructure())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Saving cache structure was failed");
        }
    }
    m_vpKCacheBuffer.clear();
    plat::ComModule::Unlock();
}

HRESULT KCache::WriterThread(UINT nIndex) {
    KCacheBuffer& b = *m_vpKCacheBuffer[nIndex];
    std::vector<BYTE> portion(WRITEPORTION_BYTE, 0);
    for (;;) {
        uint64_t generation = 0;
        LONG n = b.m_ring.ReadPortion(portion.data(), WRITEPORTION_BYTE, kTailIdleMs, &generation);
        if (n < 0) break;  // stopped, and nothing is left
        if (n > 0) WriteStep(nIndex, portion.data(), static_cast<DWORD>(n), generation);
        b.m_ring.CompleteFlushIfEmpty();
    }
    return S_OK;
}

void KCache::WriteStep(UINT nIndex, const BYTE* pPortion, DWORD dwBytes, uint64_t generation) {
    KCacheBuffer& b = *m_vpKCacheBuffer[nIndex];
    KLock lock(m_csCache);
    // Audio taken from the ring before a Clear belongs to the cleared cache.
    if (b.m_ring.Generation() != generation) return;
    const ULONGLONG own = b.m_cSaver.GetWritePosition();
    ULONGLONG llWritePos = own;
    HRESULT hr;
    if (TQ_FAILED(hr, GetWritePos(&llWritePos))) llWritePos = own;
    // A buffer that lags the axis by more than the threshold first catches
    // up with silence, so that this portion ends level with the others.
    const LONGLONG gap = static_cast<LONGLONG>(llWritePos - own) - static_cast<LONGLONG>(dwBytes);
    if (llWritePos > own && gap > kGapThreshold) b.m_cSaver.ReserveSpace(static_cast<ULONGLONG>(gap));
    ReserveSpace(dwBytes);
    if (TQ_FAILED(hr, b.m_cSaver.Write(dwBytes, pPortion))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Writting cache bytes was failed");
        // The next WriteEx of this buffer reports it, so recording stops.
        b.m_hrWriteError.store(hr);
    }
}

HRESULT KCache::Flush(DWORD timeoutMs) {
    HRESULT result = S_OK;
    for (auto& b : m_vpKCacheBuffer) {
        if (!b->m_ring.Flush(timeoutMs)) {
            TQ_TRACE_BOOL("m_ring.Flush(timeoutMs)");
            result = E_FAIL;
        }
    }
    return result;
}

HRESULT KCache::GetFileMaxSize(ULONG* pSize) {
    TQ_CHECK_POINTER(pSize);
    *pSize = static_cast<ULONG>(CACHE_FILE_MAX_BYTE);
    return S_OK;
}

HRESULT KCache::IsEmpty(LONG* pYes) {
    TQ_CHECK_POINTER(pYes);
    LONG empty = 1;
    for (auto& b : m_vpKCacheBuffer) {
        if (b->m_cSaver.GetRecordCount() > 0) empty = 0;
    }
    *pYes = empty;
    return S_OK;
}

HRESULT KCache::GetStartReadPos(ULONGLONG* pPos) {
    TQ_CHECK_POINTER(pPos);
    if (m_vpKCacheBuffer.empty()) return E_FAIL;
    // Without the cache lock: the buffers' starts are published lock-free,
    // and a caller that needs them to hold still takes the lock itself.
    ULONGLONG start = 0;
    for (auto& b : m_vpKCacheBuffer) start = std::max(start, b->m_cSaver.GetStartPos());
    *pPos = start;
    return S_OK;
}

HRESULT KCache::GetReadPos(ULONGLONG* pPos) {
    TQ_CHECK_POINTER(pPos);
    ULONGLONG pos = 0;
    for (auto& b : m_vpKCacheBuffer) pos = std::max(pos, b->m_cSaver.GetReadPosition());
    *pPos = pos;
    return S_OK;
}

HRESULT KCache::GetWritePos(ULONGLONG* pPos) {
    TQ_CHECK_POINTER(pPos);
    ULONGLONG pos = 0;
    for (auto& b : m_vpKCacheBuffer) pos = std::max(pos, b->m_cSaver.GetWritePosition());
    *pPos = pos;
    return S_OK;
}

HRESULT KCache::GetReadPosEx(UINT nIndex, ULONGLONG* pPos) {
    TQ_CHECK_POINTER(pPos);
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    *pPos = m_vpKCacheBuffer[nIndex]->m_cSaver.GetReadPosition();
    return S_OK;
}

HRESULT KCache::GetWritePosEx(UINT nIndex, ULONGLONG* pPos) {
    TQ_CHECK_POINTER(pPos);
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    *pPos = m_vpKCacheBuffer[nIndex]->m_cSaver.GetWritePosition();
    return S_OK;
}

HRESULT KCache::SynchronizeReadPos(LONGLONG llOffset, EBasicPosition eBasePos) {
    KLock lock(m_csCache);
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) SetReadPosEx(i, llOffset, eBasePos);
    return S_OK;
}

HRESULT KCache::SetReadPosEx(UINT nIndex, LONGLONG llOffset, EBasicPosition eBasePos) {
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    HRESULT hr;
    LONG bIsFull = 0;
    ULONGLONG llMaxPos = 0, llMinPos = 0, llReadPos = 0;
    if (TQ_FAILED(hr, IsFull(&bIsFull))) return hr;
    if (TQ_FAILED(hr, GetWritePos(&llMaxPos))) return hr;
    if (TQ_FAILED(hr, GetStartReadPos(&llMinPos))) return hr;
    if (TQ_FAILED(hr, GetReadPosEx(nIndex, &llReadPos))) return hr;

    // Worked out wide, so that no offset a caller passes can overflow.
    const Wide max = llMaxPos, min = llMinPos, cur = llReadPos, margin = kFullMargin;
    Wide offset = llOffset;
    EBasicPosition base = posStart;
    switch (eBasePos) {
    case posStart:
        if (bIsFull) {
            if (offset < margin) offset = margin;
        } else if (offset < 0) {
            offset = 0;
            break;
        }
        if (min + offset > max) offset = max - min;
        break;
    case posEnd:
        if (bIsFull && max + offset < min + margin) offset += margin;
        if (offset > 0) offset = max - min;
        else if (max + offset < min) offset = 0;
        else offset = max + offset - min;
        break;
    case posCurrent:
        if (bIsFull && cur + offset < min + margin) offset += margin;
        if (cur + offset > max) offset = max - min;
        else if (cur + offset < min) offset = 0;
        else base = posCurrent;
        break;
    default:
        offset = bIsFull ? margin : 0;
        break;
    }
    KCacheImpl& saver = m_vpKCacheBuffer[nIndex]->m_cSaver;
    saver.SetReadPosition(static_cast<LONGLONG>(offset), base);

    if (TQ_FAILED(hr, GetReadPosEx(nIndex, &llReadPos))) return hr;
    ApplyLiveRule(nIndex, llMaxPos - llReadPos <= kLiveWindow ? TRUE : FALSE);
    return S_OK;
}

void KCache::ApplyLiveRule(UINT nIndex, LONG bLock) {
    KCacheImpl& saver = m_vpKCacheBuffer[nIndex]->m_cSaver;
    // Live is refused while the buffer may not live; leaving it always works.
    if (bLock && !saver.CanLive()) return;
    saver.SetLive(bLock ? TRUE : FALSE);
}

HRESULT KCache::SetLiveEx(UINT nIndex, LONG bLock) {
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    ApplyLiveRule(nIndex, bLock);
    return S_OK;
}

HRESULT KCache::SetCanLiveEx(UINT nIndex, LONG bLock) {
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    m_vpKCacheBuffer[nIndex]->m_cSaver.SetCanLive(bLock ? TRUE : FALSE);
    return S_OK;
}

HRESULT KCache::SetLive(LONG bLock) {
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) ApplyLiveRule(i, bLock);
    ULONGLONG start = 0, write = 0;
    if (FAILED(GetStartReadPos(&start))) start = 0;
    if (FAILED(GetWritePos(&write))) write = 0;
    return SynchronizeReadPos(static_cast<LONGLONG>(write - start), posStart);
}

HRESULT KCache::SetCanLive(LONG bLock) {
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) SetCanLiveEx(i, bLock);
    return S_OK;
}

HRESULT KCache::IsLive(UINT nIndex, LONG* pYes) {
    TQ_CHECK_POINTER(pYes);
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    *pYes = m_vpKCacheBuffer[nIndex]->m_cSaver.IsLive() ? 1 : 0;
    return S_OK;
}

HRESULT KCache::WriteEx(UINT nIndex, ULONG dwBytes, BYTE* pSource) {
    TQ_CHECK_POINTER(pSource);
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    KCacheBuffer& b = *m_vpKCacheBuffer[nIndex];
    // A data write of this buffer failed since the last call: the caller
    // learns it now, and stops recording.
    HRESULT failed = b.m_hrWriteError.exchange(S_OK);
    if (FAILED(failed)) return failed;
    return b.m_ring.Write(pSource, dwBytes) ? S_OK : E_FAIL;
}

HRESULT KCache::WriteSilenceEx(UINT nIndex, ULONGLONG llBytes) {
    if (nIndex >= CACHE_BUFFER_COUNT) return E_INVALIDARG;
    KLock lock(m_csCache);
    KCacheImpl& saver = m_vpKCacheBuffer[nIndex]->m_cSaver;
    const ULONGLONG own = saver.GetWritePosition();
    ULONGLONG llWritePos = 0;
    HRESULT hr;
    if (TQ_FAILED(hr, GetWritePos(&llWritePos))) return hr;
    if (TQ_FAILED(hr, ReserveSpace(llBytes))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Reserving cache bytes was failed");
        return hr;
    }
    // The buffer first catches up with the cache write position, then grows.
    saver.ReserveSpace(llWritePos - own + llBytes);
    return S_OK;
}

HRESULT KCache::Clear(LONG bWait) {
    KLock lock(m_csCache);
    HRESULT result = S_OK;
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) {
        KCacheBuffer& b = *m_vpKCacheBuffer[i];
        // Audio still in the ring, or held by the writer, belongs to the
        // cleared cache and never reaches the new one.
        b.m_ring.Discard();
        HRESULT hr;
        if (TQ_FAILED(hr, b.m_cSaver.Clear(bWait ? TRUE : FALSE))) result = hr;
    }
    return result;
}

HRESULT KCache::SetCacheDir(BSTR bstrDir) {
    KLock lock(m_csCache);
    TQ_CHECK_POINTER(bstrDir);
    const std::u16string text = plat::BstrToU16(bstrDir);
    if (text.empty()) return E_INVALIDARG;
    const std::u16string folder = plat::WithTrailingSeparator(text);
    if (folder == m_strCacheDir) return S_OK;
    if (!dirUtils::createDirRecursive(folder + KCacheImpl::kDataFolder)) {
        DWORD err = plat::GetLastError();
        TQ_TRACE_BOOL("dirUtils::createDirRecursive(strNewDir + _T(\"QXCache\\\\\"))");
        TQ_REPORT_SYSTEM(EC_CREATE_FOLDER, err, folder);
        return plat::HResultFromError(err);
    }
    m_strCacheDir = folder;
    for (auto& b : m_vpKCacheBuffer) {
        HRESULT hr;
        if (TQ_FAILED(hr, b->m_cSaver.SetCacheDir(text))) {
            TQ_TRACE_HR("m_vpKCacheBuffer[i]->m_cSaver.SetCacheDir(bstrDir)");
            return hr;
        }
    }
    return S_OK;
}

HRESULT KCache::GetCacheDir(BSTR* pbstrDir) {
    KLock lock(m_csCache);
    TQ_CHECK_POINTER(pbstrDir);
    dirUtils::createDirRecursive(m_strCacheDir + KCacheImpl::kDataFolder);
    *pbstrDir = plat::BstrFromU16(m_strCacheDir);
    return *pbstrDir ? S_OK : E_OUTOFMEMORY;
}

HRESULT KCache::Save() {
    HRESULT result = S_OK;
    for (auto& b : m_vpKCacheBuffer) {
        HRESULT hr;
        if (TQ_FAILED(hr, b->m_cSaver.SaveStructure())) result = hr;
    }
    return result;
}

HRESULT KCache::Load() {
    HRESULT result = S_OK;
    for (UINT i = 0; i < CACHE_BUFFER_COUNT; ++i) {
        HRESULT hr;
        if (TQ_FAILED(hr, m_vpKCacheBuffer[i]->m_cSaver.LoadStructure(static_cast<int>(i)))) result = hr;
    }
    return result;
}
