#pragma once
// The service's settings held in memory, for the bus tests: the same record,
// defaults and answers as the service's settings object (a refused value
// changes nothing and answers E_INVALIDARG, a null out-pointer E_POINTER), but
// SaveSettings keeps a copy in memory in place of the settings file, and
// LoadSettings reads that copy back (E_FAIL when nothing was saved, as when
// the file is missing).
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"

namespace ipctest {

// The flags of the record with their defaults.
#define IPCTEST_SETTING_FLAGS(X)                                                                           \
    X(LowVolumeStartEndState, 1) X(DeleteSilenceStartEndState, 1) X(DropCacheOnExitState, 0)               \
    X(AutoSplitSongsState, 1) X(InterceptAudioAlwaysState, 0) X(PlayLiveRecDeviceState, 0)                 \
    X(WriteFromPlayDeviceState, 1) X(WriteFromRecordDeviceState, 0) X(WriteSilenceState, 0)                \
    X(ShowPlaylistState, 1) X(AlwaysOnTopState, 0) X(Registered, 0) X(OpenMain, 1) X(OpenRadio, 0)         \
    X(StickRadio, 1) X(OpenPlayList, 1) X(StickPlayList, 1) X(OpenGuide, 1)
// The rectangles (all four sides 0 by default).
#define IPCTEST_SETTING_RECTS(X) X(MainRect) X(RadioRect) X(PlayListRect)

class FakeSettings final : public plat::ComObject<FakeSettings, ISettings> {
public:
    using Rect = std::array<LONG, 4>;
    struct Record {
#define IPCTEST_FLAG_MEMBER(name, value) LONG name = value;
        IPCTEST_SETTING_FLAGS(IPCTEST_FLAG_MEMBER)
#undef IPCTEST_FLAG_MEMBER
#define IPCTEST_RECT_MEMBER(name) Rect name{};
        IPCTEST_SETTING_RECTS(IPCTEST_RECT_MEMBER)
#undef IPCTEST_RECT_MEMBER
        UINT audioFormat = 0x3D3A2;  // MP3
        UINT bitrateType = 0x3D3A5;  // constant
        UINT cbr = 64, vbrMin = 64, vbrMax = 128;
        UINT maxSongLength = 10;      // minutes
        ULONG cacheSize = 1800000;    // milliseconds
        LONG remindUpdate = 1;
        int64_t remindDue = 0;  // seconds since 1970 (UTC)
        std::u16string cacheDir, audioDevice, captureDevice;
    };

    FakeSettings();

    HRESULT SaveSettings() override;
    HRESULT LoadSettings() override;

#define IPCTEST_FLAG_METHODS(name, value)                                        \
    HRESULT Get##name(LONG* pbYes) override { return Read(pbYes, &Record::name); } \
    HRESULT Set##name(LONG bYes) override { return Write(&Record::name, bYes); }
    IPCTEST_SETTING_FLAGS(IPCTEST_FLAG_METHODS)
#undef IPCTEST_FLAG_METHODS
#define IPCTEST_RECT_METHODS(name)                                                             \
    HRESULT Get##name(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) override {     \
        return ReadRect(&Record::name, pnLeft, pnTop, pnRight, pnBottom);                      \
    }                                                                                          \
    HRESULT Set##name(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) override {             \
        return Write(&Record::name, Rect{nLeft, nTop, nRight, nBottom});                       \
    }
    IPCTEST_SETTING_RECTS(IPCTEST_RECT_METHODS)
#undef IPCTEST_RECT_METHODS

    HRESULT GetAudioFormat(UINT* pFormat) override { return Read(pFormat, &Record::audioFormat); }
    HRESULT SetAudioFormat(UINT nFormat) override;
    HRESULT GetCBR(UINT* pCBR) override { return Read(pCBR, &Record::cbr); }
    HRESULT SetCBR(UINT nCBR) override;
    HRESULT GetVBR(UINT* pVBRMin, UINT* pVBRMax) override;
    HRESULT SetVBR(UINT nVBRMin, UINT nVBRMax) override;
    HRESULT GetBitrateType(UINT* pBitrateType) override { return Read(pBitrateType, &Record::bitrateType); }
    HRESULT SetBitrateType(UINT nBitrateType) override;
    HRESULT GetMaxSongLength(UINT* p) override { return Read(p, &Record::maxSongLength); }
    HRESULT SetMaxSongLength(UINT n) override { return Write(&Record::maxSongLength, n); }
    HRESULT GetCacheSize(ULONG* p) override { return Read(p, &Record::cacheSize); }
    HRESULT SetCacheSize(ULONG n) override { return Write(&Record::cacheSize, n); }
    HRESULT GetCacheDir(BSTR* p) override { return ReadText(p, &Record::cacheDir); }
    HRESULT SetCacheDir(BSTR bstrDir) override;
    HRESULT GetAudioDevice(BSTR* p) override { return ReadText(p, &Record::audioDevice); }
    HRESULT SetAudioDevice(BSTR b) override { return WriteText(&Record::audioDevice, b); }
    HRESULT GetCaptureDevice(BSTR* p) override { return ReadText(p, &Record::captureDevice); }
    HRESULT SetCaptureDevice(BSTR b) override { return WriteText(&Record::captureDevice, b); }
    // On and due.
    HRESULT GetRemindUpdateStatus(LONG* pbYes) override;
    HRESULT SetRemindUpdateStatus(LONG bYes) override { return Write(&Record::remindUpdate, bYes); }
    // Due at the local midnight that begins the day dwPeriod days from now;
    // a day count that is negative as a signed number is refused.
    HRESULT SetRemindUpdatePeriod(ULONG dwPeriod) override;

    // The record as it is now (for tests that look behind the interface).
    Record Snapshot();

private:
    template <class T>
    HRESULT Read(T* out, T Record::*field) {
        if (!out) return E_POINTER;
        std::lock_guard lock(m_mutex);
        *out = m_record.*field;
        return S_OK;
    }
    template <class T>
    HRESULT Write(T Record::*field, T value) {
        std::lock_guard lock(m_mutex);
        m_record.*field = value;
        return S_OK;
    }
    HRESULT ReadRect(Rect Record::*field, LONG* left, LONG* top, LONG* right, LONG* bottom);
    HRESULT ReadText(BSTR* out, std::u16string Record::*field);
    HRESULT WriteText(std::u16string Record::*field, BSTR value);

    std::mutex m_mutex;
    Record m_record;
    std::optional<Record> m_saved;  // what the last save kept
};

}  // namespace ipctest
