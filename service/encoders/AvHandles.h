#pragma once
// Owning handles for the FFmpeg objects the codec layers use.
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

struct AvCodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct AvFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextFree>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFree>;
