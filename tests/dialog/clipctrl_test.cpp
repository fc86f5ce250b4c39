// The clip preview control on a real window: hit tests, drags with the mouse, drawing.
#include "clipCTRL.h"

#include "DataHandling.h"
#include "ToolboxTestHooks.h"
#include "callpixelfx.h"
#include "carbonmacros.h"
#include "commonprocs.h"
#include "dialog_testing.h"
#include "relrects.h"
#include "testhost.h"

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr const char* kBundleID = "com.brindle.test.clipctrl";
constexpr uint32_t kRGB = 0x00FFFFFF;
constexpr uint32_t kGrey = 0x808080;      // the source frame
constexpr uint32_t kLightened = 0xB3B3B3; // kGrey with slider 2 at 60: 128 + 51
// The control: 320 x 240 at (20, 10), twice the 160 x 120 source frame. The region starts at
// a quarter to three quarters of each side: left 100, top 70, right 260, bottom 190.
constexpr Rect kBounds{10, 20, 250, 340};

// A mouse position in window coordinates.
struct WindowStep {
    int h, v;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

class ClipControl : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        RegisterClipCtrl();
        const std::string clip =
            dlgtest::CustomControlXml("com.brindle.reelkit.clip", "Clip", 1, 20, 10, 320, 240);
        bundle = new dlgtest::TempBundle(
            kBundleID, {{"lumashift", {{"clip", dlgtest::FormText("clip", 360, 280, clip)}}}});
    }
    static void TearDownTestSuite() {
        delete bundle;
        bundle = nullptr;
        UnregisterClipCtrl();
    }

    void SetUp() override {
        ResetConfig(&config);
        config.Sliders[1] = 60;
        config.StartRel = RelRect{0.25, 0.75, 0.25, 0.75};
        source = NewTestImage(160, 120);
        preview = NewTestImage(160, 120);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x)
                SetPixelAt(source, x, y, 0xFF000000 | kGrey);
        PluginWorkSpace& ws = gConfigWorkSpace;
        ws = PluginWorkSpace{};
        ws.TheConfig = &config;
        ws.SourceClip = source;
        ws.TheFXClip = preview;
        ws.ActiveRel = 1;
        CallPixelEffect(source, preview);
        window = OpenNibWindowFromCFBundle(kBundleID, "", "clip");
        control = SimpleGetControlByID(window, FOUR_CHAR_CODE("Clip"), 1);
        ASSERT_NE(control, nullptr);
        ws.TheWindow = window;
        ws.TheFrameCtrl = control;
        ShowWindow(window);
        QApplication::processEvents();
    }
    void TearDown() override {
        DisposeWindow(window);
        DisposeGWorld(source);
        DisposeGWorld(preview);
    }

    void Drag(const std::vector<WindowStep>& steps) {
        std::vector<dlgtest::MouseStep> local;
        for (const WindowStep& step : steps)
            local.push_back({step.h - kBounds.left, step.v - kBounds.top, step.modifiers});
        dlgtest::PostMouseDrag(ToolboxControlWidget(control), local);
    }
    Rect StoredRect() const { return Rel2Rect(config.StartRel, kBounds); }
    uint32_t PortRGB(int h, int v) const { return PixelAt(GetWindowPort(window), h, v) & kRGB; }
    OSStatus Send(UInt32 eventClass, UInt32 kind, Point where, ControlPartCode* part = nullptr) {
        return dlgtest::SendToClassHandler(ClipCtrlControlHandler, control, eventClass, kind, where,
                                           part);
    }

    static dlgtest::TempBundle* bundle;
    dlgtest::SavedWorkspace saved;
    PluginDataRec config{};
    GWorldPtr source = nullptr;
    GWorldPtr preview = nullptr;
    WindowRef window = nullptr;
    ControlRef control = nullptr;
};

dlgtest::TempBundle* ClipControl::bundle = nullptr;

TEST_F(ClipControl, HitTestFindsHandlesAndInsideOnly) {
    struct Row {
        Point where;
        ControlPartCode part;
    };
    for (const Row& row : {Row{{70, 100}, 1}, Row{{194, 264}, 4}, Row{{130, 180}, 5},
                           Row{{30, 40}, 0}, Row{{130, 340}, 0}, Row{{250, 180}, 0}}) {
        ControlPartCode part = -1;
        EXPECT_EQ(Send(kEventClassControl, kEventControlHitTest, row.where, &part), noErr);
        EXPECT_EQ(part, row.part) << "at (h " << row.where.h << ", v " << row.where.v << ")";
    }
}

TEST_F(ClipControl, PassesOnKindsItDoesNotHandle) {
    EXPECT_EQ(Send(kEventClassControl, 2, Point{0, 0}), eventNotHandledErr);
    EXPECT_EQ(Send(kEventClassCommand, kEventControlDraw, Point{0, 0}), eventNotHandledErr);
    EXPECT_EQ(Send(kEventClassControl, kEventControlHit, Point{0, 0}), noErr);
}

struct DragCase {
    const char* name;
    std::vector<WindowStep> steps;
    Rect want; // the stored region in window pixels
};

class ClipDrag : public ClipControl, public testing::WithParamInterface<DragCase> {};

