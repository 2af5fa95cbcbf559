#include "service/controller/tests/FakeCache.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/com/Bstr.h"

using Guard = std::lock_guard<std::recursive_mutex>;

void FakeCache::SetStart(ULONGLONG start) {
    Guard g(m_lock);
    m_start = start;
    for (auto& b : m_buffers) b.read = std::max(b.read, start);
}
void FakeCache::FailWrites(bool fail) {
    Guard g(m_lock);
    m_failWrites = fail;
}
void FakeCache::FailReads(bool fail) {
    Guard g(m_lock);
    m_failReads = fail;
}
void FakeCache::FailSetCacheDir(bool fail) {
    Guard g(m_lock);
    m_failSetDir = fail;
}
void FakeCache::FailClear(bool fail) {
    Guard g(m_lock);
    m_failClear = fail;
}
void FakeCache::SetDir(const std::u16string& dir) {
    Guard g(m_lock);
    m_dir = dir;
}
FakeCache::Buffer FakeCache::BufferCopy(UINT index) {
    Guard g(m_lock);
    return m_buffers.at(index);
}
int FakeCache::SaveCount() {
    Guard g(m_lock);
    return m_saves;
}
int FakeCache::LoadCount() {
    Guard g(m_lock);
    return m_loads;
}
std::vector<std::pair<ULONGLONG, ULONGLONG>> FakeCache::Ranges() {
    Guard g(m_lock);
    return m_ranges;
}

void FakeCache::Append(Buffer& b, const BYTE* data, ULONGLONG bytes) {
    b.data.resize(b.write, 0);
    if (data) b.data.insert(b.data.end(), data, data + bytes);
    else b.data.resize(b.write + bytes, 0);
    b.write += bytes;
    if (b.live) b.read = b.write;
}

void FakeCache::Fill(UINT index, ULONGLONG bytes, BYTE value) {
    Guard g(m_lock);
    std::vector<BYTE> data(bytes, value);
    Append(m_buffers.at(index), data.data(), bytes);
}

void FakeCache::Empty() {
    Guard g(m_lock);
    m_start = 0;
    for (auto& b : m_buffers) {
        b.data.clear();
        b.read = b.write = 0;
    }
}

std::vector<std::pair<ULONGLONG, ULONG>> FakeCache::FixedReads() {
    Guard g(m_lock);
    return m_fixedReads;
}

ULONGLONG FakeCache::WritePosLocked() const {
    ULONGLONG w = 0;
    for (const auto& b : m_buffers) w = std::max(w, b.write);
    return w;
}

HRESULT FakeCache::SetSize(ULONGLONG llSize) {
    Guard g(m_lock);
    m_size = llSize;
    return S_OK;
}
HRESULT FakeCache::GetSize(ULONGLONG* pSize) {
    Guard g(m_lock);
    *pSize = m_size;
    return S_OK;
}
HRESULT FakeCache::GetFileMaxSize(ULONG* pSize) {
    *pSize = 1048576;
    return S_OK;
}
HRESULT FakeCache::IsEmpty(LONG* pYes) {
    Guard g(m_lock);
    *pYes = WritePosLocked() == m_start;
    return S_OK;
}
HRESULT FakeCache::IsFull(LONG* pYes) {
    if (!pYes) return E_POINTER;
    BYTE percent = 0;
    GetPercentFullness(&percent);
    *pYes = percent >= 99;
    return S_OK;
}
HRESULT FakeCache::GetPercentFullness(BYTE* pPercent) {
    Guard g(m_lock);
    ULONGLONG held = WritePosLocked() - m_start;
    *pPercent = m_size == 0 ? 0 : static_cast<BYTE>(std::min<ULONGLONG>(100, held * 100 / m_size));
    return S_OK;
}
HRESULT FakeCache::GetTimeFullness(ULONGLONG* pBytes) {
    Guard g(m_lock);
    *pBytes = WritePosLocked() - m_start;
    return S_OK;
}
HRESULT FakeCache::GetByteFullness(ULONGLONG* pBytes) { return GetTimeFullness(pBytes); }
HRESULT FakeCache::GetStartReadPos(ULONGLONG* pPos) {
    Guard g(m_lock);
    *pPos = m_start;
    return S_OK;
}
HRESULT FakeCache::GetReadPos(ULONGLONG* pPos) { return GetReadPosEx(0, pPos); }
HRESULT FakeCache::GetReadPosEx(UINT nIndex, ULONGLONG* pPos) {
    Guard g(m_lock);
    if (nIndex >= 3) return E_INVALIDARG;
    *pPos = m_buffers[nIndex].read;
    return S_OK;
}
HRESULT FakeCache::GetWritePosEx(UINT nIndex, ULONGLONG* pPos) {
    Guard g(m_lock);
    if (nIndex >= 3) return E_INVALIDARG;
    *pPos = m_buffers[nIndex].write;
    return S_OK;
}
HRESULT FakeCache::GetWritePos(ULONGLONG* pPos) {
    Guard g(m_lock);
    *pPos = WritePosLocked();
    return S_OK;
}

