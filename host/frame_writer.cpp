// Video files through libavformat and PNG images through the PNG encoder, written safely.
#include "frame_writer.h"
#include "ffmpeg_holders.h"
#include "host_error.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace reelhost {
namespace {

constexpr int kMpeg4Quantiser = 3; // visually clean, for the fallback encoder
constexpr const char* kX264Preset = "fast";
constexpr const char* kX264Quality = "18"; // constant rate factor: close to transparent
constexpr int kSoundBitsPerChannel = 96000;

std::string Lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// A hidden name beside `path` where a file is written before it takes its real name.
std::string PartialPathFor(const std::string& path) {
    const fs::path target(path);
    return (target.parent_path() / ("." + target.filename().string() + ".partial")).string();
}

void MakeParentFolders(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    std::error_code err;
    if (!parent.empty() && !fs::exists(parent, err) && !fs::create_directories(parent, err))
        throw HostError("cannot write '" + path + "': cannot make the folder '" + parent.string() +
                        "': " + err.message());
}

void RenamePartial(const std::string& partial, const std::string& path) {
    std::error_code err;
    fs::rename(partial, path, err);
    if (err) {
        fs::remove(partial, err);
        throw HostError("cannot write '" + path + "': " + err.message());
    }
}

CodecContextPtr NewCodecContext(const AVCodec* codec) {
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) throw std::bad_alloc();
    return context;
}

void OpenCodec(AVCodecContext& context, const AVCodec* codec, const std::string& path) {
    const int err = avcodec_open2(&context, codec, nullptr);
    if (err < 0)
        throw HostError("cannot write '" + path + "': the " + codec->name +
                        " encoder refused its settings: " + AvErrorText(err));
}

// A frame buffer allocated once and reused for every frame of the output.
FramePtr MakePictureFrame(AVPixelFormat format, int width, int height) {
    FramePtr frame = MakeFrame();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
    return frame;
}

void RequireSize(const PixelView& picture, const OutputSettings& settings) {
    if (picture.Width() != settings.width || picture.Height() != settings.height)
        throw HostError("a picture of " + std::to_string(picture.Width()) + " x " +
                        std::to_string(picture.Height()) + " cannot go into '" + settings.path +
                        "', which is " + std::to_string(settings.width) + " x " +
                        std::to_string(settings.height));
}

class VideoWriter final : public FrameWriter {
  public:
    explicit VideoWriter(const OutputSettings& settings)
        : settings_(settings), partialPath_(PartialPathFor(settings.path)), packet_(MakePacket()) {
        if (settings.width % 2 || settings.height % 2)
            throw HostError("cannot write '" + settings.path + "': video needs an even size, not " +
                            std::to_string(settings.width) + " x " +
                            std::to_string(settings.height));
        AVFormatContext* raw = nullptr;
        const int err =
            avformat_alloc_output_context2(&raw, nullptr, nullptr, settings.path.c_str());
        if (err < 0 || !raw)
            throw HostError("cannot write '" + settings.path + "': " + AvErrorText(err));
        format_.reset(raw);
        OpenVideo();
        if (settings.sound) OpenSound();
        OpenFile();
    }

    ~VideoWriter() override {
        if (finished_) return;
        format_.reset(); // closes the partial file before it goes
        std::error_code ignored;
        fs::remove(partialPath_, ignored);
    }

    void Write(const PixelView& picture, const AudioBlock* sound) override {
        RequireSize(picture, settings_);
        if (av_frame_make_writable(picture_.get()) < 0) throw std::bad_alloc();
        const uint8_t* planes[4] = {picture.base};
        const int strides[4] = {int(picture.rowBytes)};
        sws_scale(converter_.get(), planes, strides, 0, settings_.height, picture_->data,
                  picture_->linesize);
        picture_->pts = framesWritten_++;
        Encode(*video_, *videoStream_, picture_.get());
        if (sound_ && sound) {
            // The FIFO only reads the planes; FFmpeg's signature just lacks the const.
            av_audio_fifo_write(fifo_.get(), const_cast<void**>(sound->ConstPlanes()),
                                sound->Length());
            EncodeQueuedSound(false);
        }
    }

