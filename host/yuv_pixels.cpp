// YUV to A,R,G,B and back in 16-bit fixed point, a row at a time in loops the compiler
// vectorises.
#include "yuv_pixels.h"
#include "vector_clones.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdint>
#include <vector>

namespace reelhost {
namespace {

// Every weight is a whole number of 1/65536ths: over the at most 1020 units a term multiplies,
// that is off by less than 1/60 of a step, so results round as the exact values do but for
// values a hair from half a step.
constexpr int kFractionBits = 16;
constexpr double kOne = 1 << kFractionBits;
constexpr int32_t kHalf = 1 << (kFractionBits - 1);

// The luma weights of red and blue (green has the rest) of each matrix these converters take.
struct LumaWeights {
    double red, blue;
};

bool WeightsOf(AVColorSpace matrix, LumaWeights& weights) {
    switch (matrix) {
    case AVCOL_SPC_BT709:
        weights = {0.2126, 0.0722};
        return true;
    case AVCOL_SPC_FCC:
        weights = {0.30, 0.11};
        return true;
    case AVCOL_SPC_SMPTE240M:
        weights = {0.212, 0.087};
        return true;
    case AVCOL_SPC_BT2020_NCL:
        weights = {0.2627, 0.0593};
        return true;
    case AVCOL_SPC_UNSPECIFIED: // what swscale assumes too
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        weights = {0.299, 0.114};
        return true;
    default:
        return false;
    }
}

int32_t Fixed(double value) {
    return int32_t(value * kOne + (value < 0 ? -0.5 : 0.5));
}

uint8_t Clamped(int32_t value) {
    return uint8_t(std::clamp(value, 0, 255));
}

// The ranges of the numbers: Y from `lumaLow` over `lumaSpan` steps, U and V about 128 over
// `chromaSpan` steps.
struct Ranges {
    int lumaLow;
    double lumaSpan, chromaSpan;
};

Ranges RangesOf(bool fullRange) {
    return fullRange ? Ranges{0, 255, 255} : Ranges{16, 219, 224};
}

LumaWeights MustWeigh(AVColorSpace matrix) {
    LumaWeights weights{};
    WeightsOf(matrix, weights);
    return weights;
}

// R = Y' + 2(1 - Kr) Cr, B = Y' + 2(1 - Kb) Cb, G = (Y' - Kr R - Kb B) / Kg, in steps of 1/255.
struct ToRgb {
    int32_t luma, redFromV, greenFromU, greenFromV, blueFromU;
    int lumaLow;

    explicit ToRgb(const YuvColours& colours) {
        const LumaWeights k = MustWeigh(colours.matrix);
        const double green = 1 - k.red - k.blue;
        const Ranges r = RangesOf(colours.fullRange);
        const double chroma = 255 / r.chromaSpan;
        luma = Fixed(255 / r.lumaSpan);
        redFromV = Fixed(2 * (1 - k.red) * chroma);
        blueFromU = Fixed(2 * (1 - k.blue) * chroma);
        greenFromU = Fixed(2 * k.blue * (1 - k.blue) / green * chroma);
        greenFromV = Fixed(2 * k.red * (1 - k.red) / green * chroma);
        lumaLow = r.lumaLow;
    }
};

// Y = low + span (Kr R + Kg G + Kb B) / 255; U = 128 + span (B - Y') / (2 (1 - Kb)) / 255, and
// V the same with red. The chroma weights are for one pixel; `sumShift` divides the sum over
// the pixels a sample covers.
struct FromRgb {
    int32_t yR, yG, yB, uR, uG, uB, vR, vG, vB;
    int32_t lumaOffset;

