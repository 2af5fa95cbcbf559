#pragma once
// A media-writer layer in the shape of the classic profile manager and
// writer objects: a profile (read from our own profile text) says which audio
// stream to write; the writer takes 16-bit PCM samples, resamples and encodes
// them (libswresample, libavcodec wmav2) and writes an ASF file
// (libavformat), with text attributes in its header.
//
// Objects are reference counted (IUnknown); every call returns an HRESULT.
#include "ipc/QXServiceLib.h"
#include "platform/com/Unknown.h"

using WAVEFORMATEX = OWAVEFORMATEX;
using QWORD = uint64_t;

inline constexpr GUID WMMEDIATYPE_Audio{0xA9C08AC3, 0xF445, 0x495E, {0xA7, 0x64, 0x9A, 0x14, 0x87, 0xC6, 0xA2, 0x5D}};
inline constexpr GUID WMMEDIASUBTYPE_PCM{0x9004470F, 0x9B4D, 0x4BF2, {0x82, 0xD9, 0xC4, 0xEB, 0xA1, 0xDB, 0x29, 0x2E}};
inline constexpr GUID WMFORMAT_WaveFormatEx{0x766DD11D, 0xEDCE, 0x4C54, {0x83, 0x3B, 0x11, 0x8C, 0x6D, 0x71, 0x49, 0x20}};

// A media type; pbFormat points at cbFormat bytes of format record (here a
// WAVEFORMATEX for PCM).
struct WM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

enum WMT_ATTR_DATATYPE : int32_t { WMT_TYPE_DWORD = 0, WMT_TYPE_STRING = 1 };

inline constexpr IID IID_INSSBuffer{0xF0CA4936, 0x5C6F, 0x4F88, {0x80, 0xBA, 0x35, 0x50, 0x5A, 0x50, 0x83, 0x94}};
// A sample buffer: a fixed maximum and a current length.
struct INSSBuffer : IUnknown {
    static constexpr const IID& kIID = IID_INSSBuffer;
    virtual HRESULT GetLength(DWORD* pdwLength) = 0;
    virtual HRESULT SetLength(DWORD dwLength) = 0;  // at most the maximum
    virtual HRESULT GetMaxLength(DWORD* pdwLength) = 0;
    virtual HRESULT GetBuffer(BYTE** ppdwBuffer) = 0;
    virtual HRESULT GetBufferAndLength(BYTE** ppdwBuffer, DWORD* pdwLength) = 0;
};

inline constexpr IID IID_IWMMediaProps{0x26774F65, 0xCFC7, 0x49CD, {0xB3, 0x28, 0x11, 0x21, 0xF9, 0x73, 0xA6, 0xBB}};
struct IWMMediaProps : IUnknown {
    static constexpr const IID& kIID = IID_IWMMediaProps;
    virtual HRESULT GetType(GUID* pguidType) = 0;
    // With a null pType, *pcbType gets the bytes needed (the record and its
    // format block); otherwise fills pType, whose pbFormat points into it.
    virtual HRESULT GetMediaType(WM_MEDIA_TYPE* pType, DWORD* pcbType) = 0;
    virtual HRESULT SetMediaType(WM_MEDIA_TYPE* pType) = 0;
};

inline constexpr IID IID_IWMInputMediaProps{0xAD8462E8, 0x09CC, 0x4D73, {0x88, 0x13, 0x99, 0xA6, 0x7E, 0xDF, 0x27, 0x61}};
struct IWMInputMediaProps : IWMMediaProps {
    static constexpr const IID& kIID = IID_IWMInputMediaProps;
};

inline constexpr IID IID_IWMStreamConfig{0x0BC6F1D2, 0x785E, 0x4A3D, {0xA0, 0x34, 0xB9, 0x31, 0x23, 0xC9, 0xFC, 0x0B}};
struct IWMStreamConfig : IUnknown {
    static constexpr const IID& kIID = IID_IWMStreamConfig;
    virtual HRESULT GetStreamType(GUID* pguidStreamType) = 0;
    virtual HRESULT GetStreamNumber(WORD* pwStreamNum) = 0;
    virtual HRESULT GetBitrate(DWORD* pdwBitrate) = 0;
};

