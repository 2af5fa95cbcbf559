#pragma once
// The engine's contract: the interfaces of the type library QXServiceLib, their
// identifiers, enumerations and the wave-format record. Both the service's
// objects and the proxies of other processes implement these, so client code
// is written once against them. Methods are declared in slot order; every
// method returns an HRESULT.
#include "platform/com/Bstr.h"
#include "platform/com/Unknown.h"
#include "platform/com/Variant.h"
#include "platform/core/WaveFormat.h"

// {236A9138-44A6-4158-A269-35FF372DADE1}
inline constexpr GUID LIBID_QXServiceLib{0x236A9138, 0x44A6, 0x4158, {0xA2, 0x69, 0x35, 0xFF, 0x37, 0x2D, 0xAD, 0xE1}};
// {BA7EAF75-D150-46DE-BF26-95A4D50335AB}
inline constexpr CLSID CLSID_AudioController{0xBA7EAF75, 0xD150, 0x46DE, {0xBF, 0x26, 0x95, 0xA4, 0xD5, 0x03, 0x35, 0xAB}};
// {F6EAFFC8-A35D-4471-92A3-74A4673C8C54}
inline constexpr GUID APPID_QXService{0xF6EAFFC8, 0xA35D, 0x4471, {0x92, 0xA3, 0x74, 0xA4, 0x67, 0x3C, 0x8C, 0x54}};

enum EBasicPosition : int32_t { posStart = 0, posEnd = 1, posCurrent = 2 };

enum EState : int32_t {
    _esNull = 0,
    _esLive = 1,
    _esReplay = 2,
    _esPlay = 4,
    _esPause = 8,
    _esRec = 16,
    _esStop = 32,
    _esAtFirstPos = 64,
    _esAtLastPos = 128,
};

enum ECommand : int32_t {
    _ecNull = 0,
    _ecPlay = 1,
    _ecPause = 2,
    _ecLive = 4,
    _ecRec = 8,
    _ecStop = 16,
    _ecSkip = 32,
    _ecBack = 64,
};

enum EEncoderType : int32_t { eMP3 = 0, eOGG = 1, eWMA = 2, eAAC = 3 };

// The 18-byte wave-format record (packed, little-endian fields): the same
// record the sound layer takes.
using OWAVEFORMATEX = plat::WaveFormat;

inline constexpr WORD WAVE_FORMAT_PCM = plat::kWaveFormatPcm;

// {C2D442BC-18AB-4CFC-AAB5-B9F391BDA65E}
inline constexpr IID IID_ID3{0xC2D442BC, 0x18AB, 0x4CFC, {0xAA, 0xB5, 0xB9, 0xF3, 0x91, 0xBD, 0xA6, 0x5E}};
struct ID3 : IUnknown {
    static constexpr const IID& kIID = IID_ID3;
    virtual HRESULT SetTrackNumber(UINT nTrack) = 0;  // 3
    virtual HRESULT GetTrackNumber(UINT* pnTrack) = 0;  // 4
    virtual HRESULT SetArtist(BSTR bstrArtist) = 0;  // 5
    virtual HRESULT GetArtist(BSTR* pstrArtist) = 0;  // 6
    virtual HRESULT SetTitle(BSTR bstrTitle) = 0;  // 7
    virtual HRESULT GetTitle(BSTR* pstrTitle) = 0;  // 8
    virtual HRESULT SetAlbum(BSTR bstrAlbum) = 0;  // 9
    virtual HRESULT GetAlbum(BSTR* pstrAlbum) = 0;  // 10
    virtual HRESULT SetGenre(BSTR bstrGenre) = 0;  // 11
    virtual HRESULT GetGenre(BSTR* pstrGenre) = 0;  // 12
    virtual HRESULT SetYear(UINT nYear) = 0;  // 13
    virtual HRESULT GetYear(UINT* pnYear) = 0;  // 14
};

