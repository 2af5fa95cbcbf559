#pragma once
// The MP3 format: the lame_enc library, loaded on the first MP3 save, turns
// the engine's 48000 Hz stereo into MPEG-1 layer III at the same rate. The
// file starts with an ID3v2.3 tag of the song's title, artist, album and
// genre, then an Info frame that the library fills in once the file is
// complete.
#include <memory>
#include <string>

#include "service/encoders/KAudioEncoder.h"
#include "service/encoders/mp3/KLameLibrary.h"
#include "service/encoders/mp3/LameEnc.h"

class KMp3Encoder : public KAudioEncoder {
public:
    static constexpr DWORD kPieceSize = 64000;
    static constexpr DWORD kOutputSize = 2 * kPieceSize;

    // The new encoder with its count at 0, or null (logged).
    static KMp3Encoder* Create();

    // Binds the library (the one given to SetLibraryPath, else the service's).
    HRESULT LoadLIBS();
    // For tests: the library file to load instead of the service's own.
    void SetLibraryPath(std::string path) { m_strLibraryPath = std::move(path); }
    // The record the last EncoderInit handed to the library.
    const BE_CONFIG& Config() const { return m_beConfig; }

    const char16_t* GetExtension() override { return u".mp3"; }
    HRESULT EncoderInit(BSTR bstrFileName) override;
    HRESULT EncodePiece(BYTE* pSamples, DWORD dwBytes) override;
    HRESULT EncoderUninit() override;

protected:
    friend class KAudioEncoder;
    KMp3Encoder();
    ~KMp3Encoder() override;

private:
    // Fills m_beConfig from the options; false for rates MP3 does not offer.
    bool FillConfig();
    // Ends the library's stream without writing its Info frame.
    void DropStream();

    plat::Bstr m_strFileName;
    plat::File m_hFile;
    std::unique_ptr<BYTE[]> m_pOutput;
    HBE_STREAM m_hbeStream = 0;
    BE_CONFIG m_beConfig{};
    const KLameLibrary* m_pLib = nullptr;
    std::string m_strLibraryPath;
};
