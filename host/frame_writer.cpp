// Video files through libavformat and PNG images through the PNG encoder, written safely.
#include "frame_writer.h"
#include "ffmpeg_holders.h"
#include "frame_scaler.h"
#include "host_error.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace reelhost {
namespace {

constexpr int kMpeg4Quantiser = 3; // visually clean, for the fallback encoder
constexpr const char* kX264Preset = "fast";
constexpr const char* kX264Quality = "18"; // constant rate factor: close to transparent
constexpr int kSoundBitsPerChannel = 96000;
// FFV1 as archives and editors exchange it: version 3, every frame a key frame, slices coded
// (and checked) in parallel: 4 x 4 of them where the colour planes are large enough.
constexpr int kFfv1Level = 3;
constexpr int kFfv1SliceRows = 4;
constexpr int kProResHq = 3; // prores_ks profile numbers
constexpr int kProRes4444 = 4;

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

void RequireSize(const PixelView& picture, const OutputSettings& settings) {
    if (picture.Width() != settings.width || picture.Height() != settings.height)
        throw HostError("a picture of " + std::to_string(picture.Width()) + " x " +
                        std::to_string(picture.Height()) + " cannot go into '" + settings.path +
                        "', which takes " + std::to_string(settings.width) + " x " +
                        std::to_string(settings.height));
}

std::string SizeText(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

bool HasAlpha(AVPixelFormat format) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    return desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA);
}

bool Offers(const AVCodec* codec, AVPixelFormat format) {
    for (const AVPixelFormat* f = codec->pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f)
        if (*f == format) return true;
    return false;
}

// The output picture: the source's own format and colours where the encoder takes them.
PictureFormat OutputPictureFor(const AVCodec* codec, const PictureFormat& source) {
    const AVPixelFormat wanted = source.pixelFormat == AV_PIX_FMT_NONE
                                     ? AV_PIX_FMT_ARGB
                                     : WithoutJpegRange(source.pixelFormat);
    PictureFormat out = source;
    if (Offers(codec, wanted))
        out.pixelFormat = wanted;
    else if (codec->id == AV_CODEC_ID_H264 && Offers(codec, AV_PIX_FMT_YUV420P))
        out.pixelFormat = AV_PIX_FMT_YUV420P; // what every player shows
    else
        out.pixelFormat =
            avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, wanted, HasAlpha(wanted), nullptr);
    if (IsRgb(out.pixelFormat)) {
        out.matrix = AVCOL_SPC_RGB;
        out.range = AVCOL_RANGE_JPEG;
    } else if (IsRgb(wanted)) {
        // swscale's default RGB to YUV conversion: BT.601 matrix, limited range.
        out.matrix = AVCOL_SPC_SMPTE170M;
        out.range = AVCOL_RANGE_MPEG;
    } else {
        out.range =
            IsFullRange(source.pixelFormat, source.range) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
    return out;
}

// What each codec choice writes, and where it belongs.
struct CodecPlan {
    const AVCodec* video;
    AVCodecID sound;
    const char* home; // the extension it goes into, for the advice when a container refuses it
    bool evenSides;   // halved colour planes need an even number of pixels across or down
};

CodecPlan PlanFor(VideoCodec codec, const std::string& path) {
    switch (codec) {
    case VideoCodec::Lossless:
        return {avcodec_find_encoder(AV_CODEC_ID_FFV1), AV_CODEC_ID_FLAC, ".mkv", false};
    case VideoCodec::ProRes:
        return {avcodec_find_encoder_by_name("prores_ks"), AV_CODEC_ID_PCM_S16LE, ".mov", false};
    case VideoCodec::H264:
        break;
    }
    const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
    if (!h264) h264 = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!h264) throw HostError("cannot write '" + path + "': no H.264 or MPEG-4 encoder");
    return {h264, AV_CODEC_ID_AAC, ".mp4", true};
}

std::string CodecText(const AVCodecContext& video) {
    switch (video.codec->id) {
    case AV_CODEC_ID_H264:
        return "H.264";
    case AV_CODEC_ID_FFV1:
        return "FFV1 (lossless)";
    case AV_CODEC_ID_PRORES:
        return video.profile == kProRes4444 ? "ProRes 4444" : "ProRes 422 HQ";
    default:
        return "MPEG-4";
    }
}