// {6DF3FD0A-B148-4341-A361-F690F5E92CAD}
inline constexpr IID IID_ISong{0x6DF3FD0A, 0xB148, 0x4341, {0xA3, 0x61, 0xF6, 0x90, 0xF5, 0xE9, 0x2C, 0xAD}};
struct ISong : IUnknown {
    static constexpr const IID& kIID = IID_ISong;
    virtual HRESULT GetBorders(ULONG* pLeft, ULONG* pRight) = 0;  // 3
    virtual HRESULT SetLeftBorder(ULONG dwLeft) = 0;  // 4
    virtual HRESULT SetRightBorder(ULONG dwRight) = 0;  // 5
    virtual HRESULT GetID3Tag(ID3** ppId3) = 0;  // 6
    virtual HRESULT GetID(GUID* pGuid) = 0;  // 7
    virtual HRESULT GetLength(ULONG* pLength) = 0;  // 8
    virtual HRESULT Rename(BSTR bstrNewName) = 0;  // 9
    virtual HRESULT IsDefined(LONG* pDefined) = 0;  // 10
    virtual HRESULT SetDefined(LONG bDefined) = 0;  // 11
};

// {6C4222B8-F032-4993-97E9-E6E72CBB1469}
inline constexpr IID IID_IPlayList{0x6C4222B8, 0xF032, 0x4993, {0x97, 0xE9, 0xE6, 0xE7, 0x2C, 0xBB, 0x14, 0x69}};
struct IPlayList : IUnknown {
    static constexpr const IID& kIID = IID_IPlayList;
    virtual HRESULT CreateNewSong(ISong** ppSong) = 0;  // 3
    virtual HRESULT Count(ULONG* pCount) = 0;  // 4
    virtual HRESULT IsEmpty(LONG* pEmpty) = 0;  // 5
    virtual HRESULT Delete(GUID guid) = 0;  // 6
    virtual HRESULT Clear() = 0;  // 7
    virtual HRESULT Next(GUID* pGuid) = 0;  // 8
    virtual HRESULT Prev(GUID* pGuid) = 0;  // 9
    virtual HRESULT First(GUID* pGuid) = 0;  // 10
    virtual HRESULT Last(GUID* pGuid) = 0;  // 11
    virtual HRESULT GetCurrentID(GUID* pGuid) = 0;  // 12
    virtual HRESULT Get(GUID guid, ISong** ppSong) = 0;  // 13
    virtual HRESULT SetCurrentID(GUID guid) = 0;  // 14
    virtual HRESULT GetPlaylist(VARIANT* aSongs) = 0;  // 15
    virtual HRESULT Save() = 0;  // 16
    virtual HRESULT Load() = 0;  // 17
    virtual HRESULT SetPlayListDir(BSTR strDir) = 0;  // 18
};

