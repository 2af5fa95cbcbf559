// The writer: PCM in, wmav2 frames out, in an ASF file.
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "service/encoders/AvHandles.h"
#include "service/encoders/AvLog.h"
#include "service/encoders/wma/AsfDescriptions.h"
#include "service/encoders/wma/WmProfileSpec.h"

namespace {

// An FFmpeg error as an HRESULT: system errors keep their number.
HRESULT FromAv(int err) {
    if (err < 0 && err > -4096) return plat::HResultFromError(plat::SetLastErrorFromErrno(-err));
    return E_FAIL;
}

class SampleBuffer : public plat::ComObject<SampleBuffer, INSSBuffer> {
public:
    explicit SampleBuffer(DWORD size) : m_data(size), m_length(size) {}
    HRESULT GetLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = m_length;
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override {
        if (length > m_data.size()) return E_INVALIDARG;
        m_length = length;
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = static_cast<DWORD>(m_data.size());
        return S_OK;
    }
    HRESULT GetBuffer(BYTE** buffer) override {
        if (!buffer) return E_POINTER;
        *buffer = m_data.data();
        return S_OK;
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        if (!buffer || !length) return E_POINTER;
        *buffer = m_data.data();
        *length = m_length;
        return S_OK;
    }

private:
    std::vector<BYTE> m_data;
    DWORD m_length;
};

WAVEFORMATEX PcmFormat(uint32_t rate, uint32_t channels) {
    const WORD align = static_cast<WORD>(channels * 2);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, static_cast<WORD>(channels), rate, rate * align, align, 16, 0};
}

// The properties of one input: its media type, and the stream it feeds.
class InputProps : public plat::ComObject<InputProps, IWMInputMediaProps, IWMStreamConfig> {
public:
    InputProps(const WmStreamSpec& stream, const WAVEFORMATEX& format)
        : m_config(CreateWmStreamConfig(stream)), m_format(format) {}
    bool Made() const { return m_config != nullptr; }

    HRESULT GetType(GUID* type) override { return GetStreamType(type); }
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override {
        if (!size) return E_POINTER;
        const DWORD needed = sizeof(WM_MEDIA_TYPE) + sizeof(WAVEFORMATEX);
        if (!type) {
            *size = needed;
            return S_OK;
        }
        if (*size < needed) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        BYTE* format = reinterpret_cast<BYTE*>(type) + sizeof(WM_MEDIA_TYPE);
        std::memcpy(format, &m_format, sizeof m_format);
        *type = WM_MEDIA_TYPE{WMMEDIATYPE_Audio, WMMEDIASUBTYPE_PCM, TRUE, FALSE, 0, WMFORMAT_WaveFormatEx,
                              nullptr, sizeof(WAVEFORMATEX), format};
        return S_OK;
    }
    HRESULT SetMediaType(WM_MEDIA_TYPE* type) override {
        if (!type) return E_POINTER;
        WAVEFORMATEX f{};
        if (type->majortype != WMMEDIATYPE_Audio || type->subtype != WMMEDIASUBTYPE_PCM ||
            type->formattype != WMFORMAT_WaveFormatEx || type->cbFormat < sizeof f || !type->pbFormat)
            return E_INVALIDARG;
        std::memcpy(&f, type->pbFormat, sizeof f);
        // 16-bit PCM, mono or stereo, its derived fields consistent.
        if (f.wFormatTag != WAVE_FORMAT_PCM || f.wBitsPerSample != 16 || f.nChannels < 1 || f.nChannels > 2 ||
            f.nSamplesPerSec < 8000 || f.nSamplesPerSec > 192000 || f.nBlockAlign != f.nChannels * 2 ||
            f.nAvgBytesPerSec != f.nSamplesPerSec * f.nBlockAlign)
            return E_INVALIDARG;
        m_format = f;
        return S_OK;
    }

    // The stream this input feeds answers for it.
    HRESULT GetStreamType(GUID* type) override { return m_config->GetStreamType(type); }
    HRESULT GetStreamNumber(WORD* number) override { return m_config->GetStreamNumber(number); }
    HRESULT GetBitrate(DWORD* bitRate) override { return m_config->GetBitrate(bitRate); }

    const WAVEFORMATEX& Format() const { return m_format; }

protected:
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IWMMediaProps) return E_NOINTERFACE;
        *ppv = static_cast<IWMMediaProps*>(this);
        AddRef();
        return S_OK;
    }

private:
    plat::ComPtr<IWMStreamConfig> m_config;
    WAVEFORMATEX m_format;
};

struct FormatContextFree {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

class WmWriter : public plat::ComObject<WmWriter, IWMWriter, IWMHeaderInfo, IWmOutputStatus> {
public:
    ~WmWriter() override { Close(false); }

