#pragma once
// The service's playlist, songs and tags held in memory, for the bus tests.
// They answer as the service's own objects do (codes, out-values, which
// out-values a failure leaves alone); the one difference is that Save keeps
// the playlist's records in memory, per playlist folder, in place of the
// playlist file, and Load makes new songs from them.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace ipctest {

// A tag: track, year and four texts; a text keeps its exact bytes, and null
// stays null. A new tag is titled "Default" with the other texts "Unknown".
class FakeTag final : public plat::ComObject<FakeTag, ID3> {
public:
    FakeTag();

    HRESULT SetTrackNumber(UINT nTrack) override { return SetNumber(m_track, nTrack); }
    HRESULT GetTrackNumber(UINT* pnTrack) override { return GetNumber(m_track, pnTrack); }
    HRESULT SetYear(UINT nYear) override { return SetNumber(m_year, nYear); }
    HRESULT GetYear(UINT* pnYear) override { return GetNumber(m_year, pnYear); }
    HRESULT SetArtist(BSTR b) override { return SetText(m_artist, b); }
    HRESULT GetArtist(BSTR* p) override { return GetText(m_artist, p); }
    HRESULT SetTitle(BSTR b) override { return SetText(m_title, b); }
    HRESULT GetTitle(BSTR* p) override { return GetText(m_title, p); }
    HRESULT SetAlbum(BSTR b) override { return SetText(m_album, b); }
    HRESULT GetAlbum(BSTR* p) override { return GetText(m_album, p); }
    HRESULT SetGenre(BSTR b) override { return SetText(m_genre, b); }
    HRESULT GetGenre(BSTR* p) override { return GetText(m_genre, p); }

private:
    HRESULT SetNumber(UINT& member, UINT value);
    HRESULT GetNumber(const UINT& member, UINT* out);
    HRESULT SetText(plat::Bstr& member, BSTR value);
    HRESULT GetText(const plat::Bstr& member, BSTR* out);

    std::mutex m_mutex;
    UINT m_track = 0, m_year = 0;
    plat::Bstr m_artist, m_title, m_album, m_genre;
};

// A song: borders in milliseconds, a defined flag, a fresh id and a tag.
class FakeSong final : public plat::ComObject<FakeSong, ISong> {
public:
    FakeSong();

    HRESULT GetBorders(ULONG* pLeft, ULONG* pRight) override;
    // A left border beyond a set right border is clamped to it; the song
    // becomes defined.
    HRESULT SetLeftBorder(ULONG dwLeft) override;
    // A right border before the left one is clamped to it, unless it is 0.
    HRESULT SetRightBorder(ULONG dwRight) override;
    HRESULT GetID3Tag(ID3** ppId3) override;
    HRESULT GetID(GUID* pGuid) override;
    // right - left, wrapping as an unsigned 32-bit number.
    HRESULT GetLength(ULONG* pLength) override;
    // Sets the tag's title.
    HRESULT Rename(BSTR bstrNewName) override;
    HRESULT IsDefined(LONG* pDefined) override;
    HRESULT SetDefined(LONG bDefined) override;

private:
    std::mutex m_mutex;
    ULONG m_left = 0, m_right = 0;
    LONG m_defined = 0;
    GUID m_id = GUID_NULL;
    plat::ComPtr<FakeTag> m_tag;
};

class FakePlayList final : public plat::ComObject<FakePlayList, IPlayList> {
public:
    FakePlayList();

    HRESULT CreateNewSong(ISong** ppSong) override;
    HRESULT Count(ULONG* pCount) override;
    HRESULT IsEmpty(LONG* pEmpty) override;
    // E_FAIL when no song has the id.
    HRESULT Delete(GUID guid) override;
    HRESULT Clear() override;
    // The id at the moved position, S_FALSE with the null id when there is no
    // song there (the position then stays).
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
    // E_FAIL, with the list emptied, when nothing was ever saved in this
    // folder (a cleared list still loads its last save).
    HRESULT Load() override;
    // Makes the folder (and its cache folder) on disk; an empty text is
    // refused, a failure answers the system's error.
    HRESULT SetPlayListDir(BSTR strDir) override;

private:
    enum class Move { Next, Prev, First, Last };
    HRESULT Navigate(Move move, GUID* pGuid);
    // No songs, no current id, the position at the start (under the lock).
    void Empty();
    // The first song with the id (under the lock).
    std::vector<plat::ComPtr<ISong>>::iterator Find(const GUID& guid);

    // What a save keeps of a song.
    struct Stored {
        ULONG left = 0, right = 0;
        LONG defined = 0;
        UINT track = 0, year = 0;
        std::u16string artist, title, album, genre;  // a null text is kept as empty
    };
    struct StoredList {
        std::vector<Stored> songs;
        GUID current = GUID_NULL;
    };

    std::recursive_mutex m_mutex;
    std::vector<plat::ComPtr<ISong>> m_songs;
    GUID m_current = GUID_NULL;
    size_t m_position = 0;
    std::u16string m_dir;
    std::map<std::u16string, StoredList> m_saved;  // by folder
};

}  // namespace ipctest