// {EC98F36E-7E99-4ADB-BDFA-5AE696F1E5D7}
inline constexpr IID IID_ISettings{0xEC98F36E, 0x7E99, 0x4ADB, {0xBD, 0xFA, 0x5A, 0xE6, 0x96, 0xF1, 0xE5, 0xD7}};
struct ISettings : IUnknown {
    static constexpr const IID& kIID = IID_ISettings;
    virtual HRESULT SaveSettings() = 0;  // 3
    virtual HRESULT LoadSettings() = 0;  // 4
    virtual HRESULT GetAudioFormat(UINT* pFormat) = 0;  // 5
    virtual HRESULT SetAudioFormat(UINT nFormat) = 0;  // 6
    virtual HRESULT SetCBR(UINT nCBR) = 0;  // 7
    virtual HRESULT GetCBR(UINT* pCBR) = 0;  // 8
    virtual HRESULT SetVBR(UINT nVBRMin, UINT nVBRMax) = 0;  // 9
    virtual HRESULT GetVBR(UINT* pVBRMin, UINT* pVBRMax) = 0;  // 10
    virtual HRESULT GetBitrateType(UINT* pBitrateType) = 0;  // 11
    virtual HRESULT SetBitrateType(UINT nBitrateType) = 0;  // 12
    virtual HRESULT GetLowVolumeStartEndState(LONG* pbYes) = 0;  // 13
    virtual HRESULT SetLowVolumeStartEndState(LONG bYes) = 0;  // 14
    virtual HRESULT GetDeleteSilenceStartEndState(LONG* pbYes) = 0;  // 15
    virtual HRESULT SetDeleteSilenceStartEndState(LONG bYes) = 0;  // 16
    virtual HRESULT GetDropCacheOnExitState(LONG* pbYes) = 0;  // 17
    virtual HRESULT SetDropCacheOnExitState(LONG bYes) = 0;  // 18
    virtual HRESULT GetAutoSplitSongsState(LONG* pbYes) = 0;  // 19
    virtual HRESULT SetAutoSplitSongsState(LONG bYes) = 0;  // 20
    virtual HRESULT GetInterceptAudioAlwaysState(LONG* pbYes) = 0;  // 21
    virtual HRESULT SetInterceptAudioAlwaysState(LONG bYes) = 0;  // 22
    virtual HRESULT SetPlayLiveRecDeviceState(LONG bYes) = 0;  // 23
    virtual HRESULT GetPlayLiveRecDeviceState(LONG* pbYes) = 0;  // 24
    virtual HRESULT SetWriteFromPlayDeviceState(LONG bYes) = 0;  // 25
    virtual HRESULT GetWriteFromPlayDeviceState(LONG* pbYes) = 0;  // 26
    virtual HRESULT SetWriteFromRecordDeviceState(LONG bYes) = 0;  // 27
    virtual HRESULT GetWriteFromRecordDeviceState(LONG* pbYes) = 0;  // 28
    virtual HRESULT SetWriteSilenceState(LONG bYes) = 0;  // 29
    virtual HRESULT GetWriteSilenceState(LONG* pbYes) = 0;  // 30
    virtual HRESULT GetShowPlaylistState(LONG* pbYes) = 0;  // 31
    virtual HRESULT SetShowPlaylistState(LONG bYes) = 0;  // 32
    virtual HRESULT GetAlwaysOnTopState(LONG* pbYes) = 0;  // 33
    virtual HRESULT SetAlwaysOnTopState(LONG bYes) = 0;  // 34
    virtual HRESULT GetCacheDir(BSTR* pstrDir) = 0;  // 35
    virtual HRESULT SetCacheDir(BSTR bstrDir) = 0;  // 36
    virtual HRESULT GetCacheSize(ULONG* pdwSize) = 0;  // 37
    virtual HRESULT SetCacheSize(ULONG dwSize) = 0;  // 38
    virtual HRESULT GetAudioDevice(BSTR* pstrDevice) = 0;  // 39
    virtual HRESULT SetAudioDevice(BSTR bstrDevice) = 0;  // 40
    virtual HRESULT GetCaptureDevice(BSTR* pstrDevice) = 0;  // 41
    virtual HRESULT SetCaptureDevice(BSTR bstrDevice) = 0;  // 42
    virtual HRESULT SetRemindUpdateStatus(LONG bYes) = 0;  // 43
    virtual HRESULT GetRemindUpdateStatus(LONG* pbYes) = 0;  // 44
    virtual HRESULT SetRemindUpdatePeriod(ULONG dwPeriod) = 0;  // 45
    virtual HRESULT GetRegistered(LONG* pbYes) = 0;  // 46
    virtual HRESULT SetRegistered(LONG bYes) = 0;  // 47
    virtual HRESULT GetMaxSongLength(UINT* pnMaxSongLength) = 0;  // 48
    virtual HRESULT SetMaxSongLength(UINT nMaxSongLength) = 0;  // 49
    virtual HRESULT GetMainRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) = 0;  // 50
    virtual HRESULT SetMainRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) = 0;  // 51
    virtual HRESULT GetOpenMain(LONG* pbYes) = 0;  // 52
    virtual HRESULT SetOpenMain(LONG bYes) = 0;  // 53
    virtual HRESULT GetRadioRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) = 0;  // 54
    virtual HRESULT SetRadioRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) = 0;  // 55
    virtual HRESULT GetOpenRadio(LONG* pbYes) = 0;  // 56
    virtual HRESULT SetOpenRadio(LONG bYes) = 0;  // 57
    virtual HRESULT GetStickRadio(LONG* pbYes) = 0;  // 58
    virtual HRESULT SetStickRadio(LONG bYes) = 0;  // 59
    virtual HRESULT GetPlayListRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) = 0;  // 60
    virtual HRESULT SetPlayListRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) = 0;  // 61
    virtual HRESULT GetOpenPlayList(LONG* pbYes) = 0;  // 62
    virtual HRESULT SetOpenPlayList(LONG bYes) = 0;  // 63
    virtual HRESULT GetStickPlayList(LONG* pbYes) = 0;  // 64
    virtual HRESULT SetStickPlayList(LONG bYes) = 0;  // 65
    virtual HRESULT GetOpenGuide(LONG* pbYes) = 0;  // 66
    virtual HRESULT SetOpenGuide(LONG bYes) = 0;  // 67
};

