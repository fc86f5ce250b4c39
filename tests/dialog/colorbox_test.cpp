// The colour box control on a real window: drawing, hit testing and the colour picker.
#include "colorCTRL.h"

#include "ToolboxTestHooks.h"
#include "carbonmacros.h"
#include "dialog_testing.h"
#include "pixellib.h"
#include "testhost.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kBundleID = "com.brindle.test.colorbox";
constexpr uint32_t kRGB = 0x00FFFFFF;
constexpr Rect kBounds{20, 30, 60, 90}; // the box in the window: 60 x 40 at (30, 20)

// What the picker was asked, and what it answers.
struct PickerScript {
    int calls = 0;
    std::string prompt;
    RGBColor start{};
    bool choose = false;
    RGBColor answer{};
};

Boolean AnswerPicker(const char* prompt, const RGBColor* start, RGBColor* chosen, void* refCon) {
    auto* script = static_cast<PickerScript*>(refCon);
    ++script->calls;
    script->prompt = prompt;
    script->start = *start;
    if (script->choose) *chosen = script->answer;
    return script->choose;
}

class ColorBox : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        RegisterColorBox();
        bundle = new dlgtest::TempBundle(
            kBundleID, {{"lumashift",
                         {{"boxes", dlgtest::FormText(
                                        "boxes", 200, 100,
                                        dlgtest::CustomControlXml("com.brindle.reelkit.color",
                                                                  "Colr", 1, 30, 20, 60, 40))}}}});
    }
    static void TearDownTestSuite() {
        delete bundle;
        bundle = nullptr;
        UnregisterColorBox();
    }
    void SetUp() override {
        window = OpenNibWindowFromCFBundle(kBundleID, "", "boxes");
        box = SimpleGetControlByID(window, FOUR_CHAR_CODE("Colr"), 1);
        ASSERT_NE(box, nullptr);
        SetControl32BitMaximum(box, 16777215);
        SetControl32BitValue(box, RGBColor2LongInt(RGBColor{65535, 32768, 1}));
        ToolboxSetColorPickerHook(AnswerPicker, &picker);
        ShowWindow(window);
        QApplication::processEvents();
    }
    void TearDown() override {
        ToolboxSetColorPickerHook(nullptr, nullptr);
        DisposeWindow(window);
    }

    uint32_t PortRGB(int h, int v) const { return PixelAt(GetWindowPort(window), h, v) & kRGB; }
    OSStatus Send(UInt32 kind, Point where, ControlPartCode* part = nullptr) {
        return dlgtest::SendToClassHandler(ColorBoxControlHandler, box, kEventClassControl, kind,
                                           where, part);
    }
    void Click() { dlgtest::PostMouseDrag(ToolboxControlWidget(box), {{10, 10}}); }

    static dlgtest::TempBundle* bundle;
    WindowRef window = nullptr;
    ControlRef box = nullptr;
    PickerScript picker;
};

dlgtest::TempBundle* ColorBox::bundle = nullptr;

TEST_F(ColorBox, HitTestIsTheBoxWithoutItsRightAndBottomEdges) {
    struct Row {
        Point where;
        ControlPartCode part;
    };
    for (const Row& row : {Row{{20, 30}, 1}, Row{{59, 89}, 1}, Row{{40, 90}, 0}, Row{{60, 50}, 0},
                           Row{{19, 50}, 0}}) {
        ControlPartCode part = -1;
        EXPECT_EQ(Send(kEventControlHitTest, row.where, &part), noErr);
        EXPECT_EQ(part, row.part) << "at (h " << row.where.h << ", v " << row.where.v << ")";
    }
}

TEST_F(ColorBox, DrawsItsValueFramedInBlack) {
    Draw1Control(box);
    EXPECT_EQ(PortRGB(60, 40), 0xFF8000u) << "the value keeps each channel's high byte";
    EXPECT_EQ(PortRGB(30, 40), 0u);
    EXPECT_EQ(PortRGB(89, 59), 0u);
    EXPECT_NE(PortRGB(90, 40), 0u) << "nothing outside the box";
}

TEST_F(ColorBox, ADisabledBoxIsErasedToTheBackground) {
    Draw1Control(box);
    DisableControl(box);
    Draw1Control(box);
    SetPortWindowPort(window);
    RGBColor back;
    GetBackColor(&back);
    const uint32_t background =
        uint32_t(back.red >> 8) << 16 | uint32_t(back.green >> 8) << 8 | uint32_t(back.blue >> 8);
    EXPECT_EQ(PortRGB(60, 40), background);
    EXPECT_EQ(PortRGB(30, 40), background) << "no frame either";
}

TEST_F(ColorBox, HitOpensThePickerWithTheBoxColour) {
    EXPECT_EQ(Send(kEventControlHit, Point{30, 40}), eventNotHandledErr);
    EXPECT_EQ(picker.calls, 1);
    EXPECT_EQ(picker.prompt, "Please choose color:");
    EXPECT_EQ(picker.start.red, 65280);
    EXPECT_EQ(picker.start.green, 32768);
    EXPECT_EQ(picker.start.blue, 0);
}

TEST_F(ColorBox, ACancelledPickerLeavesTheValue) {
    const SInt32 before = GetControl32BitValue(box);
    EXPECT_EQ(Send(kEventControlHit, Point{30, 40}), eventNotHandledErr);
    EXPECT_EQ(picker.calls, 1) << "the picker was never opened, so nothing was cancelled";
    EXPECT_EQ(GetControl32BitValue(box), before);
}

TEST_F(ColorBox, AClickStoresTheChosenColourAndRedraws) {
    picker.choose = true;
    picker.answer = RGBColor{0x1234, 0xABCD, 0x00FF};
    Click();
    EXPECT_EQ(picker.calls, 1);
    EXPECT_EQ(GetControl32BitValue(box), RGBColor2LongInt(RGBColor{0x1200, 0xAB00, 0x0000}));
    QApplication::processEvents();
    EXPECT_EQ(PortRGB(60, 40), 0x12AB00u);
}

TEST_F(ColorBox, OtherKindsArePassedOn) {
    EXPECT_EQ(Send(kEventControlTrack, Point{30, 40}), eventNotHandledErr);
    EXPECT_EQ(Send(kEventControlActivate, Point{30, 40}), eventNotHandledErr);
    EXPECT_EQ(picker.calls, 0);
}

} // namespace