    DWORD OutputError() const override { return m_outputError; }

    HRESULT SetProfile(IWMProfile* profile) override {
        if (!profile) return E_POINTER;
        if (m_state != State::Idle) return E_UNEXPECTED;
        plat::ComPtr<IWmProfileSpec> spec;
        if (FAILED(plat::ComPtr<IWMProfile>(profile).As(&spec))) return E_INVALIDARG;
        m_spec = spec->Spec();
        m_hasProfile = true;
        const WmStreamSpec& s = m_spec.streams.front();
        m_input = PcmFormat(s.sampleRate, s.channels);
        return S_OK;
    }
    HRESULT SetOutputFilename(const char16_t* name) override {
        if (!name || !*name) return E_INVALIDARG;
        if (m_state != State::Idle) return E_UNEXPECTED;
        m_path = plat::ToUtf8(name);
        return S_OK;
    }
    HRESULT GetInputCount(DWORD* count) override {
        if (!count) return E_POINTER;
        *count = m_hasProfile ? 1 : 0;
        return S_OK;
    }
    HRESULT GetInputProps(DWORD input, IWMInputMediaProps** props) override {
        if (!props) return E_POINTER;
        *props = nullptr;
        if (!m_hasProfile || input != 0) return E_INVALIDARG;
        plat::ComPtr<InputProps> p(InputProps::CreateInstance(m_spec.streams.front(), m_input));
        if (!p || !p->Made()) return E_OUTOFMEMORY;
        *props = p.Detach();
        return S_OK;
    }
    HRESULT SetInputProps(DWORD input, IWMInputMediaProps* props) override {
        if (!props) return E_POINTER;
        if (!m_hasProfile || input != 0) return E_INVALIDARG;
        if (m_state != State::Idle) return E_UNEXPECTED;
        DWORD size = 0;
        HRESULT hr = props->GetMediaType(nullptr, &size);
        if (FAILED(hr)) return hr;
        if (size < sizeof(WM_MEDIA_TYPE) || size > 4096) return E_INVALIDARG;
        std::vector<uint64_t> storage((size + 7) / 8);
        auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.data());
        if (FAILED(hr = props->GetMediaType(type, &size))) return hr;
        // A copy that checks the type as SetMediaType does.
        plat::ComPtr<InputProps> check(InputProps::CreateInstance(m_spec.streams.front(), m_input));
        if (!check || !check->Made()) return E_OUTOFMEMORY;
        if (FAILED(hr = check->SetMediaType(type))) return hr;
        m_input = check->Format();
        return S_OK;
    }

    HRESULT SetAttribute(WORD stream, const char16_t* name, WMT_ATTR_DATATYPE type, const BYTE* value,
                         WORD length) override {
        if (!name || (!value && length)) return E_POINTER;
        if (stream != 0 || type != WMT_TYPE_STRING || length % 2 != 0) return E_INVALIDARG;
        if (m_state != State::Idle) return E_UNEXPECTED;
        std::u16string text(length / 2, u'\0');
        if (length) std::memcpy(text.data(), value, length);
        while (!text.empty() && text.back() == u'\0') text.pop_back();
        if (text.find(u'\0') != std::u16string::npos) return E_INVALIDARG;
        // The muxer stores its common keys under the header's own names.
        const std::u16string key(name);
        const char* known = key == u"Title" ? "title"
                            : key == u"Author" ? "artist"
                            : key == u"WM/AlbumTitle" ? "album"
                            : key == u"WM/Genre" ? "genre"
                                                 : nullptr;
        m_attributes.emplace_back(known ? std::string(known) : plat::ToUtf8(key), plat::ToUtf8(text));
        return S_OK;
    }

    HRESULT BeginWriting() override {
        if (m_state != State::Idle || !m_hasProfile || m_path.empty()) return E_UNEXPECTED;
        HRESULT hr = Open();
        if (FAILED(hr)) {
            Close(true);
            return hr;
        }
        m_state = State::Writing;
        return S_OK;
    }

    HRESULT AllocateSample(DWORD size, INSSBuffer** sample) override {
        if (!sample) return E_POINTER;
        *sample = nullptr;
        if (size == 0) return E_INVALIDARG;
        plat::ComPtr<INSSBuffer> b(SampleBuffer::CreateInstance(size));
        if (!b) return E_OUTOFMEMORY;
        *sample = b.Detach();
        return S_OK;
    }

