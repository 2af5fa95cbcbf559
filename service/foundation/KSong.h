#pragma once
// A song: a stretch of the recorded stream between two borders in
// milliseconds, with its identity, its defined flag and its tag. Every
// operation that reads or writes the borders or the flag holds the song's
// lock; a song takes its tag's lock only after its own.
#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Sync.h"

class KSong : public plat::ComObject<KSong, ISong> {
public:
    HRESULT GetBorders(ULONG* pLeft, ULONG* pRight) override;
    // A left border beyond a set right border is clamped to it; either way
    // the song becomes defined.
    HRESULT SetLeftBorder(ULONG dwLeft) override;
    // A right border before the left one is clamped to it, unless it is 0.
    HRESULT SetRightBorder(ULONG dwRight) override;
    HRESULT GetID3Tag(ID3** ppId3) override;
    HRESULT GetID(GUID* pGuid) override;
    // right - left as an unsigned 32-bit number (it wraps when left > right).
    HRESULT GetLength(ULONG* pLength) override;
    // Renames the song by setting its tag's title.
    HRESULT Rename(BSTR bstrNewName) override;
    HRESULT IsDefined(LONG* pDefined) override;
    HRESULT SetDefined(LONG bDefined) override;

private:
    friend class plat::ComObject<KSong, ISong>;
    friend ISong* CreateSongObject();
    KSong();
    ~KSong() override;

    plat::Mutex m_mutex;
    ULONG m_dwLeft = 0;
    ULONG m_dwRight = 0;
    plat::ComPtr<ID3> m_pTag;  // never changes after creation
    GUID m_sGUID = GUID_NULL;  // never changes after creation
    LONG m_bDefined = 0;
};

// A new song with a fresh id, borders 0 and a new tag, its count at 0; it
// holds a lock on the server module while it lives. Null after a report when
// it cannot be made.
ISong* CreateSongObject();
