#include "service/encoders/KWmaEncoder.h"

KWmaEncoder* KWmaEncoder::Create() { return CreateEncoder<KWmaEncoder>(u"Creation of WMA encoder was failed"); }

const char16_t* KWmaEncoder::ProfileFileFor(ULONG kbps) {
    switch (kbps) {
        case 64: return u"64_48000.prx";
        case 96: return u"96_48000.prx";
        case 128: return u"128_48000.prx";
        case 192: return u"192_48000.prx";
        case 256: return u"256_44100.prx";
        case 320: return u"320_44100.prx";
        default: return nullptr;
    }
}

HRESULT KWmaEncoder::ReportFailure(HRESULT hr, LONG fileCode, const char16_t* text) {
    // The output file's own failure (a full disk) is the user's to see, like
    // the other formats'; the codec's is logged.
    if (const DWORD error = m_cAsfEncoder.OutputError()) TQ_REPORT_SYSTEM(fileCode, error, ReportName(m_bstrFileName));
    else TQ_REPORT(EC_INTERNAL, hr, text);
    return hr;
}

HRESULT KWmaEncoder::EncoderInit(BSTR bstrFileName) {
    m_dwPieceSizeInBytes = kPieceSize;
    m_bstrFileName = plat::Bstr(bstrFileName);
    m_bWriteFailed = false;
    // The profiles lie in the program's own folder. A rate without a profile
    // leaves the folder itself as the path, which fails to load below.
    std::u16string path = plat::GetModuleDir();
    if (path.empty()) {
        HRESULT hr = plat::HResultFromLastError();
        TQ_TRACE_HR("GetModuleDir");
        TQ_REPORT(EC_INTERNAL, hr, u"Creation of path to WMA profile file was failed");
        return hr;
    }
    if (const char16_t* file = ProfileFileFor(m_dwBitrate)) path += file;
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_cAsfEncoder.LoadCustomProfile(path))) {
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, hr, path);
        return hr;
    }
    if (TQ_FAILED(hr, m_cAsfEncoder.SetInputAudioPropertys(AUDIO_QUALITY_IN_CACHE, 16, 2))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Setting WMA input audio properties was failed");
        m_cAsfEncoder.StopEncoding();
        return hr;
    }
    m_cAsfEncoder.SetTags(m_bstrArtist.Str(), m_bstrTitle.Str(), m_bstrAlbum.Str(), m_bstrGenre.Str());
    if (TQ_FAILED(hr, m_cAsfEncoder.StartEncoding(bstrFileName))) {
        ReportFailure(hr, EC_CREATE_FILE, u"Start WMA encoding was failed");
        m_cAsfEncoder.StopEncoding();
        return hr;
    }
    return S_OK;
}

HRESULT KWmaEncoder::EncodePiece(BYTE* pSamples, DWORD dwBytes) {
    // The piece's own length: the last piece of a stretch is shorter.
    const QWORD duration = QWORD{dwBytes} * 10000000 / kBytesPerSecond;
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_cAsfEncoder.WriteData(pSamples, dwBytes, duration))) {
        ReportFailure(hr, EC_WRITE_FILE, u"WMA encoding was failed");
        m_bWriteFailed = true;
    }
    return hr;
}

HRESULT KWmaEncoder::EncoderUninit() {
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_cAsfEncoder.StopEncoding())) {
        // A writer that failed on a piece is entered once, for that piece.
        if (m_bWriteFailed) TQ_REPORT(EC_INTERNAL, hr, u"Stop WMA encoding was failed");
        else ReportFailure(hr, EC_WRITE_FILE, u"Stop WMA encoding was failed");
    }
    return hr;
}
