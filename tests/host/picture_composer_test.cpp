// Output pictures from a kept source and the plug-in's changes: which samples come from where,
// and that a source whose buffers someone else still holds is never written into.
#include "changed_pixels.h"
#include "picture_composer.h"
#include "yuv_pixels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace reelhost {
namespace {

constexpr int kWidth = 34, kHeight = 18;
constexpr long kRowBytes = kWidth * 4 + 8;
// The pixels the plug-in changes: its left edge splits the colour samples of columns 16 and 17.
constexpr int kLeft = 17, kTop = 5, kRight = 26, kBottom = 9;
const YuvColours kColours{AVCOL_SPC_BT709, false};

bool Changed(int x, int y) {
    return x >= kLeft && x < kRight && y >= kTop && y < kBottom;
}

FramePtr RandomPicture() {
    FramePtr picture = MakePicture(AV_PIX_FMT_YUV420P, kWidth, kHeight);
    std::mt19937 random(7);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < (p ? kHeight / 2 : kHeight); ++y)
            for (int x = 0; x < (p ? kWidth / 2 : kWidth); ++x)
                picture->data[p][y * picture->linesize[p] + x] = uint8_t(random());
    return picture;
}

uint8_t SampleOf(const AVFrame& picture, int plane, int x, int y) {
    return picture.data[plane][y * picture.linesize[plane] + x];
}

struct Holding {
    const char* name;
    bool heldElsewhere; // another reference to the source's buffers, as a decoder keeps
};

class ComposedPictures : public testing::TestWithParam<Holding> {};

TEST_P(ComposedPictures, TakeChangedSamplesFromTheRenderAndTheRestFromTheSource) {
    FramePtr source = RandomPicture();
    const FramePtr before = MakeFrame();
    ASSERT_GE(av_frame_ref(before.get(), source.get()), 0);
    ASSERT_GE(av_frame_make_writable(before.get()), 0); // a copy of the samples as they were
    FramePtr holder = MakeFrame();
    if (GetParam().heldElsewhere) {
        ASSERT_GE(av_frame_ref(holder.get(), source.get()), 0);
    }

    std::vector<uint8_t> lent(size_t(kRowBytes * kHeight)), rendered;
    const PixelView lentView{lent.data(), kRowBytes, MakeRect(kWidth, kHeight)};
    YuvToArgb(*source, kColours, lentView);
    rendered = lent;
    const PixelView renderedView{rendered.data(), kRowBytes, MakeRect(kWidth, kHeight)};
    for (int y = kTop; y < kBottom; ++y)
        for (int x = kLeft; x < kRight; ++x)
            renderedView.Pixel(x, y)[kRedByte] ^= 0x80;
    ChangedPixels changed;
    changed.Find(renderedView, lentView);
    // What every pixel would be, converted from the render.
    const FramePtr converted = MakePicture(AV_PIX_FMT_YUV420P, kWidth, kHeight);
    ArgbToYuv(renderedView, kColours, *converted);

    PictureComposer composer(AV_PIX_FMT_YUV420P, kColours, kWidth, kHeight);
    ASSERT_TRUE(composer.TakesSource(*source));
    const AVFrame& out = composer.Compose({renderedView, source.get(), &changed});

    for (int p = 0; p < 3; ++p) {
        const int shift = p ? 1 : 0;
        for (int y = 0; y < kHeight >> shift; ++y)
            for (int x = 0; x < kWidth >> shift; ++x) {
                bool touched = false; // a pixel this sample covers changed
                for (int dy = 0; dy < 1 << shift; ++dy)
                    for (int dx = 0; dx < 1 << shift; ++dx)
                        touched |= Changed((x << shift) + dx, (y << shift) + dy);
                const AVFrame& expected = touched ? *converted : *before;
                ASSERT_EQ(SampleOf(out, p, x, y), SampleOf(expected, p, x, y))
                    << "plane " << p << " at " << x << ", " << y;
                if (GetParam().heldElsewhere) {
                    ASSERT_EQ(SampleOf(*holder, p, x, y), SampleOf(*before, p, x, y))
                        << "the held source was written into, plane " << p;
                }
            }
    }
    // Nobody else holding it, the source goes out itself, with the changes in it.
    EXPECT_EQ(out.data[0] == source->data[0], !GetParam().heldElsewhere);
}

INSTANTIATE_TEST_SUITE_P(Sources, ComposedPictures,
                         testing::Values(Holding{"OwnedByTheRender", false},
                                         Holding{"HeldByTheDecoderToo", true}),
                         [](const testing::TestParamInfo<Holding>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace reelhost
