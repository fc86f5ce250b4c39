// The exact YUV converters against the colour matrices computed in doubles: every value the
// correctly rounded one, for each layout, matrix and range they take, and what they do not take.
#include "ffmpeg_holders.h"
#include "yuv_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace reelhost {
namespace {

// The published luma weights of red and blue.
struct Standard {
    const char* name;
    AVColorSpace matrix;
    double kr, kb;
};
constexpr Standard kStandards[] = {
    {"BT601", AVCOL_SPC_SMPTE170M, 0.299, 0.114},
    {"BT709", AVCOL_SPC_BT709, 0.2126, 0.0722},
    {"BT2020", AVCOL_SPC_BT2020_NCL, 0.2627, 0.0593},
};

// A result a hair from half a step may round either way: the fixed point is that close.
constexpr double kRoundingSlack = 0.5 + 1.0 / 60;

struct Case {
    Standard standard;
    AVPixelFormat format;
    bool fullRange;
};

std::string NameOf(const testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    const char* layout = c.format == AV_PIX_FMT_YUV420P   ? "420"
                         : c.format == AV_PIX_FMT_YUV422P ? "422"
                                                          : "444";
    return std::string(c.standard.name) + "_" + layout + (c.fullRange ? "_Full" : "_Video");
}

class ExactYuv : public testing::TestWithParam<Case> {
  protected:
    static constexpr int kWidth = 38, kHeight = 22; // even, and not a multiple of a vector
    ExactYuv() : picture_(MakeFrame()), argb_(size_t(kRowBytes * kHeight)) {
        picture_->format = GetParam().format;
        picture_->width = kWidth;
        picture_->height = kHeight;
        EXPECT_GE(av_frame_get_buffer(picture_.get(), 0), 0);
        view_ = PixelView{argb_.data(), kRowBytes, MakeRect(kWidth, kHeight)};
    }
    static constexpr long kRowBytes = kWidth * 4 + 24; // padded, as the platform's images

    int ShiftX() const { return GetParam().format == AV_PIX_FMT_YUV444P ? 0 : 1; }
    int ShiftY() const { return GetParam().format == AV_PIX_FMT_YUV420P ? 1 : 0; }
    uint8_t& Sample(int plane, int x, int y) {
        const int sx = plane ? ShiftX() : 0, sy = plane ? ShiftY() : 0;
        return picture_->data[plane][(y >> sy) * picture_->linesize[plane] + (x >> sx)];
    }
    YuvColours Colours() const { return {GetParam().standard.matrix, GetParam().fullRange}; }
    double LumaLow() const { return GetParam().fullRange ? 0 : 16; }
    double LumaSpan() const { return GetParam().fullRange ? 255 : 219; }
    double ChromaSpan() const { return GetParam().fullRange ? 255 : 224; }

    FramePtr picture_;
    std::vector<uint8_t> argb_;
    PixelView view_;
    std::mt19937 random_{77};
};

TEST_P(ExactYuv, ToArgbIsTheMatrixRoundedWithEachPixelsColourSample) {
    ASSERT_TRUE(HandlesExactly(GetParam().format, kWidth, kHeight, GetParam().standard.matrix));
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                Sample(plane, x, y) = uint8_t(random_());
    YuvToArgb(*picture_, Colours(), view_);
    const double kr = GetParam().standard.kr, kb = GetParam().standard.kb, kg = 1 - kr - kb;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double luma = (Sample(0, x, y) - LumaLow()) / LumaSpan();
            const double cb = (Sample(1, x, y) - 128) / ChromaSpan();
            const double cr = (Sample(2, x, y) - 128) / ChromaSpan();
            const double red = luma + 2 * (1 - kr) * cr, blue = luma + 2 * (1 - kb) * cb;
            const double green = (luma - kr * red - kb * blue) / kg;
            const double expected[] = {red, green, blue};
            const uint8_t* pixel = view_.Pixel(x, y);
            ASSERT_EQ(pixel[kAlphaByte], 255);
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(pixel[kRedByte + c], std::clamp(255 * expected[c], 0.0, 255.0),
                            kRoundingSlack)
                    << "pixel " << x << "," << y << " channel " << c;
        }
}

