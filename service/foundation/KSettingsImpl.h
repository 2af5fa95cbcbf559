#pragma once
// The service's stored settings record: 34 named members with their
// defaults, the settings file "QXSettings.dat" in the product's
// application-data folder, and the setters that check their values.
// The record has no lock of its own; its COM object (KSettings) guards it.
#include <string>

#include "platform/com/Bstr.h"
#include "service/foundation/KSerializable.h"

// Audio formats and bitrate types (consecutive values; the two bitrate types
// lie between FMT_WMA and FMT_AAC).
inline constexpr UINT FMT_MP3 = 0x3D3A2;
inline constexpr UINT FMT_OGG = 0x3D3A3;
inline constexpr UINT FMT_WMA = 0x3D3A4;
inline constexpr UINT BT_CBR = 0x3D3A5;
inline constexpr UINT BT_VBR = 0x3D3A6;
inline constexpr UINT FMT_AAC = 0x3D3A7;

class KSettingsImpl : public ser::KSerializable {
public:
    static constexpr const char16_t* kFileName = u"QXSettings.dat";

    KSettingsImpl();

    void DefineProperties() override;
    std::u16string GetClassName() const override { return u"KSettingsImpl"; }

    // Writes the whole record to the settings file; the file changes only
    // when the whole record was written.
    HRESULT Save();
    // Reads the settings file (or its backup) into the record. Members the
    // file does not hold keep their values. Anything short of a complete,
    // clean load is a failure, with the values that could be read kept.
    HRESULT Load();

    // Setters with checks; a refused value changes nothing and gives
    // E_INVALIDARG after its report.
    HRESULT SetAudioFormat(UINT nFormat);
    HRESULT SetCBR(UINT nCBR);
    HRESULT SetVBR(UINT nVBRMin, UINT nVBRMax);
    HRESULT SetBitrateType(UINT nBitrateType);
    // The reminder falls due at the local midnight that begins the day lying
    // dwPeriod days from now.
    HRESULT SetRemindUpdatePeriod(ULONG dwPeriod);
    // A folder ending with the separator (appended when missing); an empty
    // text is refused.
    HRESULT SetCacheDir(BSTR bstrDir);
    HRESULT SetAudioDevice(BSTR bstrDevice);
    HRESULT SetCaptureDevice(BSTR bstrDevice);
    // 1 when the reminder is on and due, else 0.
    LONG RemindUpdateStatus() const;

    // Members in declaration order (the stored names are the member names).
    std::u16string m_strCacheDir;
    UINT m_nBitrateType = BT_CBR;
    std::u16string m_strAudioDevice;
    std::u16string m_strCaptureDevice;
    BOOL m_bLowVolume = 1;
    BOOL m_bDeleteSilence = 1;
    BOOL m_bDropCache = 0;
    BOOL m_bAutoSplit = 1;
    UINT m_nMaxSongLength = 10;  // minutes
    BOOL m_bInterceptAudio = 0;
    BOOL m_bPlayLiveRecordDevice = 0;
    BOOL m_bWriteFromPlayDevice = 1;
    BOOL m_bWriteFromRecordDevice = 0;
    BOOL m_bWriteSilence = 0;
    BOOL m_bShowPlayList = 1;
    BOOL m_bAlwaysOnTop = 0;
    BOOL m_bUpdateRemind = 1;  // stored and loaded only
    BOOL m_bUpdateRemind2 = 1;
    int64_t m_cUpdateRemind = 0;  // seconds since 1970 (UTC)
    BOOL m_bRegistered = 0;
    ULONG m_dwCacheSize = 1800000;  // milliseconds
    UINT m_nAudioFormat = FMT_MP3;
    std::u16string m_strSettingsFileName;  // not stored
    UINT m_nCBR = 64;
    UINT m_nVBRMin = 64;
    UINT m_nVBRMax = 128;
    BOOL m_bOpenMain = 1;
    RECT m_cMainRect{0, 0, 0, 0};
    BOOL m_bOpenRadio = 0;
    BOOL m_bStickRadio = 1;
    RECT m_cRadioRect{0, 0, 0, 0};
    BOOL m_bOpenPlayList = 1;
    BOOL m_bStickPlayList = 1;
    RECT m_cPlayListRect{0, 0, 0, 0};
    BOOL m_bOpenGuide = 1;
};
