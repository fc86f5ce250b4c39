// Demuxing and decoding of one stream of an input file.
#include "stream_decoder.h"
#include "host_error.h"

#include <new>

namespace reelhost {
namespace {

const char* KindOf(AVMediaType type) {
    return type == AVMEDIA_TYPE_VIDEO ? "video" : "sound";
}

} // namespace

InputFormatPtr OpenInputFile(const std::string& path) {
    AVFormatContext* raw = nullptr;
    int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (err < 0) throw HostError("cannot read '" + path + "': " + AvErrorText(err));
    InputFormatPtr format(raw);
    err = avformat_find_stream_info(format.get(), nullptr);
    if (err < 0) throw HostError("cannot read '" + path + "': " + AvErrorText(err));
    return format;
}

bool ReadPacket(AVFormatContext& format, AVPacket& packet, const std::string& path) {
    const int err = av_read_frame(&format, &packet);
    if (err == AVERROR_EOF) return false;
    if (err < 0) throw HostError("cannot read '" + path + "': " + AvErrorText(err));
    return true;
}

StreamDecoder::StreamDecoder(const std::string& path, AVMediaType type, bool required)
    : path_(path), format_(OpenInputFile(path)), packet_(MakePacket()) {
    const AVCodec* codec = nullptr;
    index_ = av_find_best_stream(format_.get(), type, -1, -1, &codec, 0);
    if (index_ == AVERROR_DECODER_NOT_FOUND)
        throw HostError("'" + path + "': no decoder for its " + KindOf(type));
    if (index_ < 0) {
        if (required) throw HostError("'" + path + "' holds no " + KindOf(type));
        index_ = -1;
        return;
    }
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_) throw std::bad_alloc();
    int err = avcodec_parameters_to_context(codec_.get(), Stream().codecpar);
    codec_->pkt_timebase = Stream().time_base;
    if (type == AVMEDIA_TYPE_VIDEO) {
        // Pictures are the heavy part of a render: FFmpeg's own threads, as many as it likes.
        codec_->thread_count = 0;
        codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (err >= 0) err = avcodec_open2(codec_.get(), codec, nullptr);
    if (err < 0)
        throw HostError("'" + path + "': cannot decode its " + KindOf(type) + ": " +
                        AvErrorText(err));
}

int StreamDecoder::FindStream(AVMediaType type) const {
    const int found = av_find_best_stream(format_.get(), type, -1, -1, nullptr, 0);
    return found >= 0 ? found : -1;
}

bool StreamDecoder::Next(AVFrame& frame) {
    for (;;) {
        const int err = avcodec_receive_frame(codec_.get(), &frame);
        if (err >= 0) return true;
        if (err == AVERROR_EOF || (err == AVERROR(EAGAIN) && draining_)) {
            if (!readFailure_.empty()) throw HostError(readFailure_);
            return false;
        }
        if (err != AVERROR(EAGAIN))
            throw HostError("'" + path_ + "': decoding failed: " + AvErrorText(err));
        Feed();
    }
}

// Sends the decoder the next packet of our stream, or the end of the stream. A decoder with
// frame threads reads ahead of the pictures it hands out: after a read failure the pictures
// it already has still come out, and the failure is raised where the pictures end.
void StreamDecoder::Feed() {
    for (;;) {
        bool read = false;
        try {
            read = ReadPacket(*format_, *packet_, path_);
        } catch (const HostError& failure) {
            readFailure_ = failure.what();
        }
        if (!read) {
            draining_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            return;
        }
        const bool ours = packet_->stream_index == index_;
        // A damaged packet is dropped; the decoder conceals the gap as players do.
        const bool accepted = ours && avcodec_send_packet(codec_.get(), packet_.get()) >= 0;
        av_packet_unref(packet_.get());
        if (accepted) return;
    }
}

bool StreamDecoder::SeekTo(int64_t timestamp) {
    if (avformat_seek_file(format_.get(), index_, INT64_MIN, timestamp, timestamp, 0) < 0 &&
        av_seek_frame(format_.get(), index_, timestamp, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(codec_.get());
    draining_ = false;
    readFailure_.clear();
    return true;
}

} // namespace reelhost
