#pragma once
// The OGG Vorbis format: the engine's 48000 Hz stereo is resampled to
// 44100 Hz (one resampler per save, drained at the end) and encoded with
// libvorbis under bit-rate management; libogg pages go to the file as soon
// as they are complete. The song's title, artist, album and genre become
// Vorbis comments. Bit rates are kept in bits per second.
#include <vorbis/codec.h>

#include "service/encoders/KAudioEncoder.h"

struct SwrContext;

class KOggEncoder : public KAudioEncoder {
public:
    static constexpr DWORD kPieceSize = 128000;
    static constexpr int kRate = 44100;

    // The new encoder with its count at 0, or null (logged).
    static KOggEncoder* Create();

    // kbps as for every format, kept here times 1000 (64 bits).
    HRESULT SetConstantBitrate(ULONG dwBitrate) override;
    HRESULT SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) override;

    const char16_t* GetExtension() override { return u".ogg"; }
    HRESULT EncoderInit(BSTR bstrFileName) override;
    HRESULT EncodePiece(BYTE* pSamples, DWORD dwBytes) override;
    HRESULT EncoderUninit() override;

    // The values the last EncoderInit gave the encoder (bits per second;
    // nominal -1 for a variable rate).
    struct Rates {
        int64_t max = 0, nominal = 0, min = 0;
    };
    Rates LastRates() const { return m_lastRates; }

protected:
    friend class KAudioEncoder;
    KOggEncoder();
    ~KOggEncoder() override;

private:
    // Moves finished blocks through the encoder and writes the pages that
    // fill up; S_OK, or the failed write's result.
    HRESULT WritePages();
    // Writes the current page; a failure stays in m_hrWrite.
    void WritePage();
    // Hands resampled audio to the encoder (frames 0: the resampler's rest).
    HRESULT Analyse(const BYTE* samples, int frames);
    void Clear();

    int64_t m_llBitrate = 0, m_llMinBitrate = 0, m_llMaxBitrate = 0;
    Rates m_lastRates;

    plat::Bstr m_strFileName;
    plat::File m_hFile;
    ogg_stream_state m_os{};
    ogg_page m_og{};
    ogg_packet m_op{};
    vorbis_info m_vi{};
    vorbis_comment m_vc{};
    vorbis_dsp_state m_vd{};
    vorbis_block m_vb{};
    SwrContext* m_pResampler = nullptr;
    // What has been set up, so that each part is cleared once.
    bool m_bInfo = false, m_bComment = false, m_bDsp = false, m_bBlock = false, m_bStream = false;
    bool m_bEos = false;
    HRESULT m_hrWrite = S_OK;
};
