// Drawing the clip preview: the scaled preview, the region's outline and handles, clipping
// to the control and the black border.
#include "dlgUtils.h"

#include "carbonmacros.h"
#include "commonprocs.h"
#include "dialog_testing.h"
#include "relrects.h"
#include "testhost.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kRGB = 0x00FFFFFF;
constexpr uint32_t kBackdrop = 0xFF223344;
constexpr uint32_t kOutline = 0x00FF00; // FrameStartColor below
constexpr const char* kBundleID = "com.brindle.test.framecontents";

// Every preview pixel tells where it came from: x in red, y in green.
uint32_t PreviewPixel(int x, int y) {
    return 0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8 | 0x40;
}

class FrameContents : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        bundle = new dlgtest::TempBundle(
            kBundleID, {{"lumashift", {{"canvas", dlgtest::FormText("canvas", 220, 170)}}}});
    }
    static void TearDownTestSuite() {
        delete bundle;
        bundle = nullptr;
    }

    void SetUp() override {
        window = OpenNibWindowFromCFBundle(kBundleID, "", "canvas");
        port = GetWindowPort(window);
        preview = NewTestImage(40, 30);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                SetPixelAt(preview, x, y, PreviewPixel(x, y));
        const Rect portRect = GetPortRect(port);
        for (int y = 0; y < portRect.bottom; ++y)
            for (int x = 0; x < portRect.right; ++x)
                SetPixelAt(port, x, y, kBackdrop);
        config = PluginDataRec{};
        config.StartRel = RelRect{0.25, 0.75, 0.25, 0.75};
        config.FrameStartColor = RGBColor{0, 65535, 0};
        gConfigWorkSpace.TheConfig = &config;
        gConfigWorkSpace.TheFXClip = preview;
        gConfigWorkSpace.ActiveRel = 1;
    }
    void TearDown() override {
        DisposeWindow(window);
        DisposeGWorld(preview);
    }

    uint32_t RGBAt(int x, int y) const { return PixelAt(port, x, y) & kRGB; }
    void Draw() {
        dlgtest::PortOf current(window);
        DrawFrameContents(window, kDest);
    }

    // 160 x 120: the 40 x 30 preview four times its size.
    static constexpr Rect kDest{20, 30, 140, 190};
    static dlgtest::TempBundle* bundle;
    dlgtest::SavedWorkspace saved;
    WindowRef window = nullptr;
    CGrafPtr port = nullptr;
    GWorldPtr preview = nullptr;
    PluginDataRec config{};
};

dlgtest::TempBundle* FrameContents::bundle = nullptr;

TEST_F(FrameContents, ScalesThePreviewIntoTheControl) {
    Draw();
    for (const auto& [x, y] : {std::pair{31, 21}, {60, 40}, {100, 80}, {188, 138}, {45, 130}})
        EXPECT_EQ(PixelAt(port, x, y) & kRGB, PreviewPixel((x - 30) / 4, (y - 20) / 4) & kRGB)
            << "at (" << x << ", " << y << ")";
}

TEST_F(FrameContents, OutlinesTheRegionInTheFrameStartColour) {
    Draw();
    // The region (0.25 .. 0.75 of each side) is left 70, top 50, right 150, bottom 110.
    EXPECT_EQ(RGBAt(110, 50), kOutline);
    EXPECT_EQ(RGBAt(110, 109), kOutline);
    EXPECT_EQ(RGBAt(70, 80), kOutline);
    EXPECT_EQ(RGBAt(149, 80), kOutline);
    EXPECT_NE(RGBAt(110, 51), kOutline) << "a one-pixel outline";
    EXPECT_NE(RGBAt(150, 80), kOutline) << "the outline lies inside the region";
}

TEST_F(FrameContents, DrawsTheHandlesOfTheActiveRegion) {
    Draw();
    for (const auto& [cx, cy] : {std::pair{70, 50}, {150, 50}, {70, 110}, {150, 110}}) {
        EXPECT_EQ(RGBAt(cx - 5, cy), 0xFFFFFFu) << "white ring at (" << cx << ", " << cy << ")";
        EXPECT_EQ(RGBAt(cx + 4, cy), 0xFFFFFFu) << "white ring at (" << cx << ", " << cy << ")";
    }
}

TEST_F(FrameContents, DrawsNoHandlesOfAnInactiveRegion) {
    gConfigWorkSpace.ActiveRel = 2;
    Draw();
    EXPECT_EQ(RGBAt(74, 50), kOutline) << "the outline, not the white ring";
    EXPECT_EQ(RGBAt(64, 50), PreviewPixel(8, 7) & kRGB) << "no outer ring";
}

TEST_F(FrameContents, FramesTheControlInBlackOverThePreview) {
    Draw();
    EXPECT_EQ(RGBAt(30, 80), 0u);
    EXPECT_EQ(RGBAt(189, 80), 0u);
    EXPECT_EQ(RGBAt(100, 20), 0u);
    EXPECT_EQ(RGBAt(100, 139), 0u);
    EXPECT_EQ(PixelAt(port, 29, 80), kBackdrop) << "nothing outside the control";
    EXPECT_EQ(PixelAt(port, 190, 80), kBackdrop);
    EXPECT_EQ(PixelAt(port, 100, 140), kBackdrop);
}

TEST_F(FrameContents, ClipsOutlineAndHandlesToTheControl) {
    // Left and top edges of the region on the control's edges, right and bottom beyond it.
    config.StartRel = RelRect{0, 1.25, 0, 1.5};
    Draw();
    EXPECT_EQ(PixelAt(port, 24, 20), kBackdrop) << "top-left handle beyond the control";
    EXPECT_EQ(PixelAt(port, 30, 15), kBackdrop);
    EXPECT_EQ(RGBAt(34, 20), 0u) << "the border wins on the control's edge";
    EXPECT_EQ(RGBAt(31, 24), 0xFFFFFFu) << "the part of the handle inside is drawn";
    EXPECT_EQ(PixelAt(port, 200, 80), kBackdrop) << "nothing of the outline beyond the control";
    EXPECT_EQ(PixelAt(port, 100, 150), kBackdrop);
}

TEST_F(FrameContents, LeavesTheWholePortDrawableAndTheForegroundBlack) {
    Draw();
    dlgtest::PortOf current(window);
    Rect clip;
    GetClip(&clip);
    const Rect portRect = GetPortRect(port);
    EXPECT_TRUE(EqualRect(&clip, &portRect));
    RGBColor fore;
    GetForeColor(&fore);
    EXPECT_EQ(fore.red | fore.green | fore.blue, 0);
}

TEST_F(FrameContents, WithoutPreviewOrRecordDrawsTheBorderOnly) {
    gConfigWorkSpace.TheFXClip = nullptr;
    gConfigWorkSpace.TheConfig = nullptr;
    Draw();
    EXPECT_EQ(RGBAt(30, 80), 0u);
    EXPECT_EQ(PixelAt(port, 100, 80), kBackdrop);
}

} // namespace