    HRESULT WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer* sample) override {
        if (!sample) return E_POINTER;
        if (input != 0) return E_INVALIDARG;
        if (m_state != State::Writing) return E_UNEXPECTED;
        BYTE* data = nullptr;
        DWORD length = 0;
        HRESULT hr = sample->GetBufferAndLength(&data, &length);
        if (FAILED(hr)) return hr;
        if (length % m_input.nBlockAlign != 0 || (length && !data)) return E_INVALIDARG;
        if (FAILED(hr = Convert(data, static_cast<int>(length / m_input.nBlockAlign))) || FAILED(hr = Encode(false)))
            Fail();
        return hr;
    }

    HRESULT EndWriting() override {
        if (m_state != State::Writing) return E_UNEXPECTED;
        HRESULT hr = Convert(nullptr, 0);  // what the resampler holds
        if (SUCCEEDED(hr)) hr = Encode(true);
        if (SUCCEEDED(hr)) {
            const int r = av_write_trailer(m_format.get());
            if (r < 0) hr = MuxFailure(r);
        }
        if (SUCCEEDED(hr)) {
            const int r = avio_closep(&m_format->pb);
            if (r < 0) hr = OutputFailure(r);
        }
        // Each text attribute once: readers list the muxer's second copies.
        if (SUCCEEDED(hr) && FAILED(hr = DropDuplicateDescriptions(plat::ToUtf16(m_path))) && m_outputError == 0)
            m_outputError = HRESULT_CODE(hr);
        Close(false);
        m_state = SUCCEEDED(hr) ? State::Done : State::Failed;
        return hr;
    }