TEST_P(ClipDrag, StoresTheRegion) {
    Drag(GetParam().steps);
    const Rect got = StoredRect();
    const Rect& want = GetParam().want;
    EXPECT_TRUE(EqualRect(&got, &want))
        << "got (" << got.top << ", " << got.left << ", " << got.bottom << ", " << got.right << ")";
}

INSTANTIATE_TEST_SUITE_P(
    Drags, ClipDrag,
    testing::Values(
        DragCase{
            "CornerFromTheMouseDown", {{260, 190}, {280, 200}, {300, 220}}, {70, 100, 220, 300}},
        DragCase{"HandleBoxOutsideTheRegion", {{264, 194}, {274, 204}}, {70, 100, 200, 270}},
        // Out of the control (still in the window) and back: the whole movement counts.
        DragCase{"CornerOutAndBack",
                 {{260, 190}, {300, 220}, {350, 100}, {280, 200}},
                 {70, 100, 200, 280}},
        DragCase{
            "CornerLastStoredInside", {{260, 190}, {300, 220}, {350, 100}}, {70, 100, 220, 300}},
        DragCase{"CornerTurnsOver", {{260, 190}, {60, 40}}, {40, 60, 70, 100}},
        // Leaving and re-entering the window are reports of their own and move nothing.
        DragCase{"InsideStepsAddUp",
                 {{180, 130}, {200, 140}, {400, 500}, {220, 150}, {230, 160}, {10, 5}},
                 {100, 150, 220, 310}},
        DragCase{"OptionHeldFromTheMouseDown",
                 {{260, 190, Qt::AltModifier}, {270, 200}},
                 {60, 90, 200, 270}},
        DragCase{"ShiftPressedLaterIsIgnored",
                 {{260, 190}, {300, 200, Qt::ShiftModifier}},
                 {70, 100, 200, 300}},
        // 160 x 120 at the mouse-down: a width of 200 keeps a height of 150.
        DragCase{"ShiftKeepsTheMouseDownProportions",
                 {{260, 190, Qt::ShiftModifier},
                  {280, 180, Qt::ShiftModifier},
                  {300, 170, Qt::ShiftModifier}},
                 {70, 100, 220, 300}},
        DragCase{"AClickAwayStartsNothing", {{40, 30}, {60, 60}, {200, 200}}, {70, 100, 190, 260}}),
    [](const testing::TestParamInfo<DragCase>& info) { return info.param.name; });

TEST_F(ClipControl, EveryStepIsRenderedAndShown) {
    Drag({{260, 190}, {280, 200}, {300, 220}});
    EXPECT_EQ(PortRGB(290, 210), kLightened) << "the new region rendered";
    EXPECT_EQ(PortRGB(270, 80), kLightened);
    EXPECT_EQ(PortRGB(50, 40), kGrey) << "outside the region the frame is unchanged";
    const QImage shown = ToolboxControlWidget(control)->grab().toImage();
    EXPECT_EQ(shown.pixel(290 - kBounds.left, 210 - kBounds.top) & kRGB, kLightened);
}

TEST_F(ClipControl, TheRegionMayLeaveTheFrame) {
    Drag({{180, 130}, {330, 240}});
    EXPECT_DOUBLE_EQ(config.StartRel.Left, 230.0 / 320.0);
    EXPECT_DOUBLE_EQ(config.StartRel.Right, 390.0 / 320.0);
    EXPECT_DOUBLE_EQ(config.StartRel.Bottom, 290.0 / 240.0);
    EXPECT_EQ(PortRGB(330, 240), kLightened);
}

TEST_F(ClipControl, EventsLeaveTheCallersPortAndTheWholeWindowClip) {
    GWorldPtr other = NewTestImage(8, 8);
    CGrafPtr savedPort;
    GDHandle savedDevice;
    GetGWorld(&savedPort, &savedDevice);
    SetGWorld(other, nullptr);
    Draw1Control(control);
    Drag({{180, 130}, {190, 140}});
    CGrafPtr port;
    GDHandle device;
    GetGWorld(&port, &device);
    EXPECT_EQ(port, other);
    SetPortWindowPort(window);
    Rect clip;
    GetClip(&clip);
    const Rect portRect = GetPortRect(GetWindowPort(window));
    EXPECT_TRUE(EqualRect(&clip, &portRect));
    SetGWorld(savedPort, savedDevice);
    DisposeGWorld(other);
}

TEST_F(ClipControl, ADisabledOrInactiveControlDrawsNothing) {
    {
        dlgtest::PortOf current(window);
        const RGBColor red{65535, 0, 0};
        RGBForeColor(&red);
        PaintRect(&kBounds);
    }
    DisableControl(control);
    Draw1Control(control);
    EXPECT_EQ(PortRGB(50, 40), 0xFF0000u);
    EnableControl(control);
    DeactivateControl(control);
    Draw1Control(control);
    EXPECT_EQ(PortRGB(50, 40), 0xFF0000u);
    ActivateControl(control);
    Draw1Control(control);
    EXPECT_EQ(PortRGB(50, 40), kGrey);
}

TEST_F(ClipControl, ChangingTheValueRedrawsTheCurrentPreview) {
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            SetPixelAt(preview, x, y, 0xFF0000FF);
    SetControl32BitMaximum(control, 1);
    SetControl32BitValue(control, GetControl32BitValue(control) > 0 ? 0 : 1);
    QApplication::processEvents();
    EXPECT_EQ(PortRGB(50, 40), 0x0000FFu);
}

} // namespace
