#pragma once
// The format-independent part of every encoder: options, the save of one song
// or of a group into a folder, numbered names, the read of the song's stretch
// of the cache piece by piece (with silence trimming and volume ramps), and
// the Progress events. A format derives from it and implements the codec
// hooks of IAudioEncoderInternal.
//
// A save runs on a thread of its own at a lower priority while the calling
// thread waits for it. The file is written without a name (or under a hidden
// one) in the target folder and gets its real name only once it is complete;
// a failed or stopped save leaves no file behind, nor does a process that
// dies while saving. An existing file is never replaced: its name is numbered
// around.
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "ipc/QXServiceLib.h"
#include "log/Trace.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Sync.h"
#include "platform/fs/File.h"
#include "service/encoders/CProxy_IAudioEncoderEvents.h"
#include "service/encoders/IAudioEncoderInternal.h"

class KSaveFile;

class KAudioEncoder : public plat::ComObject<KAudioEncoder, IAudioEncoder, IConnectionPointContainer>,
                      public IAudioEncoderInternal {
public:
    // The engine stream: 48000 Hz, 2 channels, 16 bits.
    static constexpr DWORD AUDIO_QUALITY_IN_CACHE = 48000;
    static constexpr DWORD kBytesPerSecond = 192000;
    static constexpr DWORD kBytesPerMs = 192;
    // The length of each volume ramp.
    static constexpr DWORD dwLowRaiseSec = 2;
    static constexpr ULONGLONG kRampBytes = ULONGLONG{dwLowRaiseSec} * kBytesPerSecond;
    // A title that makes no file name ("", ".", "..") is saved under this one.
    static constexpr const char16_t* kUntitled = u"Untitled";

    // IAudioEncoder
    HRESULT Save(ISong* pSong, BSTR bstrFileName) override;
    HRESULT SaveGroup(VARIANT varSongs, BSTR bstrDirPath) override;
    HRESULT StopSave() override;
    HRESULT SetConstantBitrate(ULONG dwBitrate) override;
    HRESULT SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) override;
    HRESULT DeleteSilenceStartEnd(LONG bYes) override;
    HRESULT LowVolumeStartEnd(LONG bYes) override;
    HRESULT SetCachePtr(ICache* pCache) override;

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // IAudioEncoderInternal (the rest is the format's)
    DWORD GetPieceSizeInBytes() override { return m_dwPieceSizeInBytes; }

    // A pause after every piece, 0 (none) by default; a stop ends it at once.
    void SetPiecePauseMs(DWORD ms) { m_dwPiecePauseMs = ms; }

    // A title as a file name: "/" and control characters become "_", a name
    // that is empty, "." or ".." becomes kUntitled, and a long one is cut to
    // leave room for a number and an extension.
    static std::u16string SafeFileName(const std::u16string& title);

protected:
    friend class plat::ComObject<KAudioEncoder, IAudioEncoder, IConnectionPointContainer>;
    KAudioEncoder();
    ~KAudioEncoder() override;

    // The factory of a format T (a friend of this class): the new object with
    // its count at 0, or null after reporting failText when memory runs out.
    template <class T>
    static T* CreateEncoder(const char16_t* failText) {
        T* encoder = new (std::nothrow) T();
        if (!encoder) {
            TQ_TRACE_HR("E_OUTOFMEMORY");
            TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, failText);
        }
        return encoder;
    }

    // For EncoderInit: opens the (empty) output file for writing; a failure is
    // reported with the file's name (40001).
    HRESULT OpenOutputFile(BSTR bstrFileName, plat::File* file) const;
    // Writes all bytes; a failure is reported with the file's name (40007).
    HRESULT WriteOutput(plat::File& file, const void* data, DWORD bytes, BSTR bstrFileName) const;
    // For EncoderUninit: after a successful encode (result) makes sure the
    // data is on the disk, then closes the file; result, or the failure to
    // get the data there (reported, 40007).
    HRESULT CloseOutputFile(plat::File& file, BSTR bstrFileName, HRESULT result) const;
    // The file name that a report of the format gives: during a save the
    // name the user will see (the format writes through another path), else
    // the name given.
    std::u16string ReportName(BSTR bstrFileName) const;
    // A refusal the caller can mend (an option the format does not take),
    // entered in the error list with the file's name and the reason (40001).
    void ReportRefusal(BSTR bstrFileName, const char16_t* reason) const;
    // The reason a format gives for refusing the bit rates as set.
    const char16_t* RateRefusal() const;

    // Options as set through IAudioEncoder (kbps, except where a format
    // overrides the setters). Read by the format in EncoderInit.
    std::atomic<ULONG> m_dwBitrate{0};
    std::atomic<ULONG> m_dwMinBitrate{0};
    std::atomic<ULONG> m_dwMaxBitrate{0};
    std::atomic<LONG> m_bConstantBitrate{TRUE};
    std::atomic<LONG> m_bDeleteSilence{FALSE};
    std::atomic<LONG> m_bLowVolume{FALSE};
    // The song's tag, read by each save before EncoderInit.
    UINT m_nTrack = 0;
    UINT m_nYear = 0;
    plat::Bstr m_bstrArtist;
    plat::Bstr m_bstrTitle;
    plat::Bstr m_bstrAlbum;
    plat::Bstr m_bstrGenre;
    // Set by the format's EncoderInit.
    DWORD m_dwPieceSizeInBytes = 0;

private:
    // Runs job on the save thread and waits for it; E_UNEXPECTED-like
    // refusal while another save of this encoder runs.
    template <class Job>
    HRESULT RunSave(Job&& job);
    // One song to one file; the stop flag is not cleared here.
    HRESULT SaveSong(ISong* pSong, const std::u16string& requested);
    HRESULT ReadTag(ISong* pSong);
    // The stretch to save as cache byte positions, checked against the cache.
    HRESULT GetStretch(ISong* pSong, ICache* pCache, ULONGLONG* left, ULONGLONG* right);
    // The read, touch and encode loop over [left, right); S_FALSE when stopped.
    HRESULT EncodeStretch(ICache* pCache, ULONGLONG left, ULONGLONG right, const std::u16string& shownPath);
    // Gives the finished file its final name (numbered on a clash).
    HRESULT Publish(KSaveFile& file, const std::u16string& wanted, std::u16string* finalName);
    bool StopRequested() const { return m_bStopSave.load(); }

    std::mutex m_cacheLock;
    plat::ComPtr<ICache> m_pCache;
    std::atomic<bool> m_bStopSave{false};
    plat::Event m_stopEvent{plat::Event::Reset::Manual};
    std::atomic<bool> m_bSaving{false};
    std::atomic<DWORD> m_dwPiecePauseMs{0};
    // The name of the file being saved, for the format's reports.
    std::u16string m_strSaveName;
    CProxy_IAudioEncoderEvents m_progress{this};
};