// {5E68D810-E565-4607-B290-6A36F3CF5F6C}
inline constexpr IID IID_ICache{0x5E68D810, 0xE565, 0x4607, {0xB2, 0x90, 0x6A, 0x36, 0xF3, 0xCF, 0x5F, 0x6C}};
struct ICache : IUnknown {
    static constexpr const IID& kIID = IID_ICache;
    virtual HRESULT SetSize(ULONGLONG llSize) = 0;  // 3
    virtual HRESULT GetSize(ULONGLONG* pSize) = 0;  // 4
    virtual HRESULT GetFileMaxSize(ULONG* pSize) = 0;  // 5
    virtual HRESULT IsEmpty(LONG* pYes) = 0;  // 6
    virtual HRESULT IsFull(LONG* pYes) = 0;  // 7
    virtual HRESULT GetPercentFullness(BYTE* pPercent) = 0;  // 8
    virtual HRESULT GetTimeFullness(ULONGLONG* pBytes) = 0;  // 9
    virtual HRESULT GetByteFullness(ULONGLONG* pBytes) = 0;  // 10
    virtual HRESULT GetStartReadPos(ULONGLONG* pPos) = 0;  // 11
    virtual HRESULT GetReadPos(ULONGLONG* pPos) = 0;  // 12
    virtual HRESULT GetReadPosEx(UINT nIndex, ULONGLONG* pPos) = 0;  // 13
    virtual HRESULT GetWritePosEx(UINT nIndex, ULONGLONG* pPos) = 0;  // 14
    virtual HRESULT GetWritePos(ULONGLONG* pPos) = 0;  // 15
    virtual HRESULT SynchronizeReadPos(LONGLONG llOffset, EBasicPosition eBasePos) = 0;  // 16
    virtual HRESULT SetReadPosEx(UINT nIndex, LONGLONG llOffset, EBasicPosition eBasePos) = 0;  // 17
    virtual HRESULT SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) = 0;  // 18
    virtual HRESULT ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) = 0;  // 19
    virtual HRESULT WriteEx(UINT nIndex, ULONG dwBytes, BYTE* pSource) = 0;  // 20
    virtual HRESULT WriteSilenceEx(UINT nIndex, ULONGLONG llBytes) = 0;  // 21
    virtual HRESULT Read(ULONG dwBytes, BYTE* pDestination) = 0;  // 22
    virtual HRESULT ReadEx(UINT nIndex, ULONG dwBytes, BYTE* pDestination) = 0;  // 23
    virtual HRESULT ReadFixedPos(ULONGLONG llPos, ULONG dwBytes, BYTE* pDestination) = 0;  // 24
    virtual HRESULT ReadFixedPosEx(UINT nIndex, ULONGLONG llPos, ULONG dwBytes, BYTE* pDestination) = 0;  // 25
    virtual HRESULT Clear(LONG bWait) = 0;  // 26
    virtual HRESULT SetLive(LONG bLock) = 0;  // 27
    virtual HRESULT SetCanLive(LONG bLock) = 0;  // 28
    virtual HRESULT SetLiveEx(UINT nIndex, LONG bLock) = 0;  // 29
    virtual HRESULT SetCanLiveEx(UINT nIndex, LONG bLock) = 0;  // 30
    virtual HRESULT SetCacheDir(BSTR bstrDir) = 0;  // 31
    virtual HRESULT IsLive(UINT nIndex, LONG* pYes) = 0;  // 32
    virtual HRESULT GetCacheDir(BSTR* pbstrDir) = 0;  // 33
    virtual HRESULT Save() = 0;  // 34
    virtual HRESULT Load() = 0;  // 35
};

