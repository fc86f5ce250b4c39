// Streams into a container through libavformat.
#include "muxer.h"
#include "host_error.h"

namespace reelhost {

CodecContextPtr NewCodecContext(const AVCodec* codec) {
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) throw std::bad_alloc();
    return context;
}

Muxer::Muxer(std::string path) : path_(std::move(path)), packet_(MakePacket()) {
    AVFormatContext* raw = nullptr;
    const int err = avformat_alloc_output_context2(&raw, nullptr, nullptr, path_.c_str());
    if (err < 0 || !raw) throw HostError("cannot write '" + path_ + "': " + AvErrorText(err));
    format_.reset(raw);
}

void Muxer::RequireTakes(AVCodecID codec, const char* extension) const {
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec);
    if (codec == AV_CODEC_ID_NONE || !avcodec_find_encoder(codec))
        throw HostError("cannot write '" + path_ + "': this FFmpeg has no " +
                        (desc ? desc->name : "such") + " encoder");
    if (avformat_query_codec(format_->oformat, codec, FF_COMPLIANCE_NORMAL) != 1)
        throw HostError("cannot write '" + path_ + "': " + desc->long_name + " does not go into " +
                        format_->oformat->name + " files; name the output " + extension);
}

AVStream& Muxer::AddStream(AVCodecContext& context, const AVCodec* codec) {
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int err = avcodec_open2(&context, codec, nullptr);
    if (err < 0)
        throw HostError("cannot write '" + path_ + "': the " + codec->name +
                        " encoder refused its settings: " + AvErrorText(err));
    AVStream* stream = avformat_new_stream(format_.get(), nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, &context) < 0)
        throw std::bad_alloc();
    stream->time_base = context.time_base;
    return *stream;
}

void Muxer::Open(const std::string& writingPath) {
    int err = avio_open(&format_->pb, writingPath.c_str(), AVIO_FLAG_WRITE);
    if (err >= 0) err = avformat_write_header(format_.get(), nullptr);
    if (err < 0) throw HostError("cannot write '" + path_ + "': " + AvErrorText(err));
}

void Muxer::Encode(AVCodecContext& encoder, AVStream& stream, AVFrame* frame) {
    int err = avcodec_send_frame(&encoder, frame);
    while (err >= 0) {
        err = avcodec_receive_packet(&encoder, packet_.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
        if (err >= 0) {
            // Some encoders leave a picture's duration unset; the container then shortens the
            // last frame.
            if (packet_->duration == 0 && encoder.codec_type == AVMEDIA_TYPE_VIDEO)
                packet_->duration = 1;
            av_packet_rescale_ts(packet_.get(), encoder.time_base, stream.time_base);
            packet_->stream_index = stream.index;
            err = av_interleaved_write_frame(format_.get(), packet_.get());
        }
    }
    throw HostError("cannot write '" + path_ + "': " + AvErrorText(err));
}

void Muxer::Finish() {
    const int err = av_write_trailer(format_.get());
    if (err < 0) throw HostError("cannot write '" + path_ + "': " + AvErrorText(err));
    format_.reset();
}

} // namespace reelhost
