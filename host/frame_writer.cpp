// Video files through libavformat and PNG images through the PNG encoder, written safely.
#include "frame_writer.h"
#include "ffmpeg_holders.h"
#include "frame_scaler.h"
#include "host_error.h"
#include "muxer.h"
#include "partial_file.h"
#include "sound_encoder.h"

extern "C" {
#include <libavutil/pixdesc.h>
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

std::string Lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
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

bool Offers(const AVCodec* encoder, AVPixelFormat format) {
    for (const AVPixelFormat* f = encoder->pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f)
        if (*f == format) return true;
    return false;
}

// The output picture: the source's own format and colours where the encoder takes them.
PictureFormat OutputPictureFor(const VideoCodec& codec, const AVCodec* encoder,
                               const PictureFormat& source) {
    const AVPixelFormat wanted = source.pixelFormat == AV_PIX_FMT_NONE
                                     ? AV_PIX_FMT_ARGB
                                     : WithoutJpegRange(source.pixelFormat);
    PictureFormat out = source;
    if (Offers(encoder, wanted))
        out.pixelFormat = wanted;
    else if (Offers(encoder, codec.fallback))
        out.pixelFormat = codec.fallback;
    else
        out.pixelFormat =
            avcodec_find_best_pix_fmt_of_list(encoder->pix_fmts, wanted, HasAlpha(wanted), nullptr);
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

// A video file: pictures made by a composer and encoded, sound, one container, written under a
// hidden name until finished.
class VideoWriter final : public FrameWriter {
  public:
    explicit VideoWriter(const OutputSettings& settings)
        : settings_(settings), codec_(*settings.codec), muxer_(settings.path) {
        const AVCodec* encoder = EncoderOf(codec_);
        muxer_.RequireTakes(encoder ? encoder->id : AV_CODEC_ID_NONE, codec_.extension);
        if (settings.sound) muxer_.RequireTakes(codec_.sound, codec_.extension);
        OpenVideo(encoder);
        if (settings.sound)
            sound_.emplace(muxer_, codec_.sound, settings.soundFormat, settings.path);
        file_.emplace(settings.path);
        muxer_.Open(file_->WritingPath());
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
        muxer_.Encode(*video_, *videoStream_, &frame);
        if (sound_ && sound) sound_->Write(*sound);
    }

    void Finish() override {
        if (sound_) sound_->Finish();
        muxer_.Encode(*video_, *videoStream_, nullptr);
        muxer_.Finish();
        file_->Commit();
    }

    std::string Description() const override {
        const AVCodecContext& c = *video_;
        const char* format = av_get_pix_fmt_name(c.pix_fmt);
        const char* profile = avcodec_profile_name(c.codec_id, c.profile);
        const bool usual = std::strcmp(c.codec->name, codec_.encoders[0]) == 0;
        return std::string(usual ? codec_.label : c.codec->long_name) +
               (profile ? std::string(" ") + profile : "") + " video (" + (format ? format : "?") +
               ")" + (sound_ ? std::string(", ") + codec_.soundLabel + " sound" : "");
    }

    int Width() const override { return video_->width; }
    int Height() const override { return video_->height; }
    std::string Note() const override { return note_; }

  private:
    // The pictures' size, less a last odd column or row where the codec needs even sides.
    void ChooseSize(AVCodecContext& c) {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(c.pix_fmt);
        c.width = settings_.width;
        c.height = settings_.height;
        if (!codec_.evenSides) return;
        if (desc->log2_chroma_w) c.width &= ~1;
        if (desc->log2_chroma_h) c.height &= ~1;
        const std::string what = std::string(codec_.label) + " in " + desc->name;
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

    void OpenVideo(const AVCodec* encoder) {
        video_ = NewCodecContext(encoder);
        AVCodecContext& c = *video_;
        const PictureFormat out = OutputPictureFor(codec_, encoder, settings_.source);
        c.pix_fmt = out.pixelFormat;
        ChooseSize(c);
        c.colorspace = out.matrix;
        c.color_range = out.range;
        c.color_primaries = out.primaries;
        c.color_trc = out.transfer;
        c.time_base = {settings_.rate.den, settings_.rate.num};
        c.framerate = {settings_.rate.num, settings_.rate.den};
        c.sample_aspect_ratio = {1, 1};
        c.thread_count = 0; // as many of the encoder's own threads as it likes
        codec_.configure(c);
        videoStream_ = &muxer_.AddStream(c, encoder);
        composer_.emplace(c.pix_fmt, YuvColours{out.matrix, out.range == AVCOL_RANGE_JPEG}, c.width,
                          c.height);
    }

    OutputSettings settings_;
    const VideoCodec& codec_;
    std::optional<PartialFile> file_; // outlives the muxer, which closes it first
    Muxer muxer_;
    CodecContextPtr video_;
    AVStream* videoStream_ = nullptr;
    std::optional<PictureComposer> composer_;
    std::optional<SoundEncoder> sound_;
    std::string note_;
    int64_t framesWritten_ = 0;
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
        const int err = avcodec_open2(encoder_.get(), codec, nullptr);
        if (err < 0)
            throw HostError("cannot write '" + settings.path +
                            "': the PNG encoder refused its settings: " + AvErrorText(err));
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
    static void ProbeWritable(const std::string& name) {
        const PartialFile probe(name);
        FILE* file = std::fopen(probe.WritingPath().c_str(), "wb");
        if (!file) throw HostError("cannot write '" + name + "': " + std::strerror(errno));
        std::fclose(file);
    }

    static void WriteFile(const std::string& name, const uint8_t* data, size_t size) {
        PartialFile partial(name);
        FILE* file = std::fopen(partial.WritingPath().c_str(), "wb");
        if (!file) throw HostError("cannot write '" + name + "': " + std::strerror(errno));
        bool written = std::fwrite(data, 1, size, file) == size;
        const int writeErrno = errno;
        written = std::fclose(file) == 0 && written;
        if (!written) throw HostError("cannot write '" + name + "': " + std::strerror(writeErrno));
        partial.Commit();
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

std::unique_ptr<FrameWriter> OpenFrameWriter(OutputKind kind, const OutputSettings& settings) {
    if (kind == OutputKind::Video) return std::make_unique<VideoWriter>(settings);
    return std::make_unique<PngWriter>(settings, kind == OutputKind::ImageSequence);
}

} // namespace reelhost