    void Finish() override {
        if (sound_) {
            EncodeQueuedSound(true);
            Encode(*sound_, *soundStream_, nullptr);
        }
        Encode(*video_, *videoStream_, nullptr);
        const int err = av_write_trailer(format_.get());
        if (err < 0) throw HostError("cannot write '" + settings_.path + "': " + AvErrorText(err));
        format_.reset();
        RenamePartial(partialPath_, settings_.path);
        finished_ = true;
    }

    std::string Description() const override {
        return std::string(video_->codec->id == AV_CODEC_ID_H264 ? "H.264" : "MPEG-4") + " video" +
               (sound_ ? ", AAC sound" : "");
    }

  private:
    void OpenVideo() {
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
        if (!codec)
            throw HostError("cannot write '" + settings_.path + "': no H.264 or MPEG-4 encoder");
        video_ = NewCodecContext(codec);
        AVCodecContext& c = *video_;
        c.width = settings_.width;
        c.height = settings_.height;
        c.pix_fmt = AV_PIX_FMT_YUV420P;
        c.time_base = {settings_.rate.den, settings_.rate.num};
        c.framerate = {settings_.rate.num, settings_.rate.den};
        c.sample_aspect_ratio = {1, 1};
        // swscale's default RGB to YUV conversion: BT.601 matrix, limited range.
        c.colorspace = AVCOL_SPC_SMPTE170M;
        c.color_range = AVCOL_RANGE_MPEG;
        if (codec->id == AV_CODEC_ID_H264) {
            av_opt_set(c.priv_data, "preset", kX264Preset, 0);
            av_opt_set(c.priv_data, "crf", kX264Quality, 0);
        } else {
            c.flags |= AV_CODEC_FLAG_QSCALE;
            c.global_quality = FF_QP2LAMBDA * kMpeg4Quantiser;
        }
        videoStream_ = AddStream(c, codec);
        picture_ = MakePictureFrame(AV_PIX_FMT_YUV420P, settings_.width, settings_.height);
        converter_.reset(sws_getContext(settings_.width, settings_.height, AV_PIX_FMT_ARGB,
                                        settings_.width, settings_.height, AV_PIX_FMT_YUV420P,
                                        SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
        if (!converter_) throw std::bad_alloc();
    }

    void OpenSound() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) throw HostError("cannot write '" + settings_.path + "': no AAC encoder");
        sound_ = NewCodecContext(codec);
        AVCodecContext& c = *sound_;
        c.sample_fmt = AV_SAMPLE_FMT_FLTP;
        c.sample_rate = settings_.soundFormat.sampleRate;
        av_channel_layout_default(&c.ch_layout, settings_.soundFormat.channels);
        c.bit_rate = int64_t(kSoundBitsPerChannel) * settings_.soundFormat.channels;
        c.time_base = {1, c.sample_rate};
        soundStream_ = AddStream(c, codec);
        fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, settings_.soundFormat.channels,
                                        settings_.soundFormat.sampleRate));
        soundFrame_ = MakeFrame();
        soundFrame_->format = AV_SAMPLE_FMT_FLTP;
        soundFrame_->nb_samples = SoundFrameSize();
        soundFrame_->sample_rate = c.sample_rate;
        if (!fifo_ || av_channel_layout_copy(&soundFrame_->ch_layout, &c.ch_layout) < 0 ||
            av_frame_get_buffer(soundFrame_.get(), 0) < 0)
            throw std::bad_alloc();
    }

    AVStream* AddStream(AVCodecContext& context, const AVCodec* codec) {
        if (format_->oformat->flags & AVFMT_GLOBALHEADER)
            context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        OpenCodec(context, codec, settings_.path);
        AVStream* stream = avformat_new_stream(format_.get(), nullptr);
        if (!stream || avcodec_parameters_from_context(stream->codecpar, &context) < 0)
            throw std::bad_alloc();
        stream->time_base = context.time_base;
        return stream;
    }

    // Writes under a hidden name until Finish, so the real name only ever holds a whole file.
    void OpenFile() {
        MakeParentFolders(settings_.path);
        int err = avio_open(&format_->pb, partialPath_.c_str(), AVIO_FLAG_WRITE);
        if (err < 0) throw HostError("cannot write '" + settings_.path + "': " + AvErrorText(err));
        err = avformat_write_header(format_.get(), nullptr);
        if (err < 0) throw HostError("cannot write '" + settings_.path + "': " + AvErrorText(err));
    }

    int SoundFrameSize() const { return sound_->frame_size > 0 ? sound_->frame_size : 1024; }

    // Encodes whole encoder frames from the queue; at the end, the rest too (padded with
    // silence when the encoder takes only whole frames).
    void EncodeQueuedSound(bool final) {
        const int frameSize = SoundFrameSize();
        const bool smallLast = sound_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
        for (;;) {
            const int queued = av_audio_fifo_size(fifo_.get());
            if (queued == 0 || (queued < frameSize && !final)) return;
            if (av_frame_make_writable(soundFrame_.get()) < 0) throw std::bad_alloc();
            const int taken = std::min(queued, frameSize);
            av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(soundFrame_->data), taken);
            const int length = (taken < frameSize && !smallLast) ? frameSize : taken;
            for (int c = 0; c < settings_.soundFormat.channels; ++c)
                std::fill(reinterpret_cast<float*>(soundFrame_->data[c]) + taken,
                          reinterpret_cast<float*>(soundFrame_->data[c]) + length, 0.0f);
            soundFrame_->nb_samples = length;
            soundFrame_->pts = samplesWritten_;
            samplesWritten_ += length;
            Encode(*sound_, *soundStream_, soundFrame_.get());
        }
    }

    // Sends one frame (null: the end) and writes every packet the encoder has ready.
    void Encode(AVCodecContext& codec, AVStream& stream, AVFrame* frame) {
        int err = avcodec_send_frame(&codec, frame);
        while (err >= 0) {
            err = avcodec_receive_packet(&codec, packet_.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            if (err >= 0) {
                // Some encoders leave a picture's duration unset; the container then
                // shortens the last frame.
                if (packet_->duration == 0 && codec.codec_type == AVMEDIA_TYPE_VIDEO)
                    packet_->duration = 1;
                av_packet_rescale_ts(packet_.get(), codec.time_base, stream.time_base);
                packet_->stream_index = stream.index;
                err = av_interleaved_write_frame(format_.get(), packet_.get());
            }
        }
        throw HostError("cannot write '" + settings_.path + "': " + AvErrorText(err));
    }

    OutputSettings settings_;
    std::string partialPath_;
    OutputFormatPtr format_;
    CodecContextPtr video_;
    CodecContextPtr sound_;
    AVStream* videoStream_ = nullptr;
    AVStream* soundStream_ = nullptr;
    FramePtr picture_;
    FramePtr soundFrame_;
    PacketPtr packet_;
    SwsPtr converter_;
    AudioFifoPtr fifo_;
    int64_t framesWritten_ = 0;
    int64_t samplesWritten_ = 0;
    bool finished_ = false;
};