HRESULT FakeCache::SynchronizeReadPos(LONGLONG llOffset, EBasicPosition eBasePos) {
    Guard g(m_lock);
    ULONGLONG write = WritePosLocked();
    for (auto& b : m_buffers) {
        LONGLONG base = eBasePos == posStart ? static_cast<LONGLONG>(m_start)
                        : eBasePos == posEnd ? static_cast<LONGLONG>(write)
                                             : static_cast<LONGLONG>(b.read);
        LONGLONG target = std::clamp<LONGLONG>(base + llOffset, static_cast<LONGLONG>(m_start),
                                               static_cast<LONGLONG>(write));
        b.read = static_cast<ULONGLONG>(target);
        b.live = b.canLive && write - b.read <= kLiveWindow;
    }
    return S_OK;
}
HRESULT FakeCache::SetReadPosEx(UINT, LONGLONG, EBasicPosition) { return E_NOTIMPL; }
HRESULT FakeCache::SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    Guard g(m_lock);
    m_ranges.emplace_back(llStartPos, llEndPos);
    return S_OK;
}
HRESULT FakeCache::ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    Guard g(m_lock);
    auto it = std::find(m_ranges.begin(), m_ranges.end(), std::make_pair(llStartPos, llEndPos));
    if (it == m_ranges.end()) return E_INVALIDARG;
    m_ranges.erase(it);
    return S_OK;
}
HRESULT FakeCache::WriteEx(UINT nIndex, ULONG dwBytes, BYTE* pSource) {
    Guard g(m_lock);
    if (nIndex >= 3) return E_INVALIDARG;
    if (m_failWrites) return E_FAIL;
    Append(m_buffers[nIndex], pSource, dwBytes);
    return S_OK;
}
HRESULT FakeCache::WriteSilenceEx(UINT nIndex, ULONGLONG llBytes) {
    Guard g(m_lock);
    if (nIndex >= 3) return E_INVALIDARG;
    if (m_failWrites) return E_FAIL;
    Append(m_buffers[nIndex], nullptr, llBytes);
    return S_OK;
}
HRESULT FakeCache::Read(ULONG dwBytes, BYTE* pDestination) {
    Guard g(m_lock);
    if (m_failReads) return E_FAIL;
    std::vector<int> mix(dwBytes / 2, 0);
    for (auto& b : m_buffers) {
        if (b.write - b.read <= kLiveWindow) {
            if (b.canLive) b.live = true;
            continue;
        }
        for (ULONG i = 0; i + 1 < dwBytes; i += 2) {
            ULONGLONG at = b.read + i;
            if (at + 1 < b.data.size()) {
                short s;
                std::memcpy(&s, &b.data[at], 2);
                mix[i / 2] += s;
            }
        }
        b.read += dwBytes;
    }
    for (size_t i = 0; i < mix.size(); ++i) {
        short s = static_cast<short>(std::clamp(mix[i], -32767, 32767));
        std::memcpy(pDestination + 2 * i, &s, 2);
    }
    return S_OK;
}
HRESULT FakeCache::ReadEx(UINT, ULONG, BYTE*) { return E_NOTIMPL; }
HRESULT FakeCache::ReadFixedPos(ULONGLONG llPos, ULONG dwBytes, BYTE* pDestination) {
    Guard g(m_lock);
    if (m_failReads || llPos < m_start) return E_FAIL;
    m_fixedReads.emplace_back(llPos, dwBytes);
    std::memset(pDestination, 0, dwBytes);
    for (auto& b : m_buffers)
        for (ULONG i = 0; i < dwBytes && llPos + i < b.data.size(); ++i) pDestination[i] |= b.data[llPos + i];
    return S_OK;
}
HRESULT FakeCache::ReadFixedPosEx(UINT, ULONGLONG, ULONG, BYTE*) { return E_NOTIMPL; }
HRESULT FakeCache::Clear(LONG) {
    Guard g(m_lock);
    if (m_failClear) return E_ACCESSDENIED;
    m_start = WritePosLocked();
    for (auto& b : m_buffers) b.read = b.write = m_start;
    return S_OK;
}
HRESULT FakeCache::SetLive(LONG bLock) {
    Guard g(m_lock);
    for (auto& b : m_buffers) {
        b.live = bLock && b.canLive;
        b.read = b.write;
    }
    return S_OK;
}
HRESULT FakeCache::SetCanLive(LONG bLock) {
    Guard g(m_lock);
    for (auto& b : m_buffers) b.canLive = bLock != 0;
    return S_OK;
}
HRESULT FakeCache::SetLiveEx(UINT, LONG) { return E_NOTIMPL; }
HRESULT FakeCache::SetCanLiveEx(UINT, LONG) { return E_NOTIMPL; }
HRESULT FakeCache::SetCacheDir(BSTR bstrDir) {
    Guard g(m_lock);
    if (m_failSetDir) return E_FAIL;
    m_dir = plat::BstrToU16(bstrDir);
    return S_OK;
}
HRESULT FakeCache::IsLive(UINT nIndex, LONG* pYes) {
    Guard g(m_lock);
    if (nIndex >= 3) return E_INVALIDARG;
    *pYes = m_buffers[nIndex].live;
    return S_OK;
}
HRESULT FakeCache::GetCacheDir(BSTR* pbstrDir) {
    Guard g(m_lock);
    *pbstrDir = plat::BstrFromU16(m_dir);
    return S_OK;
}
HRESULT FakeCache::Save() {
    Guard g(m_lock);
    ++m_saves;
    return S_OK;
}
void FakeCache::BlockLoads(bool block) {
    Guard g(m_lock);
    m_blockLoads = block;
    m_loadChanged.notify_all();
}
bool FakeCache::WaitLoadBlocked(int timeoutMs) {
    std::unique_lock<std::recursive_mutex> g(m_lock);
    return m_loadChanged.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return m_loadsWaiting > 0; });
}
HRESULT FakeCache::Load() {
    std::unique_lock<std::recursive_mutex> g(m_lock);
    ++m_loadsWaiting;
    m_loadChanged.notify_all();
    m_loadChanged.wait(g, [&] { return !m_blockLoads; });
    --m_loadsWaiting;
    ++m_loads;
    return S_OK;
}