// {25332326-AE5C-474B-965B-06B04F8CDB67}
inline constexpr IID IID_IAudioPlayer{0x25332326, 0xAE5C, 0x474B, {0x96, 0x5B, 0x06, 0xB0, 0x4F, 0x8C, 0xDB, 0x67}};
struct IAudioPlayer : IUnknown {
    static constexpr const IID& kIID = IID_IAudioPlayer;
    virtual HRESULT Initialize(OWAVEFORMATEX waveFormat, BSTR bstrDevice) = 0;  // 3
    virtual HRESULT PlayData(ULONG dwBytes, BYTE* pFrom) = 0;  // 4
    virtual HRESULT StartPlay() = 0;  // 5
    virtual HRESULT StopPlay() = 0;  // 6
    virtual HRESULT Pause() = 0;  // 7
    virtual HRESULT Uninitialize() = 0;  // 8
    virtual HRESULT Interrupt() = 0;  // 9
    virtual HRESULT Reset() = 0;  // 10
    virtual HRESULT GetStatus(ULONG* pdwStatus) = 0;  // 11
};

// {EA826A59-8326-456A-9F0A-90EDB121A54D}
inline constexpr IID IID_IAudioManager{0xEA826A59, 0x8326, 0x456A, {0x9F, 0x0A, 0x90, 0xED, 0xB1, 0x21, 0xA5, 0x4D}};
struct IAudioManager : IUnknown {
    static constexpr const IID& kIID = IID_IAudioManager;
    virtual HRESULT GetFirstDevice(BSTR* pstrDevice) = 0;  // 3
    virtual HRESULT GetNextDevice(BSTR* pstrDevice) = 0;  // 4
    virtual HRESULT GetUsedDevice(BSTR* pstrDevice) = 0;  // 5
    virtual HRESULT GetDefaultDevice(BSTR* pstrDevice) = 0;  // 6
};

// {8807EAC4-D1E9-4178-9AEF-5167305530B2}
inline constexpr IID IID_IAudioEncoder{0x8807EAC4, 0xD1E9, 0x4178, {0x9A, 0xEF, 0x51, 0x67, 0x30, 0x55, 0x30, 0xB2}};
struct IAudioEncoder : IUnknown {
    static constexpr const IID& kIID = IID_IAudioEncoder;
    virtual HRESULT Save(ISong* pSong, BSTR bstrFileName) = 0;  // 3
    virtual HRESULT SaveGroup(VARIANT varSongs, BSTR bstrDirPath) = 0;  // 4
    virtual HRESULT StopSave() = 0;  // 5
    virtual HRESULT SetConstantBitrate(ULONG dwBitrate) = 0;  // 6
    virtual HRESULT SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) = 0;  // 7
    virtual HRESULT DeleteSilenceStartEnd(LONG bYes) = 0;  // 8
    virtual HRESULT LowVolumeStartEnd(LONG bYes) = 0;  // 9
    virtual HRESULT SetCachePtr(ICache* pCache) = 0;  // 10
};