TEST_P(ExactYuv, FromArgbIsTheMatrixRoundedWithEachSampleTheMeanOfItsPixels) {
    for (uint8_t& byte : argb_)
        byte = uint8_t(random_());
    ArgbToYuv(view_, Colours(), *picture_);
    const double kr = GetParam().standard.kr, kb = GetParam().standard.kb;
    const auto lumaOf = [&](double r, double g, double b) {
        return kr * r + (1 - kr - kb) * g + kb * b;
    };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = view_.Pixel(x, y);
            ASSERT_NEAR(Sample(0, x, y),
                        LumaLow() +
                            LumaSpan() * lumaOf(p[kRedByte], p[kGreenByte], p[kBlueByte]) / 255,
                        kRoundingSlack)
                << "luma " << x << "," << y;
        }
    const int across = 1 << ShiftX(), down = 1 << ShiftY();
    for (int y = 0; y < kHeight; y += down)
        for (int x = 0; x < kWidth; x += across) {
            double rgb[3] = {};
            for (int dy = 0; dy < down; ++dy)
                for (int dx = 0; dx < across; ++dx)
                    for (int c = 0; c < 3; ++c)
                        rgb[c] += view_.Pixel(x + dx, y + dy)[kRedByte + c] / double(across * down);
            const double luma = lumaOf(rgb[0], rgb[1], rgb[2]);
            const double cb = (rgb[2] - luma) / (2 * (1 - kb)),
                         cr = (rgb[0] - luma) / (2 * (1 - kr));
            const double scale = ChromaSpan() / 255;
            ASSERT_NEAR(Sample(1, x, y), std::min(255.0, 128 + scale * cb), kRoundingSlack)
                << "U of " << x << "," << y;
            ASSERT_NEAR(Sample(2, x, y), std::min(255.0, 128 + scale * cr), kRoundingSlack)
                << "V of " << x << "," << y;
        }
}

// A picture made from RGB comes back within one step from the trip through RGB that a render
// makes of every pixel outside the effect. Each colour sample covers pixels of one colour, as in
// footage at that scale: random pixels under one sample make colours no RGB pixel holds.
TEST_P(ExactYuv, ARoundTripKeepsEverySampleWithinAStep) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* pixel = view_.Pixel(x, y);
            const uint8_t* first =
                view_.Pixel(x >> ShiftX() << ShiftX(), y >> ShiftY() << ShiftY());
            for (int c = 0; c < 4; ++c)
                pixel[c] = pixel == first ? uint8_t(random_()) : first[c];
        }
    ArgbToYuv(view_, Colours(), *picture_);
    const FramePtr before = MakeFrame();
    ASSERT_GE(av_frame_ref(before.get(), picture_.get()), 0);
    ASSERT_GE(av_frame_make_writable(picture_.get()), 0); // a copy: `before` keeps the original
    YuvToArgb(*before, Colours(), view_);
    ArgbToYuv(view_, Colours(), *picture_);
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int sx = plane ? ShiftX() : 0, sy = plane ? ShiftY() : 0;
                const uint8_t was =
                    before->data[plane][(y >> sy) * before->linesize[plane] + (x >> sx)];
                ASSERT_NEAR(Sample(plane, x, y), was, 1)
                    << "plane " << plane << " " << x << "," << y;
            }
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const Standard& standard : kStandards)
        for (AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P})
            for (bool full : {false, true})
                cases.push_back({standard, format, full});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Layouts, ExactYuv, testing::ValuesIn(AllCases()), NameOf);

TEST(ExactYuvCoverage, LeavesOtherPicturesToTheGeneralScaler) {
    EXPECT_TRUE(HandlesExactly(AV_PIX_FMT_YUVJ420P, 4, 2, AVCOL_SPC_UNSPECIFIED));
    EXPECT_FALSE(HandlesExactly(AV_PIX_FMT_YUV420P, 5, 4, AVCOL_SPC_BT709)); // odd width
    EXPECT_FALSE(HandlesExactly(AV_PIX_FMT_YUV420P, 4, 3, AVCOL_SPC_BT709)); // odd height
    EXPECT_TRUE(HandlesExactly(AV_PIX_FMT_YUV422P, 4, 3, AVCOL_SPC_BT709));
    EXPECT_FALSE(HandlesExactly(AV_PIX_FMT_YUV420P10LE, 4, 4, AVCOL_SPC_BT709)); // not 8-bit
    EXPECT_FALSE(HandlesExactly(AV_PIX_FMT_NV12, 4, 4, AVCOL_SPC_BT709));
    EXPECT_FALSE(HandlesExactly(AV_PIX_FMT_YUV420P, 4, 4, AVCOL_SPC_BT2020_CL)); // not a matrix
    EXPECT_FALSE(HandlesExactly(AV_PIX_FMT_YUV420P, 4, 4, AVCOL_SPC_YCGCO));
}

} // namespace
} // namespace reelhost
