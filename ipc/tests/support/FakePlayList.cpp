#include "ipc/tests/support/FakePlayList.h"

#include <algorithm>

#include "log/DirUtils.h"
#include "platform/com/Guid.h"
#include "platform/com/Variant.h"
#include "platform/core/LastError.h"
#include "platform/fs/File.h"

namespace ipctest {

namespace {

// The exact bytes of a text (an odd byte length included); null stays null.
BSTR CopyOf(BSTR s) { return s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s)) : nullptr; }

}  // namespace

// --- tag ---------------------------------------------------------------------

FakeTag::FakeTag() : m_artist(u"Unknown"), m_title(u"Default"), m_album(u"Unknown"), m_genre(u"Unknown") {}

HRESULT FakeTag::SetNumber(UINT& member, UINT value) {
    std::lock_guard lock(m_mutex);
    member = value;
    return S_OK;
}

HRESULT FakeTag::GetNumber(const UINT& member, UINT* out) {
    if (!out) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *out = member;
    return S_OK;
}

HRESULT FakeTag::SetText(plat::Bstr& member, BSTR value) {
    std::lock_guard lock(m_mutex);
    if (value == member.Get()) return S_OK;
    BSTR copy = CopyOf(value);
    if (value && !copy) return E_OUTOFMEMORY;
    member.Attach(copy);
    return S_OK;
}

HRESULT FakeTag::GetText(const plat::Bstr& member, BSTR* out) {
    if (!out) return E_POINTER;
    std::lock_guard lock(m_mutex);
    BSTR copy = CopyOf(member.Get());
    if (member.Get() && !copy) return E_OUTOFMEMORY;
    *out = copy;
    return S_OK;
}

// --- song --------------------------------------------------------------------

FakeSong::FakeSong() : m_tag(FakeTag::CreateInstance()) {
    if (FAILED(plat::CreateGuid(&m_id))) m_id = GUID_NULL;
}

HRESULT FakeSong::GetBorders(ULONG* pLeft, ULONG* pRight) {
    if (!pLeft || !pRight) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pLeft = m_left;
    *pRight = m_right;
    return S_OK;
}

HRESULT FakeSong::SetLeftBorder(ULONG dwLeft) {
    std::lock_guard lock(m_mutex);
    m_left = (dwLeft > m_right && m_right != 0) ? m_right : dwLeft;
    m_defined = 1;
    return S_OK;
}

HRESULT FakeSong::SetRightBorder(ULONG dwRight) {
    std::lock_guard lock(m_mutex);
    m_right = (dwRight < m_left && dwRight != 0) ? m_left : dwRight;
    return S_OK;
}

HRESULT FakeSong::GetID3Tag(ID3** ppId3) {
    if (!ppId3) return E_POINTER;
    *ppId3 = nullptr;
    if (!m_tag) return E_FAIL;
    return m_tag->QueryInterface(IID_ID3, reinterpret_cast<void**>(ppId3));
}

HRESULT FakeSong::GetID(GUID* pGuid) {
    if (!pGuid) return E_POINTER;
    *pGuid = m_id;
    return S_OK;
}

HRESULT FakeSong::GetLength(ULONG* pLength) {
    if (!pLength) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pLength = m_right - m_left;
    return S_OK;
}

HRESULT FakeSong::Rename(BSTR bstrNewName) {
    if (!bstrNewName) return E_POINTER;
    std::lock_guard lock(m_mutex);
    return m_tag ? m_tag->SetTitle(bstrNewName) : E_FAIL;
}

HRESULT FakeSong::IsDefined(LONG* pDefined) {
    if (!pDefined) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pDefined = m_defined;
    return S_OK;
}

HRESULT FakeSong::SetDefined(LONG bDefined) {
    std::lock_guard lock(m_mutex);
    m_defined = bDefined;
    return S_OK;
}

// --- playlist ----------------------------------------------------------------

using Guard = std::lock_guard<std::recursive_mutex>;

FakePlayList::FakePlayList() : m_dir(GetAppDataDir().Str()) {}

HRESULT FakePlayList::CreateNewSong(ISong** ppSong) {
    if (!ppSong) return E_POINTER;
    plat::ComPtr<ISong> song(FakeSong::CreateInstance());
    if (!song) return E_FAIL;
    Guard lock(m_mutex);
    m_songs.push_back(song);
    *ppSong = song.Detach();
    return S_OK;
}

HRESULT FakePlayList::Count(ULONG* pCount) {
    if (!pCount) return E_POINTER;
    Guard lock(m_mutex);
    *pCount = static_cast<ULONG>(m_songs.size());
    return S_OK;
}

HRESULT FakePlayList::IsEmpty(LONG* pEmpty) {
    if (!pEmpty) return E_POINTER;
    Guard lock(m_mutex);
    *pEmpty = m_songs.empty() ? 1 : 0;
    return S_OK;
}

std::vector<plat::ComPtr<ISong>>::iterator FakePlayList::Find(const GUID& guid) {
    return std::find_if(m_songs.begin(), m_songs.end(), [&](const plat::ComPtr<ISong>& song) {
        GUID id = GUID_NULL;
        return SUCCEEDED(song->GetID(&id)) && id == guid;
    });
}

HRESULT FakePlayList::Delete(GUID guid) {
    Guard lock(m_mutex);
    auto song = Find(guid);
    if (song == m_songs.end()) return E_FAIL;
    m_songs.erase(song);
    return S_OK;
}

