#include "service/foundation/KID3.h"

#include <new>

#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Module.h"

namespace {

BSTR CopyOf(BSTR s) { return s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s)) : nullptr; }

HRESULT CopyText(ID3* source, HRESULT (ID3::*get)(BSTR*), ID3* target, HRESULT (ID3::*set)(BSTR)) {
    plat::Bstr text;  // the source's copy, freed here
    (source->*get)(text.Out());
    return (target->*set)(text);
}

}  // namespace

KID3::KID3() { plat::ComModule::Lock(); }

KID3::~KID3() { plat::ComModule::Unlock(); }

ID3* CreateID3Object(ID3* source) {
    KID3* tag = nullptr;
    try {
        tag = KID3::CreateInstance();
    } catch (const std::bad_alloc&) {
        tag = nullptr;
    }
    if (!tag) {
        TQ_TRACE_HR("hr");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot create KID3");
        return nullptr;
    }
    HRESULT hr = S_OK;
    if (source) {
        UINT track = 0, year = 0;
        source->GetTrackNumber(&track);
        source->GetYear(&year);
        tag->SetTrackNumber(track);
        tag->SetYear(year);
        hr = CopyText(source, &ID3::GetTitle, tag, &ID3::SetTitle);
        if (SUCCEEDED(hr)) hr = CopyText(source, &ID3::GetArtist, tag, &ID3::SetArtist);
        if (SUCCEEDED(hr)) hr = CopyText(source, &ID3::GetAlbum, tag, &ID3::SetAlbum);
        if (SUCCEEDED(hr)) hr = CopyText(source, &ID3::GetGenre, tag, &ID3::SetGenre);
    } else {
        plat::Bstr title(u"Default"), unknown(u"Unknown");
        if (!title.Get() || !unknown.Get()) hr = E_OUTOFMEMORY;
        if (SUCCEEDED(hr)) hr = tag->SetTitle(title);
        if (SUCCEEDED(hr)) hr = tag->SetArtist(unknown);
        if (SUCCEEDED(hr)) hr = tag->SetAlbum(unknown);
        if (SUCCEEDED(hr)) hr = tag->SetGenre(unknown);
    }
    if (FAILED(hr)) {
        plat::ComPtr<KID3> drop(tag);  // destroyed with its only reference
        TQ_TRACE_HR("hr");
        TQ_REPORT(EC_INTERNAL, hr, u"Cannot create KID3");
        return nullptr;
    }
    return tag;
}

HRESULT KID3::SetText(plat::Bstr& member, BSTR value) {
    KLock lock(m_mutex);
    if (value == member.Get()) return S_OK;
    BSTR copy = CopyOf(value);
    if (value && !copy) {
        TQ_TRACE_HR("E_OUTOFMEMORY");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot copy the string");
        return E_OUTOFMEMORY;
    }
    member.Attach(copy);
    return S_OK;
}

HRESULT KID3::GetText(const plat::Bstr& member, BSTR* out) {
    TQ_CHECK_POINTER(out);
    KLock lock(m_mutex);
    BSTR copy = CopyOf(member.Get());
    if (member.Get() && !copy) {
        TQ_TRACE_HR("E_OUTOFMEMORY");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot copy the string");
        return E_OUTOFMEMORY;
    }
    *out = copy;
    return S_OK;
}

HRESULT KID3::SetTrackNumber(UINT nTrack) {
    KLock lock(m_mutex);
    m_nTrack = nTrack;
    return S_OK;
}

HRESULT KID3::GetTrackNumber(UINT* pnTrack) {
    TQ_CHECK_POINTER(pnTrack);
    KLock lock(m_mutex);
    *pnTrack = m_nTrack;
    return S_OK;
}

HRESULT KID3::SetYear(UINT nYear) {
    KLock lock(m_mutex);
    m_nYear = nYear;
    return S_OK;
}

HRESULT KID3::GetYear(UINT* pnYear) {
    TQ_CHECK_POINTER(pnYear);
    KLock lock(m_mutex);
    *pnYear = m_nYear;
    return S_OK;
}

HRESULT KID3::SetArtist(BSTR bstrArtist) { return SetText(m_bstrArtist, bstrArtist); }
HRESULT KID3::GetArtist(BSTR* pstrArtist) { return GetText(m_bstrArtist, pstrArtist); }
HRESULT KID3::SetTitle(BSTR bstrTitle) { return SetText(m_bstrTitle, bstrTitle); }
HRESULT KID3::GetTitle(BSTR* pstrTitle) { return GetText(m_bstrTitle, pstrTitle); }
HRESULT KID3::SetAlbum(BSTR bstrAlbum) { return SetText(m_bstrAlbum, bstrAlbum); }
HRESULT KID3::GetAlbum(BSTR* pstrAlbum) { return GetText(m_bstrAlbum, pstrAlbum); }
HRESULT KID3::SetGenre(BSTR bstrGenre) { return SetText(m_bstrGenre, bstrGenre); }
HRESULT KID3::GetGenre(BSTR* pstrGenre) { return GetText(m_bstrGenre, pstrGenre); }
