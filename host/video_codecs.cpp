// The table of video codecs and how each is set up.
#include "video_codecs.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <strings.h>

#include <algorithm>
#include <iterator>

namespace reelhost {
namespace {

constexpr const char* kX264Preset = "fast";
constexpr const char* kX264Quality = "18"; // constant rate factor: close to transparent
constexpr int kMpeg4Quantiser = 3;         // visually clean, for the fallback encoder
// FFV1 as archives and editors exchange it: version 3, every frame a key frame, slices coded
// (and checked) in parallel: 4 x 4 of them where the colour planes are large enough.
constexpr int kFfv1Level = 3;
constexpr int kFfv1SliceRows = 4;
constexpr int kProResHq = 3; // prores_ks profile numbers
constexpr int kProRes4444 = 4;

void ConfigureH264(AVCodecContext& c) {
    if (c.codec_id == AV_CODEC_ID_H264) {
        av_opt_set(c.priv_data, "preset", kX264Preset, 0);
        av_opt_set(c.priv_data, "crf", kX264Quality, 0);
        return;
    }
    c.flags |= AV_CODEC_FLAG_QSCALE; // the MPEG-4 fallback
    c.global_quality = FF_QP2LAMBDA * kMpeg4Quantiser;
}

// FFV1 cuts each plane into n x n slices, at most one colour sample wide or high each.
void ConfigureFfv1(AVCodecContext& c) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(c.pix_fmt);
    const int side = std::min(AV_CEIL_RSHIFT(c.width, desc->log2_chroma_w),
                              AV_CEIL_RSHIFT(c.height, desc->log2_chroma_h));
    const int rows = std::clamp(side, 1, kFfv1SliceRows);
    c.level = kFfv1Level;
    c.slices = rows * rows;
    c.gop_size = 1;
    av_opt_set_int(c.priv_data, "slicecrc", 1, 0);
}

void ConfigureProRes(AVCodecContext& c) {
    c.profile = c.pix_fmt == AV_PIX_FMT_YUV422P10 ? kProResHq : kProRes4444;
    av_opt_set_int(c.priv_data, "profile", c.profile, 0);
}

const VideoCodec kCodecs[] = {
    {"h264",
     "H.264, x264 fast at crf 18, AAC sound (the default)",
     {"libx264", "mpeg4"},
     "H.264",
     AV_CODEC_ID_AAC,
     "AAC",
     ".mp4",
     true,
     AV_PIX_FMT_YUV420P,
     ConfigureH264},
    {"ffv1",
     "lossless FFV1 version 3 in .mkv, FLAC sound",
     {"ffv1", nullptr},
     "FFV1 (lossless)",
     AV_CODEC_ID_FLAC,
     "FLAC",
     ".mkv",
     false,
     AV_PIX_FMT_NONE,
     ConfigureFfv1},
    {"prores",
     "ProRes 422 HQ, or 4444 for 4:4:4 and alpha, in .mov, 16-bit PCM sound",
     {"prores_ks", nullptr},
     "ProRes",
     AV_CODEC_ID_PCM_S16LE,
     "PCM",
     ".mov",
     false,
     AV_PIX_FMT_NONE,
     ConfigureProRes},
};

} // namespace

const VideoCodec& DefaultVideoCodec() {
    return kCodecs[0];
}

const VideoCodec* VideoCodecNamed(const std::string& name) {
    for (const VideoCodec& codec : kCodecs)
        if (strcasecmp(name.c_str(), codec.name) == 0) return &codec;
    return nullptr;
}

std::string VideoCodecNames() {
    std::string names;
    for (size_t i = 0; i < std::size(kCodecs); ++i)
        names += (i == 0                        ? ""
                  : i + 1 == std::size(kCodecs) ? " or "
                                                : ", ") +
                 std::string(kCodecs[i].name);
    return names;
}

std::string VideoCodecLines(int indent) {
    std::string lines;
    for (const VideoCodec& codec : kCodecs) {
        std::string name = codec.name;
        name.resize(8, ' ');
        lines += std::string(size_t(indent), ' ') + name + codec.summary + "\n";
    }
    return lines;
}

const AVCodec* EncoderOf(const VideoCodec& codec) {
    for (const char* name : codec.encoders)
        if (const AVCodec* encoder = name ? avcodec_find_encoder_by_name(name) : nullptr)
            return encoder;
    return nullptr;
}

} // namespace reelhost
