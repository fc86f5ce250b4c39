// swscale set-up for the host's pictures, including the source's colour matrix and range.
#include "frame_scaler.h"
#include "host_error.h"

#include "HostPluginAPI.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace reelhost {
namespace {

// Into the host's images at the picture's own size nothing is resized: the exact converters
// of yuv_pixels where they apply, else swscale's direct ones, each colour sample used as it is.
constexpr int kSameSizeFlags = SWS_POINT;

} // namespace

int ScalerFlagsFor(uint8_t quality) {
    // Full chroma interpolation and accurate rounding are what make the slow path worth it.
    return quality == kDVLowQuality ? SWS_FAST_BILINEAR
                                    : SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND;
}

void SetColours(SwsContext& context, const YuvColours* source, const YuvColours* target) {
    // The RGB side's details are read back and kept as they are.
    int* inverse = nullptr;
    int* table = nullptr;
    int sourceFull = 0, targetFull = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(&context, &inverse, &sourceFull, &table, &targetFull, &brightness,
                                 &contrast, &saturation) < 0)
        return; // an RGB to RGB context: nothing to tell
    // swscale already knows the JPEG formats are full range.
    const int* sourceTable = source ? sws_getCoefficients(source->matrix) : inverse;
    const int* targetTable = target ? sws_getCoefficients(target->matrix) : table;
    sourceFull = sourceFull || (source && source->fullRange);
    targetFull = targetFull || (target && target->fullRange);
    sws_setColorspaceDetails(&context, sourceTable, sourceFull, targetTable, targetFull, brightness,
                             contrast, saturation);
}

bool IsRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    return !desc || (desc->flags & AV_PIX_FMT_FLAG_RGB);
}

AVPixelFormat WithoutJpegRange(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    default:
        return format;
    }
}

bool IsFullRange(AVPixelFormat format, AVColorRange range) {
    return range == AVCOL_RANGE_JPEG || WithoutJpegRange(format) != format;
}

YuvColours ColoursOf(const AVFrame& picture) {
    return {picture.colorspace, IsFullRange(AVPixelFormat(picture.format), picture.color_range)};
}

void FrameScaler::Convert(const AVFrame& picture, const PixelView& target, uint8_t quality) {
    const bool sameSize = picture.width == target.Width() && picture.height == target.Height();
    if (sameSize && HandlesExactly(AVPixelFormat(picture.format), picture.width, picture.height,
                                   picture.colorspace)) {
        YuvToArgb(picture, ColoursOf(picture), target);
        return;
    }
    const Setup wanted{picture.width,      picture.height,
                       picture.format,     target.Width(),
                       target.Height(),    sameSize ? kSameSizeFlags : ScalerFlagsFor(quality),
                       picture.colorspace, picture.color_range};
    if (!context_ || !(wanted == setup_)) {
        context_.reset(sws_getContext(wanted.width, wanted.height, AVPixelFormat(wanted.format),
                                      wanted.targetWidth, wanted.targetHeight, AV_PIX_FMT_ARGB,
                                      wanted.flags, nullptr, nullptr, nullptr));
        if (!context_) {
            const char* name = av_get_pix_fmt_name(AVPixelFormat(picture.format));
            throw HostError("cannot convert pictures of format " +
                            std::string(name ? name : "(unknown)") + " at " +
                            std::to_string(picture.width) + " x " + std::to_string(picture.height));
        }
        if (!IsRgb(AVPixelFormat(picture.format))) {
            const YuvColours colours = ColoursOf(picture);
            SetColours(*context_, &colours, nullptr);
        }
        setup_ = wanted;
    }
    uint8_t* planes[4] = {target.base};
    const int strides[4] = {int(target.rowBytes)};
    sws_scale(context_.get(), picture.data, picture.linesize, 0, picture.height, planes, strides);
}

} // namespace reelhost
