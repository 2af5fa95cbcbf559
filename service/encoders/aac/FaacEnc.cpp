#include "service/encoders/aac/FaacEnc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "platform/core/LastError.h"
#include "service/encoders/AvHandles.h"
#include "service/encoders/AvLog.h"

namespace {

constexpr uint32_t kFrameSamples = 1024;  // per channel, fixed by AAC
constexpr uint32_t kAdtsHeaderBytes = 7;
constexpr uint32_t kAdtsMaxFrameBytes = 0x1FFF;  // the 13-bit frame length
constexpr uint32_t kMinBitRate = 8000;
// AAC allows at most 6144 bits per channel in one frame.
constexpr uint64_t kMaxFrameBitsPerChannel = 6144;

constexpr std::array<uint32_t, 13> kSampleRates{96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                 22050, 16000, 12000, 11025, 8000,  7350};

int SampleRateIndex(uint32_t rate) {
    auto it = std::find(kSampleRates.begin(), kSampleRates.end(), rate);
    return it == kSampleRates.end() ? -1 : static_cast<int>(it - kSampleRates.begin());
}

int Fail(DWORD error) {
    plat::SetLastError(error);
    return -1;
}

}  // namespace

struct FaacEncoder {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    faacEncConfiguration config{};   // what callers see and edit
    faacEncConfiguration applied{};  // what the codec was opened with
    AvCodecContextPtr codec;
    AvPacketPtr packet;
    AvFramePtr frame;                        // the codec's input, reused
    std::vector<int16_t> pending;            // interleaved input short of a whole frame
    std::deque<std::vector<uint8_t>> ready;  // framed output not yet handed out
    int64_t nextPts = 0;
    bool started = false;  // a frame has gone to the codec
    bool ended = false;    // the input has ended and the codec is drained

    uint32_t MaxOutputBytes() const {
        return std::min<uint32_t>(kAdtsMaxFrameBytes,
                                  kAdtsHeaderBytes + static_cast<uint32_t>(kMaxFrameBitsPerChannel / 8) * channels);
    }
    uint64_t MaxBitRate() const { return kMaxFrameBitsPerChannel * channels * sampleRate / kFrameSamples; }

    // Opens a codec for the configuration; keeps the open one only on success.
    bool OpenCodec(const faacEncConfiguration& cfg) {
        const AVCodec* aac = avcodec_find_encoder_by_name("aac");
        if (!aac) return Fail(ERROR_NOT_SUPPORTED), false;
        AvCodecContextPtr ctx(avcodec_alloc_context3(aac));
        if (!ctx) return Fail(ERROR_NOT_ENOUGH_MEMORY), false;
        ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
        ctx->sample_rate = static_cast<int>(sampleRate);
        av_channel_layout_default(&ctx->ch_layout, static_cast<int>(channels));
        ctx->bit_rate = cfg.bitRate;
        ctx->cutoff = static_cast<int>(cfg.bandWidth);
        // Both object types are coded with the low-complexity tools. The Main
        // type's only extra tool, backward-adaptive prediction, costs this
        // codec a tenth to a fifth more processor time (its predictor search
        // runs on every long block), and its predicted streams decode far
        // from their input (tone and noise at 128 kbit/s: 10 to 13 dB signal
        // to error against 30 without prediction); ffmpeg's own encode does
        // without it by default. Frames without prediction are valid Main
        // frames: each says "no predictor data", and a Main decoder decodes
        // it as the low-complexity decoder does. So the object type only
        // decides the ADTS header's profile.
        ctx->profile = FF_PROFILE_AAC_LOW;
        ctx->time_base = AVRational{1, static_cast<int>(sampleRate)};
        if (avcodec_open2(ctx.get(), aac, nullptr) < 0) return Fail(ERROR_INVALID_PARAMETER), false;
        // The codec must have kept to that tool set (its stream description
        // starts with the object type it codes for): a codec that turned to
        // prediction or long-term prediction would write what the header
        // of a low-complexity stream does not announce.
        if (ctx->extradata_size >= 1 && (ctx->extradata[0] >> 3) != FAAC_LOW)
            return Fail(ERROR_NOT_SUPPORTED), false;
        if (ctx->frame_size != static_cast<int>(kFrameSamples)) return Fail(ERROR_NOT_SUPPORTED), false;
        codec = std::move(ctx);
        applied = cfg;
        return true;
    }

