// The lame_enc library over libmp3lame. Built as liblame_enc.so; only the
// entry points are exported. The tests also build it without beWriteInfoTag
// (LAME_ENC_WITHOUT_INFO_TAG) and without beCloseStream (LAME_ENC_PARTIAL).
#include <lame/lame.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "service/encoders/mp3/LameEnc.h"

#define LAME_ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Stream {
    lame_t gfp = nullptr;
    bool keepForTag = false;
    bool closed = false;
};

// Every open or tag-waiting stream; a handle is checked against it before use.
std::mutex g_lock;
std::map<Stream*, std::unique_ptr<Stream>> g_streams;
Stream* g_last = nullptr;  // the last stream closed while waiting for its tag

Stream* Find(HBE_STREAM h) {
    auto* s = reinterpret_cast<Stream*>(h);
    return g_streams.count(s) ? s : nullptr;
}

void Destroy(Stream* s) {
    if (g_last == s) g_last = nullptr;
    lame_close(s->gfp);
    g_streams.erase(s);
}

// The rates an MPEG-1 or MPEG-2 layer III stream may have, by its sample rate.
bool ValidRate(uint32_t kbps, uint32_t sampleRate) {
    static const uint32_t mpeg1[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const uint32_t mpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const bool one = sampleRate >= 32000;
    const uint32_t* first = one ? mpeg1 : mpeg2;
    const uint32_t* last = first + (one ? std::size(mpeg1) : std::size(mpeg2));
    return std::find(first, last, kbps) != last;
}

// Skips an ID3v2 tag at the file's start; false when the file cannot be read.
bool SkipId3(FILE* f, long* offset) {
    unsigned char h[10];
    *offset = 0;
    if (std::fseek(f, 0, SEEK_SET) != 0) return false;
    if (std::fread(h, 1, 10, f) != 10) return false;
    if (std::memcmp(h, "ID3", 3) == 0) {
        if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return false;
        long size = (long(h[6]) << 21) | (long(h[7]) << 14) | (long(h[8]) << 7) | long(h[9]);
        *offset = 10 + size + ((h[5] & 0x10) ? 10 : 0);
    }
    return true;
}

BE_ERR WriteTag(Stream* s, const char* fileName) {
    BE_ERR result = BE_ERR_SUCCESSFUL;
    if (fileName) {
        result = BE_ERR_INVALID_FORMAT;
        unsigned char frame[2880];  // the largest layer III frame
        const size_t size = lame_get_lametag_frame(s->gfp, frame, sizeof frame);
        if (FILE* f = std::fopen(fileName, "rb+")) {
            long offset = 0;
            unsigned char sync[2];
            if (size > 0 && size <= sizeof frame && SkipId3(f, &offset) && std::fseek(f, offset, SEEK_SET) == 0 &&
                std::fread(sync, 1, 2, f) == 2 && sync[0] == 0xFF && (sync[1] & 0xE0) == 0xE0 &&
                std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(frame, 1, size, f) == size)
                result = BE_ERR_SUCCESSFUL;
            if (std::fclose(f) != 0) result = BE_ERR_INVALID_FORMAT;
        }
    }
    Destroy(s);
    return result;
}

}  // namespace

