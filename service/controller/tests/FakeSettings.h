#pragma once
// Settings held in memory, with the defaults of the real settings object, and
// failures on request for the getters the controller reads.
#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"

class FakeSettings final : public plat::ComObject<FakeSettings, ISettings> {
public:
    // Values (set by tests before or while the controller runs).
    std::atomic<LONG> autoSplit{1}, interceptAlways{0}, playLiveRec{0}, writeFromPlay{1}, writeFromRecord{0},
        writeSilence{0};
    std::atomic<ULONG> cacheSize{1800000};
    std::atomic<UINT> maxSongLength{10};

    std::u16string CacheDir();
    std::u16string AudioDevice();
    std::u16string CaptureDevice();
    void SetStrings(const std::u16string& cacheDir, const std::u16string& audio, const std::u16string& capture);
    // The named getter fails with E_FAIL from now on.
    void Fail(const std::string& getter);
    int Loads() const { return m_loads; }
    // Called at the start of every GetCacheDir, on the caller's thread.
    void OnGetCacheDir(std::function<void()> hook);

    HRESULT SaveSettings() override { return S_OK; }
    HRESULT LoadSettings() override;
    HRESULT GetAudioFormat(UINT* p) override { *p = 0x3D3A2; return S_OK; }
    HRESULT SetAudioFormat(UINT) override { return S_OK; }
    HRESULT SetCBR(UINT) override { return S_OK; }
    HRESULT GetCBR(UINT* p) override { *p = 64; return S_OK; }
    HRESULT SetVBR(UINT, UINT) override { return S_OK; }
    HRESULT GetVBR(UINT* a, UINT* b) override { *a = 64; *b = 128; return S_OK; }
    HRESULT GetBitrateType(UINT* p) override { *p = 0x3D3A5; return S_OK; }
    HRESULT SetBitrateType(UINT) override { return S_OK; }
    HRESULT GetLowVolumeStartEndState(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetLowVolumeStartEndState(LONG) override { return S_OK; }
    HRESULT GetDeleteSilenceStartEndState(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetDeleteSilenceStartEndState(LONG) override { return S_OK; }
    HRESULT GetDropCacheOnExitState(LONG* p) override { *p = 0; return S_OK; }
    HRESULT SetDropCacheOnExitState(LONG) override { return S_OK; }
    HRESULT GetAutoSplitSongsState(LONG* p) override { return Get("AutoSplit", autoSplit, p); }
    HRESULT SetAutoSplitSongsState(LONG v) override { autoSplit = v; return S_OK; }
    HRESULT GetInterceptAudioAlwaysState(LONG* p) override { return Get("InterceptAlways", interceptAlways, p); }
    HRESULT SetInterceptAudioAlwaysState(LONG v) override { interceptAlways = v; return S_OK; }
    HRESULT SetPlayLiveRecDeviceState(LONG v) override { playLiveRec = v; return S_OK; }
    HRESULT GetPlayLiveRecDeviceState(LONG* p) override { return Get("PlayLiveRec", playLiveRec, p); }
    HRESULT SetWriteFromPlayDeviceState(LONG v) override { writeFromPlay = v; return S_OK; }
    HRESULT GetWriteFromPlayDeviceState(LONG* p) override { return Get("WriteFromPlay", writeFromPlay, p); }
    HRESULT SetWriteFromRecordDeviceState(LONG v) override { writeFromRecord = v; return S_OK; }
    HRESULT GetWriteFromRecordDeviceState(LONG* p) override { return Get("WriteFromRecord", writeFromRecord, p); }
    HRESULT SetWriteSilenceState(LONG v) override { writeSilence = v; return S_OK; }
    HRESULT GetWriteSilenceState(LONG* p) override { return Get("WriteSilence", writeSilence, p); }
    HRESULT GetShowPlaylistState(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetShowPlaylistState(LONG) override { return S_OK; }
    HRESULT GetAlwaysOnTopState(LONG* p) override { *p = 0; return S_OK; }
    HRESULT SetAlwaysOnTopState(LONG) override { return S_OK; }
    HRESULT GetCacheDir(BSTR* p) override;
    HRESULT SetCacheDir(BSTR v) override;
    HRESULT GetCacheSize(ULONG* p) override;
    HRESULT SetCacheSize(ULONG v) override { cacheSize = v; return S_OK; }
    HRESULT GetAudioDevice(BSTR* p) override;
    HRESULT SetAudioDevice(BSTR v) override;
    HRESULT GetCaptureDevice(BSTR* p) override;
    HRESULT SetCaptureDevice(BSTR v) override;
    HRESULT SetRemindUpdateStatus(LONG) override { return S_OK; }
    HRESULT GetRemindUpdateStatus(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetRemindUpdatePeriod(ULONG) override { return S_OK; }
    HRESULT GetRegistered(LONG* p) override { *p = 0; return S_OK; }
    HRESULT SetRegistered(LONG) override { return S_OK; }
    HRESULT GetMaxSongLength(UINT* p) override;
    HRESULT SetMaxSongLength(UINT v) override { maxSongLength = v; return S_OK; }
    HRESULT GetMainRect(LONG*, LONG*, LONG*, LONG*) override { return S_OK; }
    HRESULT SetMainRect(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT GetOpenMain(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetOpenMain(LONG) override { return S_OK; }
    HRESULT GetRadioRect(LONG*, LONG*, LONG*, LONG*) override { return S_OK; }
    HRESULT SetRadioRect(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT GetOpenRadio(LONG* p) override { *p = 0; return S_OK; }
    HRESULT SetOpenRadio(LONG) override { return S_OK; }
    HRESULT GetStickRadio(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetStickRadio(LONG) override { return S_OK; }
    HRESULT GetPlayListRect(LONG*, LONG*, LONG*, LONG*) override { return S_OK; }
    HRESULT SetPlayListRect(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT GetOpenPlayList(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetOpenPlayList(LONG) override { return S_OK; }
    HRESULT GetStickPlayList(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetStickPlayList(LONG) override { return S_OK; }
    HRESULT GetOpenGuide(LONG* p) override { *p = 1; return S_OK; }
    HRESULT SetOpenGuide(LONG) override { return S_OK; }

private:
    bool Fails(const std::string& getter);
    HRESULT Get(const std::string& getter, const std::atomic<LONG>& value, LONG* p);

    std::mutex m_lock;
    std::set<std::string> m_failing;
    std::function<void()> m_onGetCacheDir;
    std::u16string m_cacheDir = u"/tmp/";
    std::u16string m_audioDevice;
    std::u16string m_captureDevice;
    std::atomic<int> m_loads{0};
};