// PNG files, RGBA with alpha kept: each written whole under a hidden name, then renamed.
class PngWriter final : public FrameWriter {
  public:
    PngWriter(const OutputSettings& settings, bool sequence)
        : settings_(settings), sequence_(sequence),
          rgba_(MakePictureFrame(AV_PIX_FMT_RGBA, settings.width, settings.height)),
          packet_(MakePacket()) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
        if (!codec) throw HostError("cannot write '" + settings.path + "': no PNG encoder");
        encoder_ = NewCodecContext(codec);
        encoder_->width = settings.width;
        encoder_->height = settings.height;
        encoder_->pix_fmt = AV_PIX_FMT_RGBA;
        encoder_->time_base = {settings.rate.den, settings.rate.num};
        OpenCodec(*encoder_, codec, settings.path);
        MakeParentFolders(settings.path);
        ProbeWritable(NameOf(0));
    }

    ~PngWriter() override {
        if (finished_) return;
        for (const std::string& name : names_)
            std::remove(name.c_str());
    }

    void Write(const PixelView& picture, const AudioBlock*) override {
        RequireSize(picture, settings_);
        if (!sequence_ && Written() > 0)
            throw HostError("'" + settings_.path +
                            "' holds one frame; name a sequence such as "
                            "out_%03d.png for more");
        if (av_frame_make_writable(rgba_.get()) < 0) throw std::bad_alloc();
        ToRgba(picture);
        rgba_->pts = Written();
        int err = avcodec_send_frame(encoder_.get(), rgba_.get());
        if (err >= 0) err = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (err < 0)
            throw HostError("cannot encode frame " + std::to_string(Written()) + " for '" +
                            settings_.path + "': " + AvErrorText(err));
        const std::string name = NameOf(Written());
        WriteFile(name, packet_->data, size_t(packet_->size));
        av_packet_unref(packet_.get());
        names_.push_back(name);
    }

    void Finish() override { finished_ = true; }

    std::string Description() const override {
        return sequence_ ? "PNG sequence, RGBA" : "PNG image, RGBA";
    }

  private:
    int64_t Written() const { return int64_t(names_.size()); }

    std::string NameOf(int64_t number) const {
        if (!sequence_) return settings_.path;
        std::vector<char> name(settings_.path.size() + 32);
        if (av_get_frame_filename2(name.data(), int(name.size()), settings_.path.c_str(),
                                   int(number), 0) < 0)
            throw HostError("'" + settings_.path + "' is not a usable frame-number pattern");
        return name.data();
    }

    // Fails now, before any rendering, when the folder cannot take the files.
    void ProbeWritable(const std::string& name) const {
        const std::string partial = PartialPathFor(name);
        FILE* probe = std::fopen(partial.c_str(), "wb");
        if (!probe) throw HostError("cannot write '" + name + "': " + std::strerror(errno));
        std::fclose(probe);
        std::remove(partial.c_str());
    }

    void WriteFile(const std::string& name, const uint8_t* data, size_t size) const {
        const std::string partial = PartialPathFor(name);
        FILE* file = std::fopen(partial.c_str(), "wb");
        if (!file) throw HostError("cannot write '" + name + "': " + std::strerror(errno));
        bool written = std::fwrite(data, 1, size, file) == size;
        const int writeErrno = errno;
        written = std::fclose(file) == 0 && written;
        if (!written) {
            std::remove(partial.c_str());
            throw HostError("cannot write '" + name + "': " + std::strerror(writeErrno));
        }
        RenamePartial(partial, name);
    }

    void ToRgba(const PixelView& picture) {
        for (int y = 0; y < settings_.height; ++y) {
            const uint8_t* in = picture.Pixel(picture.bounds.left, picture.bounds.top + y);
            uint8_t* out = rgba_->data[0] + std::ptrdiff_t(y) * rgba_->linesize[0];
            for (int x = 0; x < settings_.width; ++x, in += kBytesPerPixel, out += 4) {
                out[0] = in[kRed];
                out[1] = in[kGreen];
                out[2] = in[kBlue];
                out[3] = in[kAlpha];
            }
        }
    }

    OutputSettings settings_;
    bool sequence_;
    FramePtr rgba_;
    PacketPtr packet_;
    CodecContextPtr encoder_;
    std::vector<std::string> names_; // the files written, removed again unless finished
    bool finished_ = false;
};

} // namespace

OutputKind OutputKindOf(const std::string& path) {
    const std::string extension = Lowercase(fs::path(path).extension().string());
    if (extension == ".mp4" || extension == ".mkv" || extension == ".mov") return OutputKind::Video;
    if (extension == ".png")
        return av_filename_number_test(path.c_str()) ? OutputKind::ImageSequence
                                                     : OutputKind::SingleImage;
    throw UsageError("cannot write '" + path +
                     "': the output must end in .mp4, .mkv, .mov or .png (a numbered sequence "
                     "such as out_%03d.png, or one image)");
}

std::unique_ptr<FrameWriter> OpenFrameWriter(OutputKind kind, const OutputSettings& settings) {
    if (kind == OutputKind::Video) return std::make_unique<VideoWriter>(settings);
    return std::make_unique<PngWriter>(settings, kind == OutputKind::ImageSequence);
}

} // namespace reelhost
