#include "service/encoders/ogg/KOggEncoder.h"

#include <vorbis/vorbisenc.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <climits>
#include <random>

#include "platform/core/Text.h"
#include "service/encoders/AvLog.h"

KOggEncoder* KOggEncoder::Create() {
    // The text is the one the service has always logged for this format.
    return CreateEncoder<KOggEncoder>(u"Creation of MP3 encoder was failed");
}

KOggEncoder::KOggEncoder() = default;

KOggEncoder::~KOggEncoder() {
    m_hFile.Close();
    Clear();
}

HRESULT KOggEncoder::SetConstantBitrate(ULONG dwBitrate) {
    KAudioEncoder::SetConstantBitrate(dwBitrate);
    m_llBitrate = int64_t{dwBitrate} * 1000;
    return S_OK;
}

HRESULT KOggEncoder::SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) {
    KAudioEncoder::SetMinMaxBitrates(dwMinBitrate, dwMaxBitrate);
    m_llMinBitrate = int64_t{dwMinBitrate} * 1000;
    m_llMaxBitrate = int64_t{dwMaxBitrate} * 1000;
    return S_OK;
}

void KOggEncoder::Clear() {
    swr_free(&m_pResampler);
    if (m_bStream) ogg_stream_clear(&m_os);
    if (m_bBlock) vorbis_block_clear(&m_vb);
    if (m_bDsp) vorbis_dsp_clear(&m_vd);
    if (m_bComment) vorbis_comment_clear(&m_vc);
    if (m_bInfo) vorbis_info_clear(&m_vi);
    m_bStream = m_bBlock = m_bDsp = m_bComment = m_bInfo = false;
}

HRESULT KOggEncoder::EncoderInit(BSTR bstrFileName) {
    HRESULT hr;
    m_strFileName = plat::Bstr(bstrFileName);
    m_dwPieceSizeInBytes = kPieceSize;
    m_bEos = false;
    m_hrWrite = S_OK;

    if (m_bConstantBitrate) m_lastRates = {m_llBitrate, m_llBitrate, m_llBitrate};
    else m_lastRates = {m_llMaxBitrate, -1, m_llMinBitrate};
    vorbis_info_init(&m_vi);
    m_bInfo = true;
    const bool inRange = m_lastRates.max <= INT_MAX && m_lastRates.min <= INT_MAX &&
                         (m_bConstantBitrate || m_lastRates.min <= m_lastRates.max);
    if (!inRange || vorbis_encode_init(&m_vi, 2, kRate, static_cast<long>(m_lastRates.max),
                                       static_cast<long>(m_lastRates.nominal), static_cast<long>(m_lastRates.min)) != 0) {
        Clear();
        TQ_TRACE_HR("vorbis_encode_init");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Initialisation of stream for OGG encoding was failed");
        ReportRefusal(bstrFileName, RateRefusal());
        return E_INVALIDARG;
    }

    vorbis_comment_init(&m_vc);
    m_bComment = true;
    const std::pair<const char*, const plat::Bstr*> tags[] = {
        {"Title", &m_bstrTitle}, {"Artist", &m_bstrArtist}, {"Album", &m_bstrAlbum}, {"Genre", &m_bstrGenre}};
    for (auto [name, value] : tags) vorbis_comment_add_tag(&m_vc, name, value->Utf8().c_str());

    vorbis_analysis_init(&m_vd, &m_vi);
    m_bDsp = true;
    vorbis_block_init(&m_vd, &m_vb);
    m_bBlock = true;
    thread_local std::mt19937 serials{std::random_device{}()};
    ogg_stream_init(&m_os, static_cast<int>(serials() & 0x7FFFFFFF));
    m_bStream = true;

    RouteFfmpegMessages();
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&m_pResampler, &stereo, AV_SAMPLE_FMT_FLTP, kRate, &stereo, AV_SAMPLE_FMT_S16,
                            static_cast<int>(AUDIO_QUALITY_IN_CACHE), 0, nullptr) < 0 ||
        swr_init(m_pResampler) < 0) {
        Clear();
        TQ_TRACE_HR("swr_init");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Initialisation of stream for OGG encoding was failed");
        return E_FAIL;
    }

    if (FAILED(hr = OpenOutputFile(bstrFileName, &m_hFile))) {
        Clear();
        return hr;
    }
    // The three headers; the first audio packet then starts a page of its own.
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&m_vd, &m_vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&m_os, &header);
    ogg_stream_packetin(&m_os, &comments);
    ogg_stream_packetin(&m_os, &codebooks);
    while (SUCCEEDED(m_hrWrite) && ogg_stream_flush(&m_os, &m_og) != 0) WritePage();
    if (FAILED(m_hrWrite)) {
        m_hFile.Close();
        Clear();
        return m_hrWrite;
    }
    return S_OK;
}

