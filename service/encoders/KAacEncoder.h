#pragma once
// The AAC format: 48000 Hz stereo without resampling, MPEG-4 Main profile
// (coded without prediction), written as a bare ADTS stream (no tags).
#include <functional>
#include <memory>
#include <vector>

#include "service/encoders/KAudioEncoder.h"
#include "service/encoders/aac/FaacEnc.h"

class KAacEncoder final : public KAudioEncoder {
public:
    static KAacEncoder* Create();

    // The constant rates a save takes, in kbit/s; 0 leaves the codec its own.
    static constexpr ULONG kMinKbps = 8;
    static constexpr ULONG kMaxKbps = 320;
    // Bandwidth (Hz) and quality tuned for the offered rates; false (codec
    // defaults) for any other rate.
    static bool TuningFor(ULONG kbps, uint32_t* bandWidth, uint32_t* quantqual);

    // The codec's encode call: faacEncEncode unless a test puts another in
    // its place (one that fails part-way through a save); null restores it.
    using EncodeCall = std::function<int(faacEncHandle, const void*, uint32_t, uint8_t*, uint32_t)>;
    void SetEncodeCall(EncodeCall call) { m_encode = call ? std::move(call) : EncodeCall(faacEncEncode); }

    const char16_t* GetExtension() override { return u".aac"; }
    HRESULT EncoderInit(BSTR bstrFileName) override;
    HRESULT EncodePiece(BYTE* pSamples, DWORD dwBytes) override;
    HRESULT EncoderUninit() override;

private:
    friend class KAudioEncoder;
    struct Closer {
        void operator()(FaacEncoder* h) const { faacEncClose(h); }
    };

    KAacEncoder() = default;
    // Writes what the codec returned; false after reporting a failed write.
    HRESULT WriteFrames(int bytes);

    DWORD m_dwMaxOutputBytes = 0;
    std::vector<BYTE> m_outputBuffer;
    std::unique_ptr<FaacEncoder, Closer> m_hEncoder;
    faacEncConfiguration* m_pConfig = nullptr;  // owned by the codec
    EncodeCall m_encode = faacEncEncode;
    plat::Bstr m_bstrFileName;
    plat::File m_hFile;
};