private:
    enum class State { Idle, Writing, Done, Failed };

    // A failure of the output file: its system error is kept for
    // OutputError and returned.
    HRESULT OutputFailure(int r) {
        const DWORD error = r < 0 && r > -4096 ? plat::SetLastErrorFromErrno(-r) : ERROR_WRITE_FAULT;
        if (m_outputError == 0) m_outputError = error;
        return plat::HResultFromError(error);
    }
    // A failure of the muxer: the output's, when the file refused the bytes.
    HRESULT MuxFailure(int r) {
        const AVIOContext* pb = m_format ? m_format->pb : nullptr;
        return pb && pb->error < 0 ? OutputFailure(pb->error) : FromAv(r);
    }

    HRESULT Open() {
        const WmStreamSpec& s = m_spec.streams.front();
        const AVOutputFormat* asf = av_guess_format("asf", nullptr, nullptr);
        const AVCodec* codec = avcodec_find_encoder_by_name(s.codec.c_str());
        if (!asf || !codec) return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        AVFormatContext* oc = nullptr;
        if (avformat_alloc_output_context2(&oc, asf, nullptr, m_path.c_str()) < 0 || !oc) return E_OUTOFMEMORY;
        m_format.reset(oc);
        AVStream* st = avformat_new_stream(oc, nullptr);
        m_codec.reset(avcodec_alloc_context3(codec));
        m_packet.reset(av_packet_alloc());
        if (!st || !m_codec || !m_packet) return E_OUTOFMEMORY;
        AVCodecContext* cc = m_codec.get();
        cc->sample_fmt = AV_SAMPLE_FMT_FLTP;
        cc->sample_rate = static_cast<int>(s.sampleRate);
        cc->bit_rate = s.bitRate;
        cc->time_base = AVRational{1, cc->sample_rate};
        av_channel_layout_default(&cc->ch_layout, static_cast<int>(s.channels));
        if (oc->oformat->flags & AVFMT_GLOBALHEADER) cc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int r = avcodec_open2(cc, codec, nullptr);
        if (r < 0) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);  // the codec refuses the profile's stream
        if ((r = avcodec_parameters_from_context(st->codecpar, cc)) < 0) return FromAv(r);
        st->time_base = cc->time_base;

        AVChannelLayout inLayout{};
        av_channel_layout_default(&inLayout, m_input.nChannels);
        SwrContext* swr = nullptr;
        r = swr_alloc_set_opts2(&swr, &cc->ch_layout, cc->sample_fmt, cc->sample_rate, &inLayout, AV_SAMPLE_FMT_S16,
                                static_cast<int>(m_input.nSamplesPerSec), 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        m_swr.reset(swr);
        if (r < 0 || (r = swr_init(swr)) < 0) return FromAv(r);
        m_fifo.reset(av_audio_fifo_alloc(cc->sample_fmt, static_cast<int>(s.channels), cc->frame_size * 2));
        if (!m_fifo) return E_OUTOFMEMORY;

        for (const auto& [key, value] : m_attributes) av_dict_set(&oc->metadata, key.c_str(), value.c_str(), 0);
        if ((r = avio_open(&oc->pb, m_path.c_str(), AVIO_FLAG_WRITE)) < 0) return OutputFailure(r);
        m_created = true;
        AVDictionary* options = nullptr;
        if (m_spec.packetSize) av_dict_set_int(&options, "packet_size", m_spec.packetSize, 0);
        r = avformat_write_header(oc, &options);
        av_dict_free(&options);
        return r < 0 ? MuxFailure(r) : S_OK;
    }

    // Resamples frames of input PCM into the codec's queue; no data flushes
    // the resampler.
    HRESULT Convert(const BYTE* data, int frames) {
        const int room = swr_get_out_samples(m_swr.get(), frames);
        if (room < 0) return FromAv(room);
        if (room == 0) return S_OK;
        const int channels = m_codec->ch_layout.nb_channels;
        m_planes.resize(size_t(channels));
        for (auto& p : m_planes) p.resize(size_t(room));
        uint8_t* out[2] = {};
        for (int c = 0; c < channels; ++c) out[c] = reinterpret_cast<uint8_t*>(m_planes[size_t(c)].data());
        const uint8_t* in[1] = {data};
        int got = swr_convert(m_swr.get(), out, room, data ? in : nullptr, frames);
        if (got < 0) return FromAv(got);
        if (got > 0 && av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(out), got) < got)
            return E_OUTOFMEMORY;
        return S_OK;
    }

    // Encodes every whole frame queued; at the end also the last part frame,
    // filled with silence (the codec takes whole frames only), and what the
    // codec holds.
    HRESULT Encode(bool end) {
        const int frameSize = m_codec->frame_size;
        while (av_audio_fifo_size(m_fifo.get()) >= frameSize || (end && av_audio_fifo_size(m_fifo.get()) > 0)) {
            AvFramePtr frame(av_frame_alloc());
            if (!frame) return E_OUTOFMEMORY;
            frame->nb_samples = frameSize;
            frame->format = m_codec->sample_fmt;
            frame->sample_rate = m_codec->sample_rate;
            int r = av_channel_layout_copy(&frame->ch_layout, &m_codec->ch_layout);
            if (r < 0 || (r = av_frame_get_buffer(frame.get(), 0)) < 0) return FromAv(r);
            av_samples_set_silence(frame->extended_data, 0, frameSize, frame->ch_layout.nb_channels,
                                   static_cast<AVSampleFormat>(frame->format));
            if (av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(frame->extended_data), frameSize) < 0)
                return E_FAIL;
            frame->pts = m_nextPts;
            m_nextPts += frameSize;
            if ((r = avcodec_send_frame(m_codec.get(), frame.get())) < 0) return FromAv(r);
            HRESULT hr = WritePackets();
            if (FAILED(hr)) return hr;
        }
        if (!end) return S_OK;
        int r = avcodec_send_frame(m_codec.get(), nullptr);
        return r < 0 ? FromAv(r) : WritePackets();
    }

    HRESULT WritePackets() {
        for (;;) {
            int r = avcodec_receive_packet(m_codec.get(), m_packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return S_OK;
            if (r < 0) return FromAv(r);
            m_packet->stream_index = 0;
            av_packet_rescale_ts(m_packet.get(), m_codec->time_base, m_format->streams[0]->time_base);
            if ((r = av_interleaved_write_frame(m_format.get(), m_packet.get())) < 0) return MuxFailure(r);
        }
    }

    void Fail() {
        Close(false);
        m_state = State::Failed;
    }

    // Frees the codec machinery and closes the file; a file that never got
    // its header is removed.
    void Close(bool removeFile) {
        m_format.reset();
        m_codec.reset();
        m_swr.reset();
        m_fifo.reset();
        m_packet.reset();
        if (removeFile && m_created) ::unlink(m_path.c_str());
        m_created = false;
    }

    State m_state = State::Idle;
    bool m_hasProfile = false;
    WmProfileSpec m_spec;
    WAVEFORMATEX m_input{};
    std::string m_path;
    std::vector<std::pair<std::string, std::string>> m_attributes;
    bool m_created = false;
    DWORD m_outputError = 0;
    std::unique_ptr<AVFormatContext, FormatContextFree> m_format;
    AvCodecContextPtr m_codec;
    std::unique_ptr<SwrContext, SwrFree> m_swr;
    std::unique_ptr<AVAudioFifo, FifoFree> m_fifo;
    AvPacketPtr m_packet;
    std::vector<std::vector<float>> m_planes;
    int64_t m_nextPts = 0;
};

}  // namespace

HRESULT WMCreateWriter(IUnknown* /*pUnkCert*/, IWMWriter** writer) {
    if (!writer) return E_POINTER;
    RouteFfmpegMessages();
    plat::ComPtr<IWMWriter> w(WmWriter::CreateInstance());
    if (!w) return E_OUTOFMEMORY;
    *writer = w.Detach();
    return S_OK;
}