    void Frame(const AVPacket& pkt) {
        const bool adts = applied.outputFormat == FAAC_OUTPUT_ADTS;
        const uint32_t length = static_cast<uint32_t>(pkt.size) + (adts ? kAdtsHeaderBytes : 0);
        std::vector<uint8_t> out(length);
        uint8_t* p = out.data();
        if (adts) {
            const uint32_t profile = applied.aacObjectType - 1;
            const uint32_t rateIndex = static_cast<uint32_t>(SampleRateIndex(sampleRate));
            p[0] = 0xFF;
            // sync, ID (MPEG version), layer 0, no CRC
            p[1] = static_cast<uint8_t>(0xF0 | ((applied.mpegVersion & 1) << 3) | 0x01);
            p[2] = static_cast<uint8_t>((profile << 6) | (rateIndex << 2) | ((channels >> 2) & 1));
            p[3] = static_cast<uint8_t>(((channels & 3) << 6) | ((length >> 11) & 3));
            p[4] = static_cast<uint8_t>((length >> 3) & 0xFF);
            p[5] = static_cast<uint8_t>(((length & 7) << 5) | 0x1F);  // buffer fullness 0x7FF: variable
            p[6] = 0xFC;                                               // one raw data block
            p += kAdtsHeaderBytes;
        }
        std::memcpy(p, pkt.data, static_cast<size_t>(pkt.size));
        ready.push_back(std::move(out));
    }

