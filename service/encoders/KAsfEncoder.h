#pragma once
// Writes one ASF file of audio through the media writer: a profile file
// chooses the stream, PCM goes in piece by piece with its duration, the four
// text tags go into the file's header.
#include <string>

#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Sync.h"
#include "service/encoders/wma/WmFormat.h"

class KAsfEncoder {
public:
    KAsfEncoder();
    virtual ~KAsfEncoder();
    KAsfEncoder(const KAsfEncoder&) = delete;
    KAsfEncoder& operator=(const KAsfEncoder&) = delete;

    // Reads the profile file and keeps the profile. A path that is no regular
    // file, a file of odd size or too large, text that is no profile or a
    // profile without an audio stream fails and leaves no profile.
    HRESULT LoadCustomProfile(const std::u16string& path);
    // The PCM that WriteData takes: 16-bit samples at a rate and channel count.
    HRESULT SetInputAudioPropertys(DWORD samplesPerSec, WORD bitsPerSample, WORD channels);
    void SetTags(std::u16string_view author, std::u16string_view title, std::u16string_view album,
                 std::u16string_view genre);
    // Makes a writer for the loaded profile and begins the file (created,
    // replacing one of that name). On failure no writer stays and no file.
    HRESULT StartEncoding(BSTR bstrFileName);
    // One piece of PCM lasting duration (100 ns units).
    HRESULT WriteData(const BYTE* bytes, DWORD count, QWORD duration);
    // Finishes and closes the file; releases writer, profile and manager in
    // any case and returns the writer's result.
    HRESULT StopEncoding();

    QWORD RunningTime() const { return m_qwRunningTime; }
    // The system error of the output file when the last failure of
    // StartEncoding, WriteData or StopEncoding was the file's (a full disk);
    // 0 when it was the codec's or nothing failed.
    DWORD OutputError() const { return m_dwOutputError; }

    // Copies a piece of PCM into a sample and sets its length; a sample with
    // less room than the piece fails (ERROR_INSUFFICIENT_BUFFER) and takes
    // nothing, so no part of the audio is ever dropped unnoticed.
    static HRESULT FillSample(INSSBuffer* sample, const BYTE* bytes, DWORD count);

private:
    void ReleaseAll();
    // Keeps what the writer says of its output after a failure; hr passes.
    HRESULT NoteFailure(IWMWriter* writer, HRESULT hr);

    plat::ComPtr<IWMProfileManager> m_pProfileManager;
    plat::ComPtr<IWMProfile> m_pProfile;
    plat::ComPtr<IWMWriter> m_pWriter;
    WM_MEDIA_TYPE m_mediaType{};
    WAVEFORMATEX m_waveFormat{};
    QWORD m_qwRunningTime = 0;
    DWORD m_dwAudioStream = 0;
    DWORD m_dwOutputError = 0;
    std::u16string m_strAuthor, m_strTitle, m_strAlbum, m_strGenre;
    plat::Mutex m_mutex;
};