    explicit FromRgb(const YuvColours& colours) {
        const LumaWeights k = MustWeigh(colours.matrix);
        const double green = 1 - k.red - k.blue;
        const Ranges r = RangesOf(colours.fullRange);
        const double luma = r.lumaSpan / 255;
        yR = Fixed(luma * k.red);
        yG = Fixed(luma * green);
        yB = Fixed(luma * k.blue);
        const double u = r.chromaSpan / 255 / (2 * (1 - k.blue));
        const double v = r.chromaSpan / 255 / (2 * (1 - k.red));
        uR = Fixed(-u * k.red);
        uG = Fixed(-u * green);
        uB = Fixed(u * (1 - k.blue));
        vR = Fixed(v * (1 - k.red));
        vG = Fixed(-v * green);
        vB = Fixed(-v * k.blue);
        lumaOffset = (r.lumaLow << kFractionBits) + kHalf;
    }
};

struct Subsampling {
    int x, y; // log2 of the pixels per colour sample across and down
};

Subsampling SubsamplingOf(AVPixelFormat format) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    return {desc->log2_chroma_w, desc->log2_chroma_h};
}

// The colour samples' terms of R, G and B for each pixel of a row, in 1/65536ths: each
// sample's, worked out once, for its kSpan pixels.
template <int kSpan>
VECTOR_CLONES void ChromaTerms(const ToRgb& m, const uint8_t* __restrict u,
                               const uint8_t* __restrict v, int samples, int32_t* __restrict red,
                               int32_t* __restrict green, int32_t* __restrict blue) {
    for (int s = 0; s < samples; ++s) {
        const int32_t cb = u[s] - 128, cr = v[s] - 128;
        const int32_t r = m.redFromV * cr, g = -m.greenFromU * cb - m.greenFromV * cr,
                      b = m.blueFromU * cb;
        for (int i = 0; i < kSpan; ++i) {
            red[kSpan * s + i] = r;
            green[kSpan * s + i] = g;
            blue[kSpan * s + i] = b;
        }
    }
}

// One row of pixels from its luma and its colour terms.
VECTOR_CLONES void RgbRow(const ToRgb& m, const uint8_t* __restrict luma,
                          const int32_t* __restrict red, const int32_t* __restrict green,
                          const int32_t* __restrict blue, int width, uint8_t* __restrict out) {
    for (int x = 0; x < width; ++x) {
        const int32_t y = (luma[x] - m.lumaLow) * m.luma + kHalf;
        out[4 * x + kAlphaByte] = 255;
        out[4 * x + kRedByte] = Clamped((y + red[x]) >> kFractionBits);
        out[4 * x + kGreenByte] = Clamped((y + green[x]) >> kFractionBits);
        out[4 * x + kBlueByte] = Clamped((y + blue[x]) >> kFractionBits);
    }
}

VECTOR_CLONES void LumaRow(const FromRgb& m, const uint8_t* __restrict in, int width,
                           uint8_t* __restrict luma) {
    for (int x = 0; x < width; ++x)
        luma[x] = uint8_t((m.yR * in[4 * x + kRedByte] + m.yG * in[4 * x + kGreenByte] +
                           m.yB * in[4 * x + kBlueByte] + m.lumaOffset) >>
                          kFractionBits);
}

// Adds each colour sample's kSpan pixels of one row to its running sums.
template <int kSpan>
VECTOR_CLONES void SumRow(const uint8_t* __restrict in, int samples, int32_t* __restrict red,
                          int32_t* __restrict green, int32_t* __restrict blue) {
    for (int s = 0; s < samples; ++s) {
        const uint8_t* p = in + 4 * kSpan * s;
        red[s] += p[kRedByte] + (kSpan > 1 ? p[4 + kRedByte] : 0);
        green[s] += p[kGreenByte] + (kSpan > 1 ? p[4 + kGreenByte] : 0);
        blue[s] += p[kBlueByte] + (kSpan > 1 ? p[4 + kBlueByte] : 0);
    }
}

VECTOR_CLONES void ChromaRow(const FromRgb& m, const int32_t* __restrict red,
                             const int32_t* __restrict green, const int32_t* __restrict blue,
                             int samples, int sumShift, uint8_t* __restrict u,
                             uint8_t* __restrict v) {
    const int shift = kFractionBits + sumShift;
    const int32_t offset = (128 << shift) + (1 << (shift - 1));
    for (int s = 0; s < samples; ++s) {
        // Full range reaches 255.5 at the far end, which rounds past the byte.
        u[s] = Clamped((m.uR * red[s] + m.uG * green[s] + m.uB * blue[s] + offset) >> shift);
        v[s] = Clamped((m.vR * red[s] + m.vG * green[s] + m.vB * blue[s] + offset) >> shift);
    }
}

// Three rows of 32-bit sums or terms, one for each of R, G and B.
class ChannelRows {
  public:
    explicit ChannelRows(int length) : values_(3 * size_t(length)), length_(length) {}
    int32_t* Red() { return values_.data(); }
    int32_t* Green() { return values_.data() + length_; }
    int32_t* Blue() { return values_.data() + 2 * size_t(length_); }
    void Clear() { std::fill(values_.begin(), values_.end(), 0); }

  private:
    std::vector<int32_t> values_;
    int length_;
};

} // namespace

bool HandlesExactly(AVPixelFormat format, int width, int height, AVColorSpace matrix) {
    LumaWeights weights;
    if (!WeightsOf(matrix, weights)) return false;
    switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
        return width % 2 == 0 && height % 2 == 0;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
        return width % 2 == 0;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
        return true;
    default:
        return false;
    }
}

void YuvToArgb(const AVFrame& picture, const YuvColours& colours, const PixelView& target) {
    const ToRgb matrix(colours);
    const Subsampling sub = SubsamplingOf(AVPixelFormat(picture.format));
    ChannelRows terms(target.Width());
    for (int y = 0; y < target.Height(); ++y) {
        const std::ptrdiff_t at = y >> sub.y;
        if ((y & ((1 << sub.y) - 1)) == 0) // the first row of these colour samples
            (sub.x ? ChromaTerms<2> : ChromaTerms<1>)(matrix,
                                                      picture.data[1] + at * picture.linesize[1],
                                                      picture.data[2] + at * picture.linesize[2],
                                                      target.Width() >> sub.x, terms.Red(),
                                                      terms.Green(), terms.Blue());
        RgbRow(matrix, picture.data[0] + std::ptrdiff_t(y) * picture.linesize[0], terms.Red(),
               terms.Green(), terms.Blue(), target.Width(),
               target.Pixel(target.bounds.left, target.bounds.top + y));
    }
}

void ArgbToYuv(const PixelView& source, const YuvColours& colours, AVFrame& picture) {
    const FromRgb matrix(colours);
    const Subsampling sub = SubsamplingOf(AVPixelFormat(picture.format));
    const int samples = source.Width() >> sub.x;
    ChannelRows sums(samples);
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* in = source.Pixel(source.bounds.left, source.bounds.top + y);
        LumaRow(matrix, in, source.Width(),
                picture.data[0] + std::ptrdiff_t(y) * picture.linesize[0]);
        (sub.x ? SumRow<2> : SumRow<1>)(in, samples, sums.Red(), sums.Green(), sums.Blue());
        if (((y + 1) & ((1 << sub.y) - 1)) != 0) continue; // the sample's next row is to come
        const std::ptrdiff_t at = y >> sub.y;
        ChromaRow(matrix, sums.Red(), sums.Green(), sums.Blue(), samples, sub.x + sub.y,
                  picture.data[1] + at * picture.linesize[1],
                  picture.data[2] + at * picture.linesize[2]);
        sums.Clear();
    }
}

} // namespace reelhost
