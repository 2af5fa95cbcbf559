#pragma once
// The service's settings with every setter logged (into the fake service's
// call log, so that settings and controller calls share one order) before it
// reaches the real settings object. A setter made to fail answers without
// storing; SaveSettings and LoadSettings are only logged, never touch a file.
#include <map>
#include <string>

#include "ipc/QXServiceLib.h"
#include "ipc/tests/support/CallLog.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace parvanetest {

class LoggingSettings final : public plat::ComObject<LoggingSettings, ISettings> {
public:
    LoggingSettings(ISettings* inner, ipctest::CallLog* log) : m_inner(inner), m_log(log) {}

    // Calls of method (its name) answer hr from now on. Of the getters only
    // GetRemindUpdateStatus can fail, and it is not logged.
    void Fail(const std::string& method, HRESULT hr) { m_failures[method] = hr; }

    HRESULT SaveSettings() override { return Log("SaveSettings"); }
    HRESULT LoadSettings() override { return Log("LoadSettings"); }
    HRESULT GetAudioFormat(UINT* pFormat) override { return m_inner->GetAudioFormat(pFormat); }
    HRESULT SetAudioFormat(UINT nFormat) override {
        HRESULT hr = Log(std::string("SetAudioFormat(") + Text(nFormat) + ")");
        return hr != S_OK ? hr : m_inner->SetAudioFormat(nFormat);
    }
    HRESULT SetCBR(UINT nCBR) override {
        HRESULT hr = Log(std::string("SetCBR(") + Text(nCBR) + ")");
        return hr != S_OK ? hr : m_inner->SetCBR(nCBR);
    }
    HRESULT GetCBR(UINT* pCBR) override { return m_inner->GetCBR(pCBR); }
    HRESULT SetVBR(UINT nVBRMin, UINT nVBRMax) override {
        HRESULT hr = Log(std::string("SetVBR(") + Text(nVBRMin) + "," + Text(nVBRMax) + ")");
        return hr != S_OK ? hr : m_inner->SetVBR(nVBRMin, nVBRMax);
    }
    HRESULT GetVBR(UINT* pVBRMin, UINT* pVBRMax) override { return m_inner->GetVBR(pVBRMin, pVBRMax); }
    HRESULT GetBitrateType(UINT* pBitrateType) override { return m_inner->GetBitrateType(pBitrateType); }
    HRESULT SetBitrateType(UINT nBitrateType) override {
        HRESULT hr = Log(std::string("SetBitrateType(") + Text(nBitrateType) + ")");
        return hr != S_OK ? hr : m_inner->SetBitrateType(nBitrateType);
    }
    HRESULT GetLowVolumeStartEndState(LONG* pbYes) override { return m_inner->GetLowVolumeStartEndState(pbYes); }
    HRESULT SetLowVolumeStartEndState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetLowVolumeStartEndState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetLowVolumeStartEndState(bYes);
    }
    HRESULT GetDeleteSilenceStartEndState(LONG* pbYes) override { return m_inner->GetDeleteSilenceStartEndState(pbYes); }
    HRESULT SetDeleteSilenceStartEndState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetDeleteSilenceStartEndState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetDeleteSilenceStartEndState(bYes);
    }
    HRESULT GetDropCacheOnExitState(LONG* pbYes) override { return m_inner->GetDropCacheOnExitState(pbYes); }
    HRESULT SetDropCacheOnExitState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetDropCacheOnExitState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetDropCacheOnExitState(bYes);
    }
    HRESULT GetAutoSplitSongsState(LONG* pbYes) override { return m_inner->GetAutoSplitSongsState(pbYes); }
    HRESULT SetAutoSplitSongsState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetAutoSplitSongsState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetAutoSplitSongsState(bYes);
    }
    HRESULT GetInterceptAudioAlwaysState(LONG* pbYes) override { return m_inner->GetInterceptAudioAlwaysState(pbYes); }
    HRESULT SetInterceptAudioAlwaysState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetInterceptAudioAlwaysState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetInterceptAudioAlwaysState(bYes);
    }
    HRESULT SetPlayLiveRecDeviceState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetPlayLiveRecDeviceState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetPlayLiveRecDeviceState(bYes);
    }
    HRESULT GetPlayLiveRecDeviceState(LONG* pbYes) override { return m_inner->GetPlayLiveRecDeviceState(pbYes); }
    HRESULT SetWriteFromPlayDeviceState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetWriteFromPlayDeviceState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetWriteFromPlayDeviceState(bYes);
    }
    HRESULT GetWriteFromPlayDeviceState(LONG* pbYes) override { return m_inner->GetWriteFromPlayDeviceState(pbYes); }
    HRESULT SetWriteFromRecordDeviceState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetWriteFromRecordDeviceState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetWriteFromRecordDeviceState(bYes);
    }
    HRESULT GetWriteFromRecordDeviceState(LONG* pbYes) override { return m_inner->GetWriteFromRecordDeviceState(pbYes); }
    HRESULT SetWriteSilenceState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetWriteSilenceState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetWriteSilenceState(bYes);
    }
    HRESULT GetWriteSilenceState(LONG* pbYes) override { return m_inner->GetWriteSilenceState(pbYes); }
    HRESULT GetShowPlaylistState(LONG* pbYes) override { return m_inner->GetShowPlaylistState(pbYes); }
    HRESULT SetShowPlaylistState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetShowPlaylistState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetShowPlaylistState(bYes);
    }
    HRESULT GetAlwaysOnTopState(LONG* pbYes) override { return m_inner->GetAlwaysOnTopState(pbYes); }
    HRESULT SetAlwaysOnTopState(LONG bYes) override {
        HRESULT hr = Log(std::string("SetAlwaysOnTopState(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetAlwaysOnTopState(bYes);
    }
    HRESULT GetCacheDir(BSTR* pstrDir) override { return m_inner->GetCacheDir(pstrDir); }
    HRESULT SetCacheDir(BSTR bstrDir) override {
        HRESULT hr = Log(std::string("SetCacheDir(") + Text(bstrDir) + ")");
        return hr != S_OK ? hr : m_inner->SetCacheDir(bstrDir);
    }
    HRESULT GetCacheSize(ULONG* pdwSize) override { return m_inner->GetCacheSize(pdwSize); }
    HRESULT SetCacheSize(ULONG dwSize) override {
        HRESULT hr = Log(std::string("SetCacheSize(") + Text(dwSize) + ")");
        return hr != S_OK ? hr : m_inner->SetCacheSize(dwSize);
    }
    HRESULT GetAudioDevice(BSTR* pstrDevice) override { return m_inner->GetAudioDevice(pstrDevice); }
    HRESULT SetAudioDevice(BSTR bstrDevice) override {
        HRESULT hr = Log(std::string("SetAudioDevice(") + Text(bstrDevice) + ")");
        return hr != S_OK ? hr : m_inner->SetAudioDevice(bstrDevice);
    }
    HRESULT GetCaptureDevice(BSTR* pstrDevice) override { return m_inner->GetCaptureDevice(pstrDevice); }
    HRESULT SetCaptureDevice(BSTR bstrDevice) override {
        HRESULT hr = Log(std::string("SetCaptureDevice(") + Text(bstrDevice) + ")");
        return hr != S_OK ? hr : m_inner->SetCaptureDevice(bstrDevice);
    }
    HRESULT SetRemindUpdateStatus(LONG bYes) override {
        HRESULT hr = Log(std::string("SetRemindUpdateStatus(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetRemindUpdateStatus(bYes);
    }
    HRESULT GetRemindUpdateStatus(LONG* pbYes) override {
        auto it = m_failures.find("GetRemindUpdateStatus");
        return it != m_failures.end() && it->second != S_OK ? it->second : m_inner->GetRemindUpdateStatus(pbYes);
    }
    HRESULT SetRemindUpdatePeriod(ULONG dwPeriod) override {
        HRESULT hr = Log(std::string("SetRemindUpdatePeriod(") + Text(dwPeriod) + ")");
        return hr != S_OK ? hr : m_inner->SetRemindUpdatePeriod(dwPeriod);
    }
    HRESULT GetRegistered(LONG* pbYes) override { return m_inner->GetRegistered(pbYes); }
    HRESULT SetRegistered(LONG bYes) override {
        HRESULT hr = Log(std::string("SetRegistered(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetRegistered(bYes);
    }
    HRESULT GetMaxSongLength(UINT* pnMaxSongLength) override { return m_inner->GetMaxSongLength(pnMaxSongLength); }
    HRESULT SetMaxSongLength(UINT nMaxSongLength) override {
        HRESULT hr = Log(std::string("SetMaxSongLength(") + Text(nMaxSongLength) + ")");
        return hr != S_OK ? hr : m_inner->SetMaxSongLength(nMaxSongLength);
    }
    HRESULT GetMainRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) override { return m_inner->GetMainRect(pnLeft, pnTop, pnRight, pnBottom); }
    HRESULT SetMainRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) override {
        HRESULT hr = Log(std::string("SetMainRect(") + Text(nLeft) + "," + Text(nTop) + "," + Text(nRight) + "," + Text(nBottom) + ")");
        return hr != S_OK ? hr : m_inner->SetMainRect(nLeft, nTop, nRight, nBottom);
    }
    HRESULT GetOpenMain(LONG* pbYes) override { return m_inner->GetOpenMain(pbYes); }
    HRESULT SetOpenMain(LONG bYes) override {
        HRESULT hr = Log(std::string("SetOpenMain(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetOpenMain(bYes);
    }
    HRESULT GetRadioRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) override { return m_inner->GetRadioRect(pnLeft, pnTop, pnRight, pnBottom); }
    HRESULT SetRadioRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) override {
        HRESULT hr = Log(std::string("SetRadioRect(") + Text(nLeft) + "," + Text(nTop) + "," + Text(nRight) + "," + Text(nBottom) + ")");
        return hr != S_OK ? hr : m_inner->SetRadioRect(nLeft, nTop, nRight, nBottom);
    }
    HRESULT GetOpenRadio(LONG* pbYes) override { return m_inner->GetOpenRadio(pbYes); }
    HRESULT SetOpenRadio(LONG bYes) override {
        HRESULT hr = Log(std::string("SetOpenRadio(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetOpenRadio(bYes);
    }
    HRESULT GetStickRadio(LONG* pbYes) override { return m_inner->GetStickRadio(pbYes); }
    HRESULT SetStickRadio(LONG bYes) override {
        HRESULT hr = Log(std::string("SetStickRadio(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetStickRadio(bYes);
    }
    HRESULT GetPlayListRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) override { return m_inner->GetPlayListRect(pnLeft, pnTop, pnRight, pnBottom); }
    HRESULT SetPlayListRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) override {
        HRESULT hr = Log(std::string("SetPlayListRect(") + Text(nLeft) + "," + Text(nTop) + "," + Text(nRight) + "," + Text(nBottom) + ")");
        return hr != S_OK ? hr : m_inner->SetPlayListRect(nLeft, nTop, nRight, nBottom);
    }
    HRESULT GetOpenPlayList(LONG* pbYes) override { return m_inner->GetOpenPlayList(pbYes); }
    HRESULT SetOpenPlayList(LONG bYes) override {
        HRESULT hr = Log(std::string("SetOpenPlayList(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetOpenPlayList(bYes);
    }
    HRESULT GetStickPlayList(LONG* pbYes) override { return m_inner->GetStickPlayList(pbYes); }
    HRESULT SetStickPlayList(LONG bYes) override {
        HRESULT hr = Log(std::string("SetStickPlayList(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetStickPlayList(bYes);
    }
    HRESULT GetOpenGuide(LONG* pbYes) override { return m_inner->GetOpenGuide(pbYes); }
    HRESULT SetOpenGuide(LONG bYes) override {
        HRESULT hr = Log(std::string("SetOpenGuide(") + Text(bYes) + ")");
        return hr != S_OK ? hr : m_inner->SetOpenGuide(bYes);
    }
private:
    static std::string Text(LONG v) { return std::to_string(v); }
    static std::string Text(ULONG v) { return std::to_string(v); }
    static std::string Text(BSTR v) { return plat::BstrToUtf8(v); }
    HRESULT Log(const std::string& call) {
        m_log->Add(call);
        auto it = m_failures.find(call.substr(0, call.find('(')));
        return it == m_failures.end() ? S_OK : it->second;
    }

    plat::ComPtr<ISettings> m_inner;
    ipctest::CallLog* m_log;
    std::map<std::string, HRESULT> m_failures;
};

}  // namespace parvanetest