std::string SoundText(AVCodecID sound) {
    return sound == AV_CODEC_ID_AAC ? "AAC" : sound == AV_CODEC_ID_FLAC ? "FLAC" : "PCM";
}

class VideoWriter final : public FrameWriter {
  public:
    explicit VideoWriter(const OutputSettings& settings)
        : settings_(settings), partialPath_(PartialPathFor(settings.path)), packet_(MakePacket()) {
        AVFormatContext* raw = nullptr;
        const int err =
            avformat_alloc_output_context2(&raw, nullptr, nullptr, settings.path.c_str());
        if (err < 0 || !raw)
            throw HostError("cannot write '" + settings.path + "': " + AvErrorText(err));
        format_.reset(raw);
        const CodecPlan plan = PlanFor(settings.codec, settings.path);
        RequireContainerTakes(plan.video ? plan.video->id : AV_CODEC_ID_NONE, plan.home);
        if (settings.sound) RequireContainerTakes(plan.sound, plan.home);
        OpenVideo(plan);
        if (settings.sound) OpenSound(plan.sound);
        OpenFile();
    }

    ~VideoWriter() override {
        if (finished_) return;
        format_.reset(); // closes the partial file before it goes
        std::error_code ignored;
        fs::remove(partialPath_, ignored);
    }

    bool TakesSource(const AVFrame& picture) const override {
        return composer_->TakesSource(picture);
    }