void FakePlayList::Empty() {
    m_songs.clear();
    m_current = GUID_NULL;
    m_position = 0;
}

HRESULT FakePlayList::Clear() {
    Guard lock(m_mutex);
    Empty();
    // The service removes its playlist file but keeps the backup copy of the
    // last save, which a later load reads: what was saved stays.
    return S_OK;
}

HRESULT FakePlayList::Navigate(Move move, GUID* pGuid) {
    if (!pGuid) return E_POINTER;
    Guard lock(m_mutex);
    *pGuid = GUID_NULL;
    const size_t n = m_songs.size();
    // The position is not moved back by a deletion, so it may lie past the end.
    const bool none = n == 0 || (move == Move::Next && m_position + 1 >= n) ||
                      (move == Move::Prev && (m_position == 0 || m_position - 1 >= n));
    if (none) return S_FALSE;
    switch (move) {
        case Move::Next: ++m_position; break;
        case Move::Prev: --m_position; break;
        case Move::First: m_position = 0; break;
        case Move::Last: m_position = n - 1; break;
    }
    m_songs[m_position]->GetID(pGuid);
    return *pGuid == GUID_NULL ? S_FALSE : S_OK;
}

HRESULT FakePlayList::Next(GUID* pGuid) { return Navigate(Move::Next, pGuid); }
HRESULT FakePlayList::Prev(GUID* pGuid) { return Navigate(Move::Prev, pGuid); }
HRESULT FakePlayList::First(GUID* pGuid) { return Navigate(Move::First, pGuid); }
HRESULT FakePlayList::Last(GUID* pGuid) { return Navigate(Move::Last, pGuid); }

HRESULT FakePlayList::GetCurrentID(GUID* pGuid) {
    if (!pGuid) return E_POINTER;
    Guard lock(m_mutex);
    *pGuid = m_current;
    return S_OK;
}

HRESULT FakePlayList::SetCurrentID(GUID guid) {
    Guard lock(m_mutex);
    m_current = guid;
    return S_OK;
}

HRESULT FakePlayList::Get(GUID guid, ISong** ppSong) {
    if (!ppSong) return E_POINTER;
    if (guid == GUID_NULL) return S_FALSE;
    Guard lock(m_mutex);
    if (m_songs.empty()) {
        *ppSong = nullptr;
        return S_OK;
    }
    auto song = Find(guid);
    return song == m_songs.end() ? E_INVALIDARG : song->CopyTo(ppSong);
}

HRESULT FakePlayList::GetPlaylist(VARIANT* aSongs) {
    if (!aSongs) return E_POINTER;
    std::vector<IUnknown*> songs;
    Guard lock(m_mutex);
    for (const auto& song : m_songs) songs.push_back(song.Get());
    return plat::MakeUnknownArray(songs, aSongs);
}

HRESULT FakePlayList::Save() {
    Guard lock(m_mutex);
    StoredList list;
    list.current = m_current;
    for (const auto& song : m_songs) {
        Stored& s = list.songs.emplace_back();
        song->GetBorders(&s.left, &s.right);
        song->IsDefined(&s.defined);
        plat::ComPtr<ID3> tag;
        if (FAILED(song->GetID3Tag(tag.GetAddressOf())) || !tag) continue;
        tag->GetTrackNumber(&s.track);
        tag->GetYear(&s.year);
        for (auto [get, text] : {std::pair{&ID3::GetArtist, &s.artist}, std::pair{&ID3::GetTitle, &s.title},
                                 std::pair{&ID3::GetAlbum, &s.album}, std::pair{&ID3::GetGenre, &s.genre}}) {
            plat::Bstr value;
            if (SUCCEEDED((tag.Get()->*get)(value.Out()))) *text = value.Str();
        }
    }
    m_saved[m_dir] = std::move(list);
    return S_OK;
}

HRESULT FakePlayList::Load() {
    Guard lock(m_mutex);
    Empty();
    auto stored = m_saved.find(m_dir);
    if (stored == m_saved.end()) return E_FAIL;
    for (const Stored& s : stored->second.songs) {
        plat::ComPtr<ISong> song;
        if (FAILED(CreateNewSong(song.GetAddressOf()))) continue;
        song->SetLeftBorder(s.left);
        song->SetRightBorder(s.right);
        song->SetDefined(s.defined);  // after the borders, which set it
        plat::ComPtr<ID3> tag;
        if (FAILED(song->GetID3Tag(tag.GetAddressOf())) || !tag) continue;
        tag->SetTrackNumber(s.track);
        tag->SetYear(s.year);
        for (auto [set, text] : {std::pair{&ID3::SetArtist, &s.artist}, std::pair{&ID3::SetTitle, &s.title},
                                 std::pair{&ID3::SetAlbum, &s.album}, std::pair{&ID3::SetGenre, &s.genre}})
            (tag.Get()->*set)(plat::Bstr(*text));
    }
    m_current = stored->second.current;
    return S_OK;
}

HRESULT FakePlayList::SetPlayListDir(BSTR strDir) {
    std::u16string dir = plat::BstrToU16(strDir);
    if (dir.empty()) return E_INVALIDARG;
    dir = plat::WithTrailingSeparator(dir);
    if (!dirUtils::createDirRecursive(dir + u"QXCache/")) return plat::HResultFromError(plat::GetLastError());
    Guard lock(m_mutex);
    m_dir = dir;
    return S_OK;
}

}  // namespace ipctest
