#include "service/controller/tests/FakePlaylist.h"

#include <algorithm>

#include "platform/com/Bstr.h"

FakeSong::FakeSong() { plat::CreateGuid(&m_guid); }

HRESULT FakeSong::GetBorders(ULONG* pLeft, ULONG* pRight) {
    std::lock_guard<std::mutex> g(m_lock);
    *pLeft = m_left;
    *pRight = m_right;
    return S_OK;
}
HRESULT FakeSong::SetLeftBorder(ULONG dwLeft) {
    std::lock_guard<std::mutex> g(m_lock);
    m_left = dwLeft;
    m_defined = true;
    return S_OK;
}
HRESULT FakeSong::SetRightBorder(ULONG dwRight) {
    std::lock_guard<std::mutex> g(m_lock);
    if (failRightBorder) return E_FAIL;
    m_right = dwRight;
    return S_OK;
}
HRESULT FakeSong::GetID3Tag(ID3** ppId3) {
    *ppId3 = nullptr;
    return E_NOTIMPL;
}
HRESULT FakeSong::GetID(GUID* pGuid) {
    *pGuid = m_guid;
    return S_OK;
}
HRESULT FakeSong::GetLength(ULONG* pLength) {
    std::lock_guard<std::mutex> g(m_lock);
    *pLength = m_right - m_left;
    return S_OK;
}
HRESULT FakeSong::Rename(BSTR) { return S_OK; }
HRESULT FakeSong::IsDefined(LONG* pDefined) {
    std::lock_guard<std::mutex> g(m_lock);
    *pDefined = m_defined;
    return S_OK;
}
HRESULT FakeSong::SetDefined(LONG bDefined) {
    std::lock_guard<std::mutex> g(m_lock);
    m_defined = bDefined != 0;
    return S_OK;
}

using Guard = std::lock_guard<std::recursive_mutex>;

std::vector<plat::ComPtr<FakeSong>> FakePlaylist::Songs() {
    Guard g(m_lock);
    return m_songs;
}
GUID FakePlaylist::Add(ULONG left, ULONG right, bool defined) {
    Guard g(m_lock);
    plat::ComPtr<FakeSong> song(FakeSong::CreateInstance());
    if (defined) song->SetLeftBorder(left);
    song->SetRightBorder(right);
    m_songs.push_back(song);
    GUID id{};
    song->GetID(&id);
    return id;
}
int FakePlaylist::SaveCount() {
    Guard g(m_lock);
    return m_saves;
}
int FakePlaylist::LoadCount() {
    Guard g(m_lock);
    return m_loads;
}
std::u16string FakePlaylist::Dir() {
    Guard g(m_lock);
    return m_dir;
}
HRESULT FakePlaylist::CreateNewSong(ISong** ppSong) {
    Guard g(m_lock);
    plat::ComPtr<FakeSong> song(FakeSong::CreateInstance());
    song->failRightBorder = failRightBorderOfNewSongs;
    m_songs.push_back(song);
    *ppSong = song.Get();
    (*ppSong)->AddRef();
    return S_OK;
}
HRESULT FakePlaylist::Count(ULONG* pCount) {
    Guard g(m_lock);
    *pCount = static_cast<ULONG>(m_songs.size());
    return S_OK;
}
HRESULT FakePlaylist::IsEmpty(LONG* pEmpty) {
    Guard g(m_lock);
    *pEmpty = m_songs.empty();
    return S_OK;
}
HRESULT FakePlaylist::Delete(GUID guid) {
    Guard g(m_lock);
    for (auto it = m_songs.begin(); it != m_songs.end(); ++it) {
        GUID id{};
        (*it)->GetID(&id);
        if (id == guid) {
            m_songs.erase(it);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}
HRESULT FakePlaylist::Clear() {
    Guard g(m_lock);
    m_songs.clear();
    return S_OK;
}
HRESULT FakePlaylist::Next(GUID* pGuid) {
    Guard g(m_lock);
    *pGuid = GUID_NULL;
    if (m_current + 1 >= m_songs.size()) return S_FALSE;
    ++m_current;
    return m_songs[m_current]->GetID(pGuid);
}
HRESULT FakePlaylist::Prev(GUID*) { return E_NOTIMPL; }
HRESULT FakePlaylist::First(GUID* pGuid) {
    Guard g(m_lock);
    m_current = 0;
    *pGuid = GUID_NULL;
    if (m_songs.empty()) return S_FALSE;
    return m_songs[0]->GetID(pGuid);
}
HRESULT FakePlaylist::Last(GUID*) { return E_NOTIMPL; }
HRESULT FakePlaylist::GetCurrentID(GUID*) { return E_NOTIMPL; }
HRESULT FakePlaylist::Get(GUID guid, ISong** ppSong) {
    Guard g(m_lock);
    *ppSong = nullptr;
    if (guid == GUID_NULL) return S_FALSE;
    for (auto& song : m_songs) {
        GUID id{};
        song->GetID(&id);
        if (id == guid) {
            *ppSong = song.Get();
            (*ppSong)->AddRef();
            return S_OK;
        }
    }
    return E_INVALIDARG;
}
HRESULT FakePlaylist::SetCurrentID(GUID) { return E_NOTIMPL; }
HRESULT FakePlaylist::GetPlaylist(VARIANT*) { return E_NOTIMPL; }
HRESULT FakePlaylist::Save() {
    Guard g(m_lock);
    ++m_saves;
    return S_OK;
}
HRESULT FakePlaylist::Load() {
    Guard g(m_lock);
    ++m_loads;
    return S_OK;
}
HRESULT FakePlaylist::SetPlayListDir(BSTR strDir) {
    Guard g(m_lock);
    m_dir = plat::BstrToU16(strDir);
    return S_OK;
}

std::vector<std::string> EventRecorder::Events() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_events;
}
size_t EventRecorder::Count(const std::string& prefix) {
    std::lock_guard<std::mutex> g(m_lock);
    return static_cast<size_t>(std::count_if(m_events.begin(), m_events.end(),
                                              [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
}
HRESULT EventRecorder::Add(std::string text) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_events.push_back(text);
        hook = m_onEvent;
    }
    // A client busy with the event, on the thread that delivers it.
    if (hook) hook(text);
    return result;
}
void EventRecorder::OnEvent(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> g(m_lock);
    m_onEvent = std::move(hook);
}
HRESULT EventRecorder::SongDetected(BSTR guid) { return Add("SongDetected " + plat::BstrToUtf8(guid)); }
HRESULT EventRecorder::CacheAlmostFull(UINT n) { return Add("CacheAlmostFull " + std::to_string(n)); }
HRESULT EventRecorder::SongDeleted(BSTR guid) { return Add("SongDeleted " + plat::BstrToUtf8(guid)); }
HRESULT EventRecorder::DiskAlmostFull(UINT n) { return Add("DiskAlmostFull " + std::to_string(n)); }
HRESULT EventRecorder::DiskFull() { return Add("DiskFull"); }
HRESULT EventRecorder::ClearPlayList() { return Add("ClearPlayList"); }
HRESULT EventRecorder::CacheLoaded(UINT n) { return Add("CacheLoaded " + std::to_string(n)); }
HRESULT EventRecorder::CacheLoading() { return Add("CacheLoading"); }
