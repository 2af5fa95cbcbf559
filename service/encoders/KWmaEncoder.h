#pragma once
// The WMA format: a profile file beside the program, chosen by the constant
// bit rate, says the stream; the ASF writer resamples, encodes and writes the
// tags into the header.
#include "service/encoders/KAsfEncoder.h"
#include "service/encoders/KAudioEncoder.h"

class KWmaEncoder final : public KAudioEncoder {
public:
    static KWmaEncoder* Create();

    static constexpr DWORD kPieceSize = 64000;  // a third of a second
    // The profile file of a rate in kbit/s; null for a rate without one.
    static const char16_t* ProfileFileFor(ULONG kbps);

    const char16_t* GetExtension() override { return u".wma"; }
    HRESULT EncoderInit(BSTR bstrFileName) override;
    HRESULT EncodePiece(BYTE* pSamples, DWORD dwBytes) override;
    HRESULT EncoderUninit() override;

private:
    friend class KAudioEncoder;
    KWmaEncoder() = default;

    // Reports a failure of the writer under the file's code when it was the
    // output's, else under the codec's text; hr passes.
    HRESULT ReportFailure(HRESULT hr, LONG fileCode, const char16_t* text);

    KAsfEncoder m_cAsfEncoder;
    plat::Bstr m_bstrFileName;
    bool m_bWriteFailed = false;
};
