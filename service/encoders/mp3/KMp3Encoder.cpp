#include "service/encoders/mp3/KMp3Encoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/core/Text.h"
#include "service/encoders/mp3/Id3v2Tag.h"

namespace {

// The rates of an MPEG-1 layer III stream (kbps).
bool Mpeg1Rate(ULONG kbps) {
    static const ULONG rates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    return std::find(std::begin(rates), std::end(rates), kbps) != std::end(rates);
}

}  // namespace

KMp3Encoder* KMp3Encoder::Create() { return CreateEncoder<KMp3Encoder>(u"Creation of MP3 encoder was failed"); }

KMp3Encoder::KMp3Encoder() = default;

KMp3Encoder::~KMp3Encoder() {
    if (m_hbeStream) EncoderUninit();
}

HRESULT KMp3Encoder::LoadLIBS() {
    if (m_pLib) return S_OK;
    return KLameLibrary::Get(m_strLibraryPath, &m_pLib);
}

bool KMp3Encoder::FillConfig() {
    const bool cbr = m_bConstantBitrate != FALSE;
    const ULONG rate = m_dwBitrate, low = m_dwMinBitrate, high = m_dwMaxBitrate;
    std::memset(&m_beConfig, 0, sizeof m_beConfig);
    m_beConfig.dwConfig = BE_CONFIG_LAME;
    m_beConfig.dwStructVersion = CURRENT_STRUCT_VERSION;
    m_beConfig.dwStructSize = sizeof(BE_CONFIG);
    m_beConfig.dwSampleRate = AUDIO_QUALITY_IN_CACHE;
    m_beConfig.dwReSampleRate = AUDIO_QUALITY_IN_CACHE;
    m_beConfig.nMode = BE_MP3_MODE_JSTEREO;
    m_beConfig.dwBitrate = cbr ? rate : low;
    m_beConfig.dwMaxBitrate = cbr ? 0 : high;
    m_beConfig.nPreset = cbr ? LQP_CBR : LQP_NOPRESET;
    m_beConfig.dwMpegVersion = rate > 32 ? 1 : 0;
    m_beConfig.bPrivate = 1;
    m_beConfig.bCopyright = 1;
    m_beConfig.bOriginal = 1;
    m_beConfig.bWriteVBRHeader = 1;
    m_beConfig.bEnableVBR = cbr ? 0 : 1;
    m_beConfig.nVbrMethod = cbr ? VBR_METHOD_DEFAULT : VBR_METHOD_NEW;
    m_beConfig.bNoRes = 1;
    return cbr ? Mpeg1Rate(rate) : (Mpeg1Rate(low) && Mpeg1Rate(high) && low <= high);
}

void KMp3Encoder::DropStream() {
    if (!m_hbeStream) return;
    // A stream kept for its Info frame is let go with no file to write.
    if (m_pLib->beWriteInfoTag) m_pLib->beWriteInfoTag(m_hbeStream, nullptr);
    else m_pLib->beWriteVBRHeader(nullptr);
    m_hbeStream = 0;
}

HRESULT KMp3Encoder::EncoderInit(BSTR bstrFileName) {
    HRESULT hr;
    m_dwPieceSizeInBytes = kPieceSize;
    m_strFileName = plat::Bstr(bstrFileName);
    if (!FillConfig()) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Initialisation of stream for MP3 encoding was failed");
        ReportRefusal(bstrFileName, RateRefusal());
        return E_INVALIDARG;
    }
    if (TQ_FAILED(hr, LoadLIBS())) return hr;

    uint32_t pcmSize = 0, mp3Size = 0;
    if (m_pLib->beInitStream(&m_beConfig, &pcmSize, &mp3Size, &m_hbeStream) != BE_ERR_SUCCESSFUL) {
        TQ_TRACE_HR("beInitStream");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Initialisation of stream for MP3 encoding was failed");
        m_hbeStream = 0;
        return E_FAIL;
    }
    // The library says a stream closed without an Info frame is gone; one
    // with it waits for the frame, so the failure paths let it go.
    m_pOutput.reset(new (std::nothrow) BYTE[kOutputSize]);
    if (!m_pOutput) {
        m_pLib->beCloseStream(m_hbeStream);
        DropStream();
        return E_OUTOFMEMORY;
    }
    const std::vector<BYTE> tag = BuildId3v23Tag(plat::BstrToU16(m_bstrTitle), plat::BstrToU16(m_bstrArtist),
                                                 plat::BstrToU16(m_bstrAlbum), plat::BstrToU16(m_bstrGenre));
    if (FAILED(hr = OpenOutputFile(bstrFileName, &m_hFile)) ||
        FAILED(hr = WriteOutput(m_hFile, tag.data(), static_cast<DWORD>(tag.size()), bstrFileName))) {
        m_hFile.Close();
        m_pLib->beCloseStream(m_hbeStream);
        DropStream();
        m_pOutput.reset();
        return hr;
    }
    return S_OK;
}

HRESULT KMp3Encoder::EncodePiece(BYTE* pSamples, DWORD dwBytes) {
    if (!m_hbeStream || !m_pOutput) return E_UNEXPECTED;
    uint32_t out = 0;
    if (m_pLib->beEncodeChunk(m_hbeStream, dwBytes / 2, reinterpret_cast<int16_t*>(pSamples), m_pOutput.get(), &out) !=
        BE_ERR_SUCCESSFUL) {
        TQ_TRACE_HR("beEncodeChunk");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"MP3 encoding was failed");
        return E_FAIL;
    }
    return WriteOutput(m_hFile, m_pOutput.get(), out, m_strFileName);
}

HRESULT KMp3Encoder::EncoderUninit() {
    if (!m_hbeStream) return S_OK;
    HRESULT result = S_OK;
    uint32_t out = 0;
    if (m_pLib->beDeinitStream(m_hbeStream, m_pOutput.get(), &out) != BE_ERR_SUCCESSFUL) {
        TQ_TRACE_HR("beDeinitStream");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Deinitialisation of stream for MP3 encoding was failed");
        result = E_FAIL;
    } else if (m_hFile.IsOpen()) {
        result = WriteOutput(m_hFile, m_pOutput.get(), out, m_strFileName);
    }
    result = CloseOutputFile(m_hFile, m_strFileName, result);
    if (m_pLib->beCloseStream(m_hbeStream) != BE_ERR_SUCCESSFUL) {
        TQ_TRACE_HR("beCloseStream");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Closing of stream for MP3 encoding was failed");
        if (SUCCEEDED(result)) result = E_FAIL;
    }
    if (FAILED(result)) {
        DropStream();
    } else {
        const std::string name = plat::ToUtf8(plat::BstrToU16(m_strFileName));
        if (m_pLib->beWriteInfoTag) {
            // Without its Info frame the file still plays.
            if (m_pLib->beWriteInfoTag(m_hbeStream, name.c_str()) != BE_ERR_SUCCESSFUL)
                TQ_TRACE_HR("beWriteInfoTag");
        } else if (m_pLib->beWriteVBRHeader(name.c_str()) != BE_ERR_SUCCESSFUL) {
            TQ_TRACE_HR("beWriteVBRHeader");
            TQ_REPORT(EC_INTERNAL, E_FAIL, u"Writing VBR header was failed");
            result = E_FAIL;
        }
        m_hbeStream = 0;
    }
    m_pOutput.reset();
    return result;
}
