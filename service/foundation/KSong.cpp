#include "service/foundation/KSong.h"

#include <atomic>
#include <new>

#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/com/Module.h"
#include "platform/core/Clock.h"
#include "service/foundation/KID3.h"

namespace {

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// When the system's random source fails, songs still need ids that differ
// from each other and from the null id (which means "no song").
GUID FallbackGuid(const void* object) {
    static std::atomic<uint64_t> counter{0};
    uint64_t a = Mix(static_cast<uint64_t>(plat::UnixTimeNow()) ^ (++counter << 20));
    uint64_t b = Mix(a ^ reinterpret_cast<uintptr_t>(object) ^ plat::GetTickCount());
    uint8_t bytes[16];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<uint8_t>(a >> (8 * i));
        bytes[8 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    bytes[7] = static_cast<uint8_t>((bytes[7] & 0x0F) | 0x40);  // version 4 layout
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    return plat::GuidFromBytes(bytes);
}

}  // namespace

KSong::KSong() {
    plat::ComModule::Lock();
    if (FAILED(plat::CreateGuid(&m_sGUID)) || m_sGUID == GUID_NULL) {
        TQ_TRACE_HR("::CoCreateGuid(&m_sGUID)");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Creating guid for song was failed");
        m_sGUID = FallbackGuid(this);
    }
}

KSong::~KSong() { plat::ComModule::Unlock(); }

ISong* CreateSongObject() {
    KSong* song = nullptr;
    try {
        song = KSong::CreateInstance();
    } catch (const std::bad_alloc&) {
        song = nullptr;
    }
    ID3* tag = song ? CreateID3Object(nullptr) : nullptr;
    if (!tag) {
        plat::ComPtr<KSong> drop(song);  // destroyed with its only reference
        TQ_TRACE_HR("hr");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot create KSong");
        return nullptr;
    }
    song->m_pTag = tag;
    return song;
}

HRESULT KSong::GetBorders(ULONG* pLeft, ULONG* pRight) {
    TQ_CHECK_POINTER(pLeft);
    TQ_CHECK_POINTER(pRight);
    KLock lock(m_mutex);
    *pLeft = m_dwLeft;
    *pRight = m_dwRight;
    return S_OK;
}

HRESULT KSong::SetLeftBorder(ULONG dwLeft) {
    KLock lock(m_mutex);
    m_dwLeft = (dwLeft > m_dwRight && m_dwRight != 0) ? m_dwRight : dwLeft;
    m_bDefined = 1;
    return S_OK;
}

HRESULT KSong::SetRightBorder(ULONG dwRight) {
    KLock lock(m_mutex);
    m_dwRight = (dwRight < m_dwLeft && dwRight != 0) ? m_dwLeft : dwRight;
    return S_OK;
}

HRESULT KSong::GetID3Tag(ID3** ppId3) {
    TQ_CHECK_POINTER(ppId3);
    *ppId3 = nullptr;
    if (!m_pTag) return E_FAIL;
    return m_pTag->QueryInterface(IID_ID3, reinterpret_cast<void**>(ppId3));
}

HRESULT KSong::GetID(GUID* pGuid) {
    TQ_CHECK_POINTER(pGuid);
    *pGuid = m_sGUID;
    return S_OK;
}

HRESULT KSong::GetLength(ULONG* pLength) {
    TQ_CHECK_POINTER(pLength);
    KLock lock(m_mutex);
    *pLength = m_dwRight - m_dwLeft;
    return S_OK;
}

HRESULT KSong::Rename(BSTR bstrNewName) {
    TQ_CHECK_POINTER(bstrNewName);
    KLock lock(m_mutex);
    return m_pTag ? m_pTag->SetTitle(bstrNewName) : E_FAIL;
}

HRESULT KSong::IsDefined(LONG* pDefined) {
    TQ_CHECK_POINTER(pDefined);
    KLock lock(m_mutex);
    *pDefined = m_bDefined;
    return S_OK;
}

HRESULT KSong::SetDefined(LONG bDefined) {
    KLock lock(m_mutex);
    m_bDefined = bDefined;
    return S_OK;
}
