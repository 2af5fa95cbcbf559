#pragma once
// A song's tag record: track, year, artist, title, album and genre. Every
// operation runs under the tag's own lock, so a string is never freed while
// another thread copies it.
#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/core/Sync.h"

class KID3 : public plat::ComObject<KID3, ID3> {
public:
    HRESULT SetTrackNumber(UINT nTrack) override;
    HRESULT GetTrackNumber(UINT* pnTrack) override;
    HRESULT SetArtist(BSTR bstrArtist) override;
    HRESULT GetArtist(BSTR* pstrArtist) override;
    HRESULT SetTitle(BSTR bstrTitle) override;
    HRESULT GetTitle(BSTR* pstrTitle) override;
    HRESULT SetAlbum(BSTR bstrAlbum) override;
    HRESULT GetAlbum(BSTR* pstrAlbum) override;
    HRESULT SetGenre(BSTR bstrGenre) override;
    HRESULT GetGenre(BSTR* pstrGenre) override;
    HRESULT SetYear(UINT nYear) override;
    HRESULT GetYear(UINT* pnYear) override;

private:
    friend class plat::ComObject<KID3, ID3>;
    KID3();
    ~KID3() override;

    // A copy of the text of the same byte length (null stays null); setting
    // the very string held keeps it.
    HRESULT SetText(plat::Bstr& member, BSTR value);
    HRESULT GetText(const plat::Bstr& member, BSTR* out);

    plat::Mutex m_mutex;
    UINT m_nTrack = 0;
    UINT m_nYear = 0;
    plat::Bstr m_bstrArtist;
    plat::Bstr m_bstrTitle;
    plat::Bstr m_bstrAlbum;
    plat::Bstr m_bstrGenre;
};

// A new tag with its count at 0: a copy of source's fields, or, without a
// source, title "Default" and artist, album and genre "Unknown". Each tag
// holds a lock on the server module while it lives. Null after a report when
// it cannot be made.
ID3* CreateID3Object(ID3* source);
