// Sound encoding through a FIFO that cuts the host's per-frame blocks into encoder frames.
#include "sound_encoder.h"
#include "host_error.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>

namespace reelhost {
namespace {

constexpr int kSoundBitsPerChannel = 96000; // the AAC bit rate, per channel

} // namespace

SoundEncoder::SoundEncoder(Muxer& muxer, AVCodecID id, SoundFormat format, const std::string& path)
    : muxer_(muxer), format_(format), path_(path) {
    const AVCodec* codec = avcodec_find_encoder(id);
    context_ = NewCodecContext(codec);
    AVCodecContext& c = *context_;
    c.sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    c.sample_rate = format.sampleRate;
    av_channel_layout_default(&c.ch_layout, format.channels);
    if (id == AV_CODEC_ID_AAC) c.bit_rate = int64_t(kSoundBitsPerChannel) * format.channels;
    c.time_base = {1, c.sample_rate};
    stream_ = &muxer_.AddStream(c, codec);
    fifo_.reset(av_audio_fifo_alloc(c.sample_fmt, format.channels, format.sampleRate));
    frame_ = MakeFrame();
    frame_->format = c.sample_fmt;
    frame_->nb_samples = FrameSize();
    frame_->sample_rate = c.sample_rate;
    if (!fifo_ || av_channel_layout_copy(&frame_->ch_layout, &c.ch_layout) < 0 ||
        av_frame_get_buffer(frame_.get(), 0) < 0)
        throw std::bad_alloc();
    if (c.sample_fmt != AV_SAMPLE_FMT_FLTP) OpenConverter();
}

// The host's sound is planar float; other encoders get it converted, same rate and layout.
void SoundEncoder::OpenConverter() {
    AVCodecContext& c = *context_;
    SwrContext* raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &c.ch_layout, c.sample_fmt, c.sample_rate, &c.ch_layout,
                            AV_SAMPLE_FMT_FLTP, c.sample_rate, 0, nullptr) < 0 ||
        swr_init(raw) < 0) {
        swr_free(&raw);
        throw HostError("cannot write '" + path_ + "': cannot convert its sound");
    }
    converter_.reset(raw);
}

void SoundEncoder::Write(const AudioBlock& sound) {
    Queue(sound);
    EncodeQueued(false);
}

void SoundEncoder::Finish() {
    EncodeQueued(true);
    muxer_.Encode(*context_, *stream_, nullptr);
}

void SoundEncoder::Queue(const AudioBlock& sound) {
    // The FIFO only reads the planes; FFmpeg's signatures just lack the const.
    void** planes = const_cast<void**>(sound.ConstPlanes());
    if (converter_) {
        if (scratchSamples_ < sound.Length()) ReserveScratch(sound.Length());
        if (swr_convert(converter_.get(), scratchPlanes_, sound.Length(),
                        const_cast<const uint8_t**>(reinterpret_cast<uint8_t**>(planes)),
                        sound.Length()) < 0)
            throw HostError("cannot write '" + path_ + "': cannot convert its sound");
        planes = reinterpret_cast<void**>(scratchPlanes_);
    }
    if (av_audio_fifo_write(fifo_.get(), planes, sound.Length()) < sound.Length())
        throw std::bad_alloc();
}

// Room for `samples` samples in the encoder's format.
void SoundEncoder::ReserveScratch(int samples) {
    const int size =
        av_samples_get_buffer_size(nullptr, format_.channels, samples, context_->sample_fmt, 1);
    if (size < 0) throw std::bad_alloc();
    scratch_.resize(size_t(size));
    av_samples_fill_arrays(scratchPlanes_, nullptr, scratch_.data(), format_.channels, samples,
                           context_->sample_fmt, 1);
    scratchSamples_ = samples;
}

// Encodes whole encoder frames from the queue; at the end, the rest too.
void SoundEncoder::EncodeQueued(bool final) {
    const int frameSize = FrameSize();
    const bool smallLast = context_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
    for (;;) {
        const int queued = av_audio_fifo_size(fifo_.get());
        if (queued == 0 || (queued < frameSize && !final)) return;
        if (av_frame_make_writable(frame_.get()) < 0) throw std::bad_alloc();
        const int taken = std::min(queued, frameSize);
        av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), taken);
        const int length = (taken < frameSize && !smallLast) ? frameSize : taken;
        av_samples_set_silence(frame_->data, taken, length - taken, format_.channels,
                               context_->sample_fmt);
        frame_->nb_samples = length;
        frame_->pts = samplesWritten_;
        samplesWritten_ += length;
        muxer_.Encode(*context_, *stream_, frame_.get());
    }
}

} // namespace reelhost
