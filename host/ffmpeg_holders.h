// RAII holders for the FFmpeg objects the host creates, and FFmpeg error text.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace reelhost {

struct InputFormatCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
// An output context owns its I/O context once avio_open has set it.
struct OutputFormatCloser {
    void operator()(AVFormatContext* ctx) const {
        if (ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE)) avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwsFreer {
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};
struct SwrFreer {
    void operator()(SwrContext* ctx) const { swr_free(&ctx); }
};
struct AudioFifoFreer {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatCloser>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFreer>;

// Allocators that throw std::bad_alloc instead of answering null.
FramePtr MakeFrame();
PacketPtr MakePacket();
// A picture of this format and size, its buffer from FFmpeg's pool (not zero-filled).
FramePtr MakePicture(AVPixelFormat format, int width, int height);

// Makes `picture` one the next frame may overwrite: when another holder (an encoder's frame
// threads or look-ahead, a kept source) still shares its buffer, it gets a new one instead of a
// copy. Its contents are then undefined.
void MakeReusable(AVFrame& picture);

// FFmpeg's text for an error code, e.g. "No such file or directory".
std::string AvErrorText(int errnum);

} // namespace reelhost