inline constexpr IID IID_IWMProfile{0x2DF412EE, 0x119F, 0x430D, {0x84, 0x72, 0xCE, 0xE1, 0x15, 0x73, 0xA1, 0x8E}};
struct IWMProfile : IUnknown {
    static constexpr const IID& kIID = IID_IWMProfile;
    virtual HRESULT GetStreamCount(DWORD* pcStreams) = 0;
    virtual HRESULT GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig) = 0;
};

inline constexpr IID IID_IWMProfileManager{0x5F0A5A32, 0x756B, 0x4407, {0xA8, 0x3A, 0x30, 0x3D, 0xD8, 0x38, 0x1E, 0xC3}};
struct IWMProfileManager : IUnknown {
    static constexpr const IID& kIID = IID_IWMProfileManager;
    // Reads a profile from its text: cchProfile UTF-16 units, which need not
    // end with a null (an embedded null makes the text malformed).
    virtual HRESULT LoadProfileByData(const char16_t* pwszProfile, DWORD cchProfile, IWMProfile** ppProfile) = 0;
};

inline constexpr IID IID_IWMHeaderInfo{0x910845AC, 0xA980, 0x4265, {0xAC, 0x16, 0x29, 0x60, 0xE3, 0x11, 0xFB, 0xEC}};
struct IWMHeaderInfo : IUnknown {
    static constexpr const IID& kIID = IID_IWMHeaderInfo;
    // A file attribute (stream 0). Strings are UTF-16 of cbLength bytes, a
    // terminating null optional. "Title", "Author", "WM/AlbumTitle" and
    // "WM/Genre" are known to players; other names are stored as they are.
    virtual HRESULT SetAttribute(WORD wStreamNum, const char16_t* pszName, WMT_ATTR_DATATYPE Type,
                                 const BYTE* pValue, WORD cbLength) = 0;
};

inline constexpr IID IID_IWMWriter{0x5713114E, 0x06D0, 0x40C8, {0xBA, 0x8C, 0xCB, 0x09, 0x1E, 0x6A, 0x0B, 0x92}};
// Writes one file: SetProfile, the inputs' media types (GetInputProps,
// SetMediaType, SetInputProps), SetOutputFilename, attributes (IWMHeaderInfo
// from the writer), BeginWriting, samples, EndWriting.
struct IWMWriter : IUnknown {
    static constexpr const IID& kIID = IID_IWMWriter;
    virtual HRESULT SetProfile(IWMProfile* pProfile) = 0;
    virtual HRESULT SetOutputFilename(const char16_t* pwszFilename) = 0;
    virtual HRESULT GetInputCount(DWORD* pcInputs) = 0;
    // A copy of the input's properties; they also answer IWMStreamConfig.
    virtual HRESULT GetInputProps(DWORD dwInputNum, IWMInputMediaProps** ppInput) = 0;
    virtual HRESULT SetInputProps(DWORD dwInputNum, IWMInputMediaProps* pInput) = 0;
    // Creates (replacing) the file and writes its header. On failure nothing
    // stays open and the file is gone.
    virtual HRESULT BeginWriting() = 0;
    // Finishes the stream (what the codec holds, the index) and closes the file.
    virtual HRESULT EndWriting() = 0;
    virtual HRESULT AllocateSample(DWORD dwSampleSize, INSSBuffer** ppSample) = 0;
    // One sample of PCM for the input; cnsSampleTime in 100 ns units.
    virtual HRESULT WriteSample(DWORD dwInputNum, QWORD cnsSampleTime, DWORD dwFlags, INSSBuffer* pSample) = 0;
};

inline constexpr IID IID_IWmOutputStatus{0x3B9E61D2, 0x7C4A, 0x4E15, {0x8F, 0x02, 0x5D, 0xC1, 0x96, 0x3A, 0xE7, 0x48}};
// Answered by this layer's writer, so that a failure of the output file (a
// full disk) can be told from one of the codec: the system error (a Win32
// number) of the output's first failure, 0 while the output has not failed.
struct IWmOutputStatus : IUnknown {
    static constexpr const IID& kIID = IID_IWmOutputStatus;
    virtual DWORD OutputError() const = 0;
};

HRESULT WMCreateProfileManager(IWMProfileManager** ppProfileManager);
HRESULT WMCreateWriter(IUnknown* pUnkCert, IWMWriter** ppWriter);
