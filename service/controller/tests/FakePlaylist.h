#pragma once
// A playlist in memory with songs that keep their borders, as the controller
// uses them; and an event sink that records what the controller tells.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

class FakeSong final : public plat::ComObject<FakeSong, ISong> {
public:
    FakeSong();
    HRESULT GetBorders(ULONG* pLeft, ULONG* pRight) override;
    HRESULT SetLeftBorder(ULONG dwLeft) override;
    HRESULT SetRightBorder(ULONG dwRight) override;
    HRESULT GetID3Tag(ID3** ppId3) override;
    HRESULT GetID(GUID* pGuid) override;
    HRESULT GetLength(ULONG* pLength) override;
    HRESULT Rename(BSTR bstrNewName) override;
    HRESULT IsDefined(LONG* pDefined) override;
    HRESULT SetDefined(LONG bDefined) override;

    bool failRightBorder = false;

private:
    std::mutex m_lock;
    GUID m_guid{};
    ULONG m_left = 0;
    ULONG m_right = 0;
    bool m_defined = false;
};

class FakePlaylist final : public plat::ComObject<FakePlaylist, IPlayList> {
public:
    // Test view and controls.
    std::vector<plat::ComPtr<FakeSong>> Songs();
    // Adds a song with the given borders (defined unless told otherwise).
    GUID Add(ULONG left, ULONG right, bool defined = true);
    int SaveCount();
    int LoadCount();
    std::u16string Dir();
    bool failRightBorderOfNewSongs = false;

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
    HRESULT Get(GUID guid, ISong** ppSong) override;
    HRESULT SetCurrentID(GUID guid) override;
    HRESULT GetPlaylist(VARIANT* aSongs) override;
    HRESULT Save() override;
    HRESULT Load() override;
    HRESULT SetPlayListDir(BSTR strDir) override;

private:
    std::recursive_mutex m_lock;
    std::vector<plat::ComPtr<FakeSong>> m_songs;
    size_t m_current = 0;
    int m_saves = 0;
    int m_loads = 0;
    std::u16string m_dir;
};

class EventRecorder final : public plat::ComObject<EventRecorder, _IAudioControllerEvents> {
public:
    std::vector<std::string> Events();
    size_t Count(const std::string& prefix);

    HRESULT SongDetected(BSTR guid) override;
    HRESULT CacheAlmostFull(UINT nMinutesTo) override;
    HRESULT SongDeleted(BSTR guid) override;
    HRESULT DiskAlmostFull(UINT nMinutesTo) override;
    HRESULT DiskFull() override;
    HRESULT ClearPlayList() override;
    HRESULT CacheLoaded(UINT nNewCacheSize) override;
    HRESULT CacheLoading() override;

    HRESULT result = S_OK;  // what every handler answers
    // Runs on the delivering thread after each event is noted.
    void OnEvent(std::function<void(const std::string&)> hook);

private:
    HRESULT Add(std::string text);
    std::mutex m_lock;
    std::vector<std::string> m_events;
    std::function<void(const std::string&)> m_onEvent;
};