LAME_ENC_EXPORT BE_ERR beInitStream(BE_CONFIG* pbeConfig, uint32_t* dwSamples, uint32_t* dwBufferSize,
                                    HBE_STREAM* phbeStream) {
    if (!pbeConfig || !dwSamples || !dwBufferSize || !phbeStream) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *phbeStream = 0;
    if (pbeConfig->dwConfig != BE_CONFIG_LAME) return BE_ERR_INVALID_FORMAT;
    // The caller's record may be shorter (an older layout) or longer.
    BE_CONFIG c{};
    std::memcpy(&c, pbeConfig, std::min<size_t>(std::max<uint32_t>(pbeConfig->dwStructSize, 12), sizeof c));
    if (c.nMode < BE_MP3_MODE_STEREO || c.nMode > BE_MP3_MODE_MONO) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    const uint32_t outRate = c.dwReSampleRate ? c.dwReSampleRate : c.dwSampleRate;
    if (c.bEnableVBR) {
        if (c.dwBitrate && !ValidRate(c.dwBitrate, outRate)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        if (c.dwMaxBitrate && !ValidRate(c.dwMaxBitrate, outRate)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        if (c.dwBitrate && c.dwMaxBitrate && c.dwBitrate > c.dwMaxBitrate) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    } else if (!ValidRate(c.dwBitrate, outRate)) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }

    lame_t l = lame_init();
    if (!l) return BE_ERR_NO_MORE_HANDLES;
    const int channels = c.nMode == BE_MP3_MODE_MONO ? 1 : 2;
    lame_set_num_channels(l, channels);
    lame_set_in_samplerate(l, static_cast<int>(c.dwSampleRate));
    lame_set_out_samplerate(l, static_cast<int>(outRate));
    static const MPEG_mode modes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
    lame_set_mode(l, modes[c.nMode]);
    if (c.nPreset == LQP_CBR || !c.bEnableVBR) {
        lame_set_VBR(l, vbr_off);
        lame_set_brate(l, static_cast<int>(c.dwBitrate));
    } else {
        switch (c.nVbrMethod) {
            case VBR_METHOD_OLD: lame_set_VBR(l, vbr_rh); break;
            case VBR_METHOD_ABR:
                lame_set_VBR(l, vbr_abr);
                lame_set_VBR_mean_bitrate_kbps(l, static_cast<int>(c.dwVbrAbr_bps / 1000));
                break;
            default: lame_set_VBR(l, vbr_mtrh); break;
        }
        lame_set_VBR_q(l, std::clamp(c.nVBRQuality, 0, 9));
        if (c.dwBitrate) lame_set_VBR_min_bitrate_kbps(l, static_cast<int>(c.dwBitrate));
        if (c.dwMaxBitrate) lame_set_VBR_max_bitrate_kbps(l, static_cast<int>(c.dwMaxBitrate));
    }
    lame_set_copyright(l, c.bCopyright ? 1 : 0);
    lame_set_original(l, c.bOriginal ? 1 : 0);
    lame_set_extension(l, c.bPrivate ? 1 : 0);
    lame_set_error_protection(l, c.bCRC ? 1 : 0);
    lame_set_strict_ISO(l, c.bStrictIso ? 1 : 0);
    lame_set_disable_reservoir(l, c.bNoRes ? 1 : 0);
    lame_set_bWriteVbrTag(l, c.bWriteVBRHeader ? 1 : 0);
    if ((c.nQuality >> 8) == (~c.nQuality & 0xFF)) lame_set_quality(l, c.nQuality & 0xFF);
    if (lame_init_params(l) < 0) {
        lame_close(l);
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    Stream* s = nullptr;
    try {
        auto owned = std::make_unique<Stream>(Stream{l, c.bWriteVBRHeader != 0, false});
        s = owned.get();
        std::lock_guard<std::mutex> guard(g_lock);
        g_streams.emplace(s, std::move(owned));
    } catch (const std::bad_alloc&) {
        lame_close(l);
        return BE_ERR_NO_MORE_HANDLES;
    }
    *dwSamples = 1152u * static_cast<uint32_t>(channels);
    *dwBufferSize = static_cast<uint32_t>(1.25 * 1152 + 7200);
    *phbeStream = reinterpret_cast<HBE_STREAM>(s);
    return BE_ERR_SUCCESSFUL;
}

LAME_ENC_EXPORT BE_ERR beEncodeChunk(HBE_STREAM hbeStream, uint32_t nSamples, int16_t* pSamples, uint8_t* pOutput,
                                     uint32_t* pdwOutput) {
    if (!pdwOutput) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *pdwOutput = 0;
    Stream* s;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        s = Find(hbeStream);
    }
    if (!s || s->closed) return BE_ERR_INVALID_HANDLE;
    if (!pOutput || (nSamples && !pSamples)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    const int channels = lame_get_num_channels(s->gfp);
    const int frames = static_cast<int>(nSamples / static_cast<uint32_t>(channels));
    const int room = static_cast<int>(1.25 * frames + 7200);
    const int n = channels == 1 ? lame_encode_buffer(s->gfp, pSamples, pSamples, frames, pOutput, room)
                                : lame_encode_buffer_interleaved(s->gfp, pSamples, frames, pOutput, room);
    if (n < 0) return BE_ERR_BUFFER_TOO_SMALL;
    *pdwOutput = static_cast<uint32_t>(n);
    return BE_ERR_SUCCESSFUL;
}

LAME_ENC_EXPORT BE_ERR beDeinitStream(HBE_STREAM hbeStream, uint8_t* pOutput, uint32_t* pdwOutput) {
    if (!pdwOutput) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *pdwOutput = 0;
    Stream* s;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        s = Find(hbeStream);
    }
    if (!s || s->closed) return BE_ERR_INVALID_HANDLE;
    if (!pOutput) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    const int n = lame_encode_flush(s->gfp, pOutput, 7200);
    if (n < 0) return BE_ERR_BUFFER_TOO_SMALL;
    *pdwOutput = static_cast<uint32_t>(n);
    return BE_ERR_SUCCESSFUL;
}

#ifndef LAME_ENC_PARTIAL
LAME_ENC_EXPORT BE_ERR beCloseStream(HBE_STREAM hbeStream) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = Find(hbeStream);
    if (!s || s->closed) return BE_ERR_INVALID_HANDLE;
    if (!s->keepForTag) {
        Destroy(s);
        return BE_ERR_SUCCESSFUL;
    }
    s->closed = true;
    g_last = s;
    return BE_ERR_SUCCESSFUL;
}
#endif

LAME_ENC_EXPORT void beVersion(BE_VERSION* pbeVersion) {
    if (!pbeVersion) return;
    std::memset(pbeVersion, 0, sizeof *pbeVersion);
    pbeVersion->byDLLMajorVersion = 1;
    pbeVersion->byDLLMinorVersion = 32;
    lame_version_t v;
    get_lame_version_numerical(&v);
    pbeVersion->byMajorVersion = static_cast<uint8_t>(v.major);
    pbeVersion->byMinorVersion = static_cast<uint8_t>(v.minor);
    pbeVersion->byAlphaLevel = static_cast<uint8_t>(v.alpha);
    pbeVersion->byBetaLevel = static_cast<uint8_t>(v.beta);
    std::snprintf(pbeVersion->zHomepage, sizeof pbeVersion->zHomepage, "%s", get_lame_url());
}

LAME_ENC_EXPORT BE_ERR beWriteVBRHeader(const char* lpszFileName) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_last) return BE_ERR_INVALID_HANDLE;
    return WriteTag(g_last, lpszFileName);
}

#ifndef LAME_ENC_WITHOUT_INFO_TAG
LAME_ENC_EXPORT BE_ERR beWriteInfoTag(HBE_STREAM hbeStream, const char* lpszFileName) {
    std::lock_guard<std::mutex> guard(g_lock);
    Stream* s = Find(hbeStream);
    if (!s || !s->closed) return BE_ERR_INVALID_HANDLE;
    return WriteTag(s, lpszFileName);
}
#endif