    void Write(const PictureSources& picture, const AudioBlock* sound) override {
        if (!picture.rendered.Empty()) RequireSize(picture.rendered, settings_);
        if (picture.source && !TakesSource(*picture.source))
            throw std::logic_error("a source the output does not take");
        AVFrame& frame = composer_->Compose(picture);
        frame.pts = framesWritten_++;
        Encode(*video_, *videoStream_, &frame);
        if (sound_ && sound) {
            QueueSound(*sound);
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
        const char* format = av_get_pix_fmt_name(video_->pix_fmt);
        return CodecText(*video_) + " video (" + (format ? format : "?") + ")" +
               (sound_ ? ", " + SoundText(sound_->codec_id) + " sound" : "");
    }

    int Width() const override { return video_->width; }
    int Height() const override { return video_->height; }
    std::string Note() const override { return note_; }

  private:
    const char* ContainerName() const { return format_->oformat->name; }

    void RequireContainerTakes(AVCodecID codec, const char* home) {
        const AVCodecDescriptor* desc = avcodec_descriptor_get(codec);
        if (codec == AV_CODEC_ID_NONE || !avcodec_find_encoder(codec))
            throw HostError("cannot write '" + settings_.path + "': this FFmpeg has no " +
                            (desc ? desc->name : "such") + " encoder");
        if (avformat_query_codec(format_->oformat, codec, FF_COMPLIANCE_NORMAL) != 1)
            throw HostError("cannot write '" + settings_.path + "': " + desc->long_name +
                            " does not go into " + ContainerName() + " files; name the output " +
                            home);
    }

    // The pictures' size, less a last odd column or row where the codec needs even sides.
    void ChooseSize(AVCodecContext& c, const CodecPlan& plan) {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(c.pix_fmt);
        c.width = settings_.width;
        c.height = settings_.height;
        if (!plan.evenSides) return;
        if (desc->log2_chroma_w) c.width &= ~1;
        if (desc->log2_chroma_h) c.height &= ~1;
        const std::string what = CodecText(c) + " in " + desc->name;
        if (c.width == 0 || c.height == 0)
            throw HostError("cannot write '" + settings_.path + "': " + what +
                            " needs at least 2 pixels across and down, and the pictures are " +
                            SizeText(settings_.width, settings_.height) +
                            "; --codec ffv1 writes them");
        if (c.width != settings_.width || c.height != settings_.height)
            note_ = what + " holds only even sides: '" + settings_.path + "' is " +
                    SizeText(c.width, c.height) + ", without the last " +
                    (c.width != settings_.width && c.height != settings_.height ? "column and row"
                     : c.width != settings_.width                               ? "column"
                                                                                : "row") +
                    " of the " + SizeText(settings_.width, settings_.height) +
                    " pictures (--codec ffv1 or prores keeps every pixel)";
    }

    void OpenVideo(const CodecPlan& plan) {
        const AVCodec* codec = plan.video;
        video_ = NewCodecContext(codec);
        AVCodecContext& c = *video_;
        const PictureFormat out = OutputPictureFor(codec, settings_.source);
        c.pix_fmt = out.pixelFormat;
        ChooseSize(c, plan);
        c.colorspace = out.matrix;
        c.color_range = out.range;
        c.color_primaries = out.primaries;
        c.color_trc = out.transfer;
        c.time_base = {settings_.rate.den, settings_.rate.num};
        c.framerate = {settings_.rate.num, settings_.rate.den};
        c.sample_aspect_ratio = {1, 1};
        c.thread_count = 0; // as many of the encoder's own threads as it likes
        SetCodecOptions(c);
        videoStream_ = AddStream(c, codec);
        composer_.emplace(c.pix_fmt, YuvColours{out.matrix, out.range == AVCOL_RANGE_JPEG}, c.width,
                          c.height);
    }

    // FFV1 cuts each plane into n x n slices, at most one colour sample wide or high each.
    static int Ffv1Slices(const AVCodecContext& c) {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(c.pix_fmt);
        const int side = std::min(AV_CEIL_RSHIFT(c.width, desc->log2_chroma_w),
                                  AV_CEIL_RSHIFT(c.height, desc->log2_chroma_h));
        const int rows = std::clamp(side, 1, kFfv1SliceRows);
        return rows * rows;
    }

    void SetCodecOptions(AVCodecContext& c) {
        switch (c.codec->id) {
        case AV_CODEC_ID_H264:
            av_opt_set(c.priv_data, "preset", kX264Preset, 0);
            av_opt_set(c.priv_data, "crf", kX264Quality, 0);
            break;
        case AV_CODEC_ID_FFV1:
            c.level = kFfv1Level;
            c.slices = Ffv1Slices(c);
            c.gop_size = 1;
            av_opt_set_int(c.priv_data, "slicecrc", 1, 0);
            break;
        case AV_CODEC_ID_PRORES:
            c.profile = c.pix_fmt == AV_PIX_FMT_YUV422P10 ? kProResHq : kProRes4444;
            av_opt_set_int(c.priv_data, "profile", c.profile, 0);
            break;
        default:
            c.flags |= AV_CODEC_FLAG_QSCALE;
            c.global_quality = FF_QP2LAMBDA * kMpeg4Quantiser;
        }
    }

    void OpenSound(AVCodecID id) {
        const AVCodec* codec = avcodec_find_encoder(id);
        sound_ = NewCodecContext(codec);
        AVCodecContext& c = *sound_;
        c.sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        c.sample_rate = settings_.soundFormat.sampleRate;
        av_channel_layout_default(&c.ch_layout, settings_.soundFormat.channels);
        if (id == AV_CODEC_ID_AAC)
            c.bit_rate = int64_t(kSoundBitsPerChannel) * settings_.soundFormat.channels;
        c.time_base = {1, c.sample_rate};
        soundStream_ = AddStream(c, codec);
        fifo_.reset(av_audio_fifo_alloc(c.sample_fmt, settings_.soundFormat.channels,
                                        settings_.soundFormat.sampleRate));
        soundFrame_ = MakeFrame();
        soundFrame_->format = c.sample_fmt;
        soundFrame_->nb_samples = SoundFrameSize();
        soundFrame_->sample_rate = c.sample_rate;
        if (!fifo_ || av_channel_layout_copy(&soundFrame_->ch_layout, &c.ch_layout) < 0 ||
            av_frame_get_buffer(soundFrame_.get(), 0) < 0)
            throw std::bad_alloc();
        if (c.sample_fmt != AV_SAMPLE_FMT_FLTP) OpenSoundConverter(c);
    }

    // The host's sound is planar float; other encoders get it converted, same rate and layout.
    void OpenSoundConverter(AVCodecContext& c) {
        SwrContext* raw = nullptr;
        if (swr_alloc_set_opts2(&raw, &c.ch_layout, c.sample_fmt, c.sample_rate, &c.ch_layout,
                                AV_SAMPLE_FMT_FLTP, c.sample_rate, 0, nullptr) < 0 ||
            swr_init(raw) < 0) {
            swr_free(&raw);
            throw HostError("cannot write '" + settings_.path + "': cannot convert its sound");
        }
        soundConverter_.reset(raw);
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

    void QueueSound(const AudioBlock& sound) {
        // The FIFO only reads the planes; FFmpeg's signatures just lack the const.
        void** planes = const_cast<void**>(sound.ConstPlanes());
        if (soundConverter_) {
            if (scratchSamples_ < sound.Length()) ReserveScratch(sound.Length());
            if (swr_convert(soundConverter_.get(), soundScratchPlanes_, sound.Length(),
                            const_cast<const uint8_t**>(reinterpret_cast<uint8_t**>(planes)),
                            sound.Length()) < 0)
                throw HostError("cannot write '" + settings_.path + "': cannot convert its sound");
            planes = reinterpret_cast<void**>(soundScratchPlanes_);
        }
        if (av_audio_fifo_write(fifo_.get(), planes, sound.Length()) < sound.Length())
            throw std::bad_alloc();
    }

    // Room for `samples` samples in the encoder's format.
    void ReserveScratch(int samples) {
        const int size = av_samples_get_buffer_size(nullptr, settings_.soundFormat.channels,
                                                    samples, sound_->sample_fmt, 1);
        if (size < 0) throw std::bad_alloc();
        soundScratch_.resize(size_t(size));
        av_samples_fill_arrays(soundScratchPlanes_, nullptr, soundScratch_.data(),
                               settings_.soundFormat.channels, samples, sound_->sample_fmt, 1);
        scratchSamples_ = samples;
    }

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
            av_samples_set_silence(soundFrame_->data, taken, length - taken,
                                   settings_.soundFormat.channels, sound_->sample_fmt);
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
    std::optional<PictureComposer> composer_;
    std::string note_;
    FramePtr soundFrame_;
    PacketPtr packet_;
    SwrPtr soundConverter_;
    std::vector<uint8_t> soundScratch_;
    uint8_t* soundScratchPlanes_[8] = {}; // the host carries at most two channels
    int scratchSamples_ = 0;
    AudioFifoPtr fifo_;
    int64_t framesWritten_ = 0;
    int64_t samplesWritten_ = 0;
    bool finished_ = false;
};

// PNG files, RGBA with alpha kept: each written whole under a hidden name, then renamed.
class PngWriter final : public ArgbFrameWriter {
  public:
    PngWriter(const OutputSettings& settings, bool sequence)
        : settings_(settings), sequence_(sequence),
          rgba_(MakePicture(AV_PIX_FMT_RGBA, settings.width, settings.height)),
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

    void WriteArgb(const PixelView& picture, const AudioBlock*) override {
        RequireSize(picture, settings_);
        if (!sequence_ && Written() > 0)
            throw HostError("'" + settings_.path +
                            "' holds one frame; name a sequence such as "
                            "out_%03d.png for more");
        MakeReusable(*rgba_);
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

    int Width() const override { return settings_.width; }
    int Height() const override { return settings_.height; }

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
                out[0] = in[kRedByte];
                out[1] = in[kGreenByte];
                out[2] = in[kBlueByte];
                out[3] = in[kAlphaByte];
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

std::optional<VideoCodec> VideoCodecNamed(const std::string& name) {
    const std::string lower = Lowercase(name);
    if (lower == "h264") return VideoCodec::H264;
    if (lower == "ffv1") return VideoCodec::Lossless;
    if (lower == "prores") return VideoCodec::ProRes;
    return std::nullopt;
}

std::unique_ptr<FrameWriter> OpenFrameWriter(OutputKind kind, const OutputSettings& settings) {
    if (kind == OutputKind::Video) return std::make_unique<VideoWriter>(settings);
    return std::make_unique<PngWriter>(settings, kind == OutputKind::ImageSequence);
}

} // namespace reelhost
