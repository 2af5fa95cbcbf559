#pragma once
// The playlist object behind IPlayList: the service's one ordered list of
// songs, with the id of the current song and a navigation position, stored
// in the playlist file. All methods serialise on the playlist's lock.
#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "service/foundation/KPlayListImpl.h"

class KPlayList : public plat::ComObject<KPlayList, IPlayList> {
public:
    // The new playlist with its count at 0, or null after a report. It holds
    // a lock on the server module while it lives.
    static KPlayList* Create();

    HRESULT CreateNewSong(ISong** ppSong) override;
    HRESULT Count(ULONG* pCount) override;
    HRESULT IsEmpty(LONG* pEmpty) override;
    HRESULT Delete(GUID guid) override;
    HRESULT Clear() override;
    HRESULT Next(GUID* pGuid) override;
    HRESULT Prev(GUID* pGuid) override;
    HRESULT First(GUID* pGuid) override;
    HRESULT Last(GUID* pGuid) override;
    HRESULT GetCurrentID(GUID* pGuid) override;
    // Null id: S_FALSE, *ppSong untouched; empty list: S_OK with a null song;
    // an id no song has: E_INVALIDARG.
    HRESULT Get(GUID guid, ISong** ppSong) override;
    HRESULT SetCurrentID(GUID guid) override;
    HRESULT GetPlaylist(VARIANT* aSongs) override;
    HRESULT Save() override;
    HRESULT Load() override;
    HRESULT SetPlayListDir(BSTR strDir) override;

    // The path of the playlist file (for the service's own use and tests).
    std::u16string SaveFileName() { return m_cPlayListImpl.SaveFileName(); }

private:
    friend class plat::ComObject<KPlayList, IPlayList>;
    KPlayList();
    ~KPlayList() override;

    HRESULT Navigate(KPlayListImpl::Move move, GUID* pGuid);

    KPlayListImpl m_cPlayListImpl;
};