// {D9A84A6D-5331-4AD1-97DC-A106B55906C4}
inline constexpr IID IID_IAudioController{0xD9A84A6D, 0x5331, 0x4AD1, {0x97, 0xDC, 0xA1, 0x06, 0xB5, 0x59, 0x06, 0xC4}};
struct IAudioController : IUnknown {
    static constexpr const IID& kIID = IID_IAudioController;
    virtual HRESULT Play() = 0;  // 3
    virtual HRESULT Pause() = 0;  // 4
    virtual HRESULT Record() = 0;  // 5
    virtual HRESULT StopRecord() = 0;  // 6
    virtual HRESULT Live() = 0;  // 7
    virtual HRESULT SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) = 0;  // 8
    virtual HRESULT GetPlayPosition(ULONG* pdwAbsPos) = 0;  // 9
    virtual HRESULT GetRecordPosition(ULONG* pdwAbsPos) = 0;  // 10
    virtual HRESULT GetPercentFullness(BYTE* pPercent) = 0;  // 11
    virtual HRESULT GetTimeFullness(ULONG* pTime) = 0;  // 12
    virtual HRESULT GetStartReadPos(ULONG* pPos) = 0;  // 13
    virtual HRESULT UpdateSettings() = 0;  // 14
    virtual HRESULT DropCache(LONG bWait) = 0;  // 15
    virtual HRESULT GetAvailableCommands(ULONG* pCommands) = 0;  // 16
    virtual HRESULT GetCurrentState(ULONG* pState) = 0;  // 17
    virtual HRESULT CheckState(EState eState, LONG* pYes) = 0;  // 18
    virtual HRESULT CheckCommand(ECommand eCommand, LONG* pYes) = 0;  // 19
    virtual HRESULT IsCacheFull(LONG* pYes) = 0;  // 20
    virtual HRESULT CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) = 0;  // 21
    virtual HRESULT Destroy() = 0;  // 22
    virtual HRESULT GetErrors(VARIANT* aErrors) = 0;  // 23
    virtual HRESULT SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) = 0;  // 24
    virtual HRESULT ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) = 0;  // 25
    virtual HRESULT ClearPlayList() = 0;  // 26
    virtual HRESULT GetAmountCacheBuffer(UINT* pAmount) = 0;  // 27
};
// {EA826A59-8326-456A-9F0A-90EDB121A54E}: the same four methods under a second identity.
inline constexpr IID IID_ICaptureManager{0xEA826A59, 0x8326, 0x456A, {0x9F, 0x0A, 0x90, 0xED, 0xB1, 0x21, 0xA5, 0x4E}};
struct ICaptureManager : IAudioManager {
    static constexpr const IID& kIID = IID_ICaptureManager;
};

// Outgoing events of the controller. GUID arguments travel as their registry
// text form in braces.
// {76BBA451-5CAA-4A44-9411-5D7CA68C7037}
inline constexpr IID DIID__IAudioControllerEvents{0x76BBA451, 0x5CAA, 0x4A44, {0x94, 0x11, 0x5D, 0x7C, 0xA6, 0x8C, 0x70, 0x37}};
struct _IAudioControllerEvents : IUnknown {
    static constexpr const IID& kIID = DIID__IAudioControllerEvents;
    virtual HRESULT SongDetected(BSTR guid) = 0;          // 1
    virtual HRESULT CacheAlmostFull(UINT nMinutesTo) = 0;  // 2
    virtual HRESULT SongDeleted(BSTR guid) = 0;            // 3
    virtual HRESULT DiskAlmostFull(UINT nMinutesTo) = 0;   // 4
    virtual HRESULT DiskFull() = 0;                        // 5
    virtual HRESULT ClearPlayList() = 0;                   // 6
    virtual HRESULT CacheLoaded(UINT nNewCacheSize) = 0;   // 7
    virtual HRESULT CacheLoading() = 0;                    // 8
};

// {9D86A9AC-2211-4F6D-B6E4-3E71649C939D}
inline constexpr IID DIID__IAudioEncoderEvents{0x9D86A9AC, 0x2211, 0x4F6D, {0xB6, 0xE4, 0x3E, 0x71, 0x64, 0x9C, 0x93, 0x9D}};
struct _IAudioEncoderEvents : IUnknown {
    static constexpr const IID& kIID = DIID__IAudioEncoderEvents;
    virtual HRESULT Progress(UINT nProgress, BSTR bstrSavePath) = 0;  // 1
};

// Connection points: how a client attaches its event sink to an object that
// fires events (the controller, an encoder). A sink is any object that answers
// QueryInterface for the event interface; Advise holds one reference on it
// until Unadvise. Cookies are never 0.
struct IConnectionPointContainer;

// {B196B286-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
struct IConnectionPoint : IUnknown {
    static constexpr const IID& kIID = IID_IConnectionPoint;
    virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT Unadvise(DWORD dwCookie) = 0;
};

// {B196B284-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID IID_IConnectionPointContainer{0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
struct IConnectionPointContainer : IUnknown {
    static constexpr const IID& kIID = IID_IConnectionPointContainer;
    // The connection point for the event interface riid, or CONNECT_E_NOCONNECTION.
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};