void KOggEncoder::WritePage() {
    if (SUCCEEDED(m_hrWrite = WriteOutput(m_hFile, m_og.header, static_cast<DWORD>(m_og.header_len), m_strFileName)))
        m_hrWrite = WriteOutput(m_hFile, m_og.body, static_cast<DWORD>(m_og.body_len), m_strFileName);
}

HRESULT KOggEncoder::WritePages() {
    while (SUCCEEDED(m_hrWrite) && vorbis_analysis_blockout(&m_vd, &m_vb) == 1) {
        vorbis_analysis(&m_vb, nullptr);
        vorbis_bitrate_addblock(&m_vb);
        while (SUCCEEDED(m_hrWrite) && vorbis_bitrate_flushpacket(&m_vd, &m_op) == 1) {
            ogg_stream_packetin(&m_os, &m_op);
            while (SUCCEEDED(m_hrWrite) && !m_bEos && ogg_stream_pageout(&m_os, &m_og) != 0) {
                WritePage();
                if (ogg_page_eos(&m_og)) m_bEos = true;
            }
        }
    }
    return m_hrWrite;
}

HRESULT KOggEncoder::Analyse(const BYTE* samples, int frames) {
    const int room = swr_get_out_samples(m_pResampler, frames);
    if (room < 0) return E_FAIL;
    if (room == 0) return S_OK;
    float** buffer = vorbis_analysis_buffer(&m_vd, room);
    const uint8_t* in[] = {samples};
    const int made = swr_convert(m_pResampler, reinterpret_cast<uint8_t**>(buffer), room, samples ? in : nullptr,
                                 frames);
    if (made < 0) {
        TQ_TRACE_HR("swr_convert");
        return E_FAIL;
    }
    // No frames is libvorbis's mark for the end of the input: only the flush
    // in EncoderUninit may give it, once.
    if (made > 0) vorbis_analysis_wrote(&m_vd, made);
    return S_OK;
}

HRESULT KOggEncoder::EncodePiece(BYTE* pSamples, DWORD dwBytes) {
    HRESULT hr;
    if (!m_bStream || !m_hFile.IsOpen()) return E_UNEXPECTED;
    if (TQ_FAILED(hr, Analyse(pSamples, static_cast<int>(dwBytes / 4)))) {
        TQ_REPORT(EC_INTERNAL, hr, u"OGG encoding was failed");
        return hr;
    }
    return WritePages();
}

HRESULT KOggEncoder::EncoderUninit() {
    if (!m_bStream) return S_OK;
    HRESULT result = m_hrWrite;
    if (SUCCEEDED(result) && m_hFile.IsOpen() && !m_bEos) {
        // The resampler's rest, then the end of input: the last pages, the
        // final one marked as the end of the stream.
        if (FAILED(Analyse(nullptr, 0))) {
            TQ_REPORT(EC_INTERNAL, E_FAIL, u"OGG encoding was failed");
            result = E_FAIL;
        } else {
            vorbis_analysis_wrote(&m_vd, 0);
            result = WritePages();
            if (SUCCEEDED(result) && !m_bEos) result = E_FAIL;
        }
    }
    result = CloseOutputFile(m_hFile, m_strFileName, result);
    Clear();
    return result;
}
