#include "service/encoders/KAacEncoder.h"

KAacEncoder* KAacEncoder::Create() { return CreateEncoder<KAacEncoder>(u"Creation of AAC encoder was failed"); }

bool KAacEncoder::TuningFor(ULONG kbps, uint32_t* bandWidth, uint32_t* quantqual) {
    static constexpr struct {
        ULONG kbps;
        uint32_t bandWidth, quantqual;
    } kTable[] = {{64, 10250, 72}, {96, 13400, 87}, {128, 15900, 99}, {192, 19900, 119}, {256, 21400, 129}, {320, 23900, 139}};
    for (const auto& row : kTable) {
        if (row.kbps == kbps) {
            *bandWidth = row.bandWidth;
            *quantqual = row.quantqual;
            return true;
        }
    }
    return false;
}

HRESULT KAacEncoder::EncoderInit(BSTR bstrFileName) {
    HRESULT hr = S_OK;
    uint32_t inputSamples = 0, maxOutputBytes = 0;
    m_hEncoder.reset(faacEncOpen(AUDIO_QUALITY_IN_CACHE, 2, &inputSamples, &maxOutputBytes));
    if (!m_hEncoder) {
        hr = plat::HResultFromLastError();
        TQ_TRACE_HR("faacEncOpen");
        TQ_REPORT(EC_INTERNAL, hr, u"Initialisation of instance of the AAC encoder was failed");
        return hr;
    }
    m_pConfig = faacEncGetCurrentConfiguration(m_hEncoder.get());
    if (!m_pConfig) {
        m_hEncoder.reset();
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Getting a current encoder configuration was failed");
        return E_FAIL;
    }
    // The codec takes bits per second over both channels; the rate is kbit/s,
    // widened before the product so that no rate wraps into a valid one.
    const ULONG kbps = m_dwBitrate;
    const bool rateOk = kbps == 0 || (kbps >= kMinKbps && kbps <= kMaxKbps);
    m_pConfig->mpegVersion = FAAC_MPEG4;
    m_pConfig->aacObjectType = FAAC_MAIN;
    m_pConfig->inputFormat = FAAC_INPUT_16BIT;
    m_pConfig->bitRate = rateOk ? static_cast<uint32_t>(uint64_t{kbps} * 1000) : 0;
    TuningFor(kbps, &m_pConfig->bandWidth, &m_pConfig->quantqual);
    if (!rateOk) plat::SetLastError(ERROR_INVALID_PARAMETER);
    if (!rateOk || !faacEncSetConfiguration(m_hEncoder.get(), m_pConfig)) {
        hr = plat::HResultFromLastError();
        m_pConfig = nullptr;
        m_hEncoder.reset();
        TQ_TRACE_HR("faacEncSetConfiguration");
        TQ_REPORT(EC_INTERNAL, hr, u"Setting new parameters for AAC encoder was failed");
        if (!rateOk) ReportRefusal(bstrFileName, RateRefusal());
        return hr;
    }
    m_dwMaxOutputBytes = maxOutputBytes;
    m_outputBuffer.assign(maxOutputBytes, 0);
    m_dwPieceSizeInBytes = inputSamples * 2;
    m_bstrFileName = plat::Bstr(bstrFileName);
    if (FAILED(hr = OpenOutputFile(bstrFileName, &m_hFile))) {
        m_outputBuffer.clear();
        m_pConfig = nullptr;
        m_hEncoder.reset();
        return hr;
    }
    return S_OK;
}

HRESULT KAacEncoder::WriteFrames(int bytes) {
    if (bytes < 0) {
        TQ_TRACE_HR("faacEncEncode");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"AAC encoding was failed");
        return E_FAIL;
    }
    return bytes == 0 ? S_OK : WriteOutput(m_hFile, m_outputBuffer.data(), static_cast<DWORD>(bytes), m_bstrFileName);
}

HRESULT KAacEncoder::EncodePiece(BYTE* pSamples, DWORD dwBytes) {
    if (!m_hEncoder) return E_UNEXPECTED;
    return WriteFrames(m_encode(m_hEncoder.get(), pSamples, dwBytes / 2, m_outputBuffer.data(), m_dwMaxOutputBytes));
}

HRESULT KAacEncoder::EncoderUninit() {
    HRESULT hr = S_OK;
    // The frames the codec still holds: the end of the audio.
    for (int bytes = 1; m_hEncoder && bytes > 0 && SUCCEEDED(hr);) {
        bytes = m_encode(m_hEncoder.get(), nullptr, 0, m_outputBuffer.data(), m_dwMaxOutputBytes);
        hr = WriteFrames(bytes);
    }
    // The data must reach the disk: a failure to get it there is reported
    // like a failed write, or a save would end "done" with a cut file.
    hr = CloseOutputFile(m_hFile, m_bstrFileName, hr);
    m_outputBuffer.clear();
    m_pConfig = nullptr;
    m_hEncoder.reset();
    return hr;
}