    // Moves every packet the codec has finished into the ready queue.
    bool Collect() {
        for (;;) {
            int r = avcodec_receive_packet(codec.get(), packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return Fail(ERROR_INVALID_FUNCTION), false;
            const bool tooLong = packet->size + (applied.outputFormat == FAAC_OUTPUT_ADTS ? kAdtsHeaderBytes : 0) >
                                 MaxOutputBytes();
            if (!tooLong) Frame(*packet);
            av_packet_unref(packet.get());
            if (tooLong) return Fail(ERROR_INSUFFICIENT_BUFFER), false;
        }
    }

    // Sends frames samples per channel (interleaved, all channels) to the
    // codec. One frame buffer serves the whole encode: the codec is done with
    // it once the frame is sent, so it is written over, not allocated anew.
    bool Send(const int16_t* samples, uint32_t frames) {
        if (!frame) {
            AvFramePtr fresh(av_frame_alloc());
            if (!fresh) return Fail(ERROR_NOT_ENOUGH_MEMORY), false;
            fresh->nb_samples = static_cast<int>(kFrameSamples);
            fresh->format = AV_SAMPLE_FMT_FLTP;
            fresh->sample_rate = static_cast<int>(sampleRate);
            if (av_channel_layout_copy(&fresh->ch_layout, &codec->ch_layout) < 0 ||
                av_frame_get_buffer(fresh.get(), 0) < 0)
                return Fail(ERROR_NOT_ENOUGH_MEMORY), false;
            frame = std::move(fresh);
        } else {
            // Still shared (the codec kept a reference): a buffer of its own.
            frame->nb_samples = static_cast<int>(kFrameSamples);
            if (av_frame_make_writable(frame.get()) < 0) return Fail(ERROR_NOT_ENOUGH_MEMORY), false;
        }
        frame->nb_samples = static_cast<int>(frames);
        for (uint32_t c = 0; c < channels; ++c) {
            float* plane = reinterpret_cast<float*>(frame->extended_data[c]);
            const int16_t* in = samples + c;
            for (uint32_t i = 0; i < frames; ++i) plane[i] = float(in[size_t(i) * channels]) * (1.0f / 32768.0f);
        }
        frame->pts = nextPts;
        nextPts += frames;
        started = true;
        if (avcodec_send_frame(codec.get(), frame.get()) < 0) return Fail(ERROR_INVALID_FUNCTION), false;
        return Collect();
    }

    // Takes interleaved input: whole frames go to the codec straight from
    // it, the rest waits in pending for the next call.
    bool Take(const int16_t* samples, uint32_t count) {
        const size_t whole = size_t(kFrameSamples) * channels;
        if (!pending.empty()) {
            const size_t take = std::min<size_t>(count, whole - pending.size());
            pending.insert(pending.end(), samples, samples + take);
            samples += take;
            count -= static_cast<uint32_t>(take);
            if (pending.size() < whole) return true;
            if (!Send(pending.data(), kFrameSamples)) return false;
            pending.clear();
        }
        for (; count >= whole; samples += whole, count -= static_cast<uint32_t>(whole))
            if (!Send(samples, kFrameSamples)) return false;
        pending.assign(samples, samples + count);
        return true;
    }

    bool End() {
        if (!pending.empty() && !Send(pending.data(), static_cast<uint32_t>(pending.size() / channels))) return false;
        pending.clear();
        ended = true;
        if (avcodec_send_frame(codec.get(), nullptr) < 0) return Fail(ERROR_INVALID_FUNCTION), false;
        return Collect();
    }
};

faacEncHandle faacEncOpen(uint32_t sampleRate, uint32_t numChannels, uint32_t* inputSamples,
                          uint32_t* maxOutputBytes) {
    RouteFfmpegMessages();
    if (!inputSamples || !maxOutputBytes || SampleRateIndex(sampleRate) < 0 || numChannels < 1 || numChannels > 2) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::unique_ptr<FaacEncoder> enc(new (std::nothrow) FaacEncoder);
    if (enc) enc->packet.reset(av_packet_alloc());
    if (!enc || !enc->packet) {
        plat::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    enc->sampleRate = sampleRate;
    enc->channels = numChannels;
    enc->config = faacEncConfiguration{FAAC_MPEG4, FAAC_LOW, FAAC_INPUT_16BIT, FAAC_OUTPUT_ADTS, 0, 0, 100};
    enc->applied = enc->config;
    *inputSamples = kFrameSamples * numChannels;
    *maxOutputBytes = enc->MaxOutputBytes();
    return enc.release();
}

faacEncConfiguration* faacEncGetCurrentConfiguration(faacEncHandle handle) {
    if (!handle) plat::SetLastError(ERROR_INVALID_HANDLE);
    return handle ? &handle->config : nullptr;
}

int faacEncSetConfiguration(faacEncHandle handle, faacEncConfiguration* config) {
    if (!handle || !config) return plat::SetLastError(ERROR_INVALID_PARAMETER), 0;
    if (handle->started) return plat::SetLastError(ERROR_BUSY), 0;
    const faacEncConfiguration cfg = *config;
    const bool valid = cfg.mpegVersion <= FAAC_MPEG2 && (cfg.aacObjectType == FAAC_MAIN || cfg.aacObjectType == FAAC_LOW) &&
                       cfg.inputFormat == FAAC_INPUT_16BIT && cfg.outputFormat <= FAAC_OUTPUT_ADTS &&
                       cfg.bandWidth <= handle->sampleRate / 2 &&
                       (cfg.bitRate == 0 || (cfg.bitRate >= kMinBitRate && cfg.bitRate <= handle->MaxBitRate()));
    if (!valid) return plat::SetLastError(ERROR_INVALID_PARAMETER), 0;
    if (!handle->OpenCodec(cfg)) return 0;
    handle->config = cfg;
    return 1;
}

int faacEncEncode(faacEncHandle handle, const void* input, uint32_t samplesInput, uint8_t* output,
                  uint32_t bufferSize) {
    if (!handle || (!output && bufferSize) || (samplesInput && !input)) return Fail(ERROR_INVALID_PARAMETER);
    FaacEncoder& enc = *handle;
    if (samplesInput % enc.channels != 0) return Fail(ERROR_INVALID_PARAMETER);
    if (!enc.codec && !enc.OpenCodec(enc.applied)) return -1;
    if (samplesInput) {
        if (enc.ended) return Fail(ERROR_INVALID_FUNCTION);  // input after its end
        if (!enc.Take(static_cast<const int16_t*>(input), samplesInput)) return -1;
    } else if (!enc.ended && !enc.End()) {
        return -1;
    }
    uint32_t done = 0;
    while (!enc.ready.empty() && enc.ready.front().size() <= bufferSize - done) {
        const auto& frame = enc.ready.front();
        std::memcpy(output + done, frame.data(), frame.size());
        done += static_cast<uint32_t>(frame.size());
        enc.ready.pop_front();
    }
    if (done == 0 && !enc.ready.empty()) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return static_cast<int>(done);
}

int faacEncClose(faacEncHandle handle) {
    if (!handle) return -1;
    std::unique_ptr<FaacEncoder> owned(handle);
    return 0;
}
