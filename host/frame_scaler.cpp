// swscale set-up for the host's pictures, including the source's colour matrix and range.
#include "frame_scaler.h"
#include "host_error.h"

#include "HostPluginAPI.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace reelhost {

int ScalerFlagsFor(uint8_t quality) {
    // Full chroma interpolation and accurate rounding are what make the slow path worth it.
    return quality == kDVLowQuality ? SWS_FAST_BILINEAR
                                    : SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND;
}

void SetYuvColours(SwsContext& context, AVColorSpace matrix, bool fullRange, bool yuvIsSource) {
    // The RGB side's details are read back and kept as they are.
    int* inverse = nullptr;
    int* table = nullptr;
    int sourceFull = 0, targetFull = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(&context, &inverse, &sourceFull, &table, &targetFull, &brightness,
                                 &contrast, &saturation) < 0)
        return; // an RGB to RGB context: nothing to tell
    const int* coefficients = sws_getCoefficients(matrix);
    int& yuvFull = yuvIsSource ? sourceFull : targetFull;
    yuvFull = yuvFull || fullRange; // swscale already knows the JPEG formats are full range
    sws_setColorspaceDetails(&context, coefficients, sourceFull, coefficients, targetFull,
                             brightness, contrast, saturation);
}

YuvColours ColoursOf(const AVFrame& picture) {
    const bool jpeg = picture.format == AV_PIX_FMT_YUVJ420P ||
                      picture.format == AV_PIX_FMT_YUVJ422P ||
                      picture.format == AV_PIX_FMT_YUVJ444P;
    return {picture.colorspace, jpeg || picture.color_range == AVCOL_RANGE_JPEG};
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
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(picture.format));
        if (desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB))
            SetYuvColours(*context_, picture.colorspace, picture.color_range == AVCOL_RANGE_JPEG,
                          true);
        setup_ = wanted;
    }
    uint8_t* planes[4] = {target.base};
    const int strides[4] = {int(target.rowBytes)};
    sws_scale(context_.get(), picture.data, picture.linesize, 0, picture.height, planes, strides);
}

} // namespace reelhost
