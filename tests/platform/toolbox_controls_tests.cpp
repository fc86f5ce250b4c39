// Controls of a loaded form: lookup by signature and number, values and ranges by kind,
// text, visibility and highlight, and what a disposed window's controls answer.
#include "toolbox_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using toolboxtest::TestWindow;

namespace {

TEST(ToolboxControls, FoundBySignatureAndNumberOnly) {
    TestWindow form("controls");
    ASSERT_EQ(form.status, noErr);
    QWidget* okButton = ToolboxCommandWidget(form.window, kHICommandOK);
    ASSERT_NE(okButton, nullptr);
    // Trailing blanks of a signature are part of it.
    EXPECT_EQ(ToolboxControlWidget(form.Control("ok  ", 1)), okButton);
    EXPECT_EQ(ToolboxControlWidget(form.Control("Edit", -2)),
              form.Widget()->findChild<QLineEdit*>("field"));

    const ControlID missing[] = {{FOUR_CHAR_CODE("ok  "), 2},
                                 {FOUR_CHAR_CODE("ok__"), 1},
                                 {FOUR_CHAR_CODE("Edit"), 2},
                                 {0, 0}};
    for (const ControlID& id : missing) {
        ControlRef control = reinterpret_cast<ControlRef>(&form);
        EXPECT_EQ(GetControlByID(form.window, &id, &control), errUnknownControl);
        EXPECT_EQ(control, nullptr);
    }
    ControlRef control = nullptr;
    EXPECT_EQ(GetControlByID(nullptr, &missing[0], &control), errUnknownControl);
    EXPECT_EQ(GetControlByID(form.window, nullptr, &control), errUnknownControl);
}

// One kind of control: its form range and how values outside it come out.
struct RangeCase {
    const char* name;
    char signature[5];
    SInt32 minimum, maximum, initial;
    SInt32 set, expected; // a value set from code and what reads back
};

void PrintTo(const RangeCase& c, std::ostream* out) {
    *out << c.name;
}

class ToolboxControlRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ToolboxControlRanges, ValuesAreClampedIntoTheRange) {
    const RangeCase& c = GetParam();
    TestWindow form("controls");
    ControlRef control = form.Control(c.signature, 1);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetControl32BitMinimum(control), c.minimum);
    EXPECT_EQ(GetControl32BitMaximum(control), c.maximum);
    EXPECT_EQ(GetControl32BitValue(control), c.initial);
    SetControl32BitValue(control, c.set);
    EXPECT_EQ(GetControl32BitValue(control), c.expected);
}

INSTANTIATE_TEST_SUITE_P(ByKind, ToolboxControlRanges,
                         ::testing::Values(RangeCase{"SliderInside", "Sldr", 0, 100, 50, 75, 75},
                                           RangeCase{"SliderAbove", "Sldr", 0, 100, 50, 1000, 100},
                                           RangeCase{"SliderBelow", "Sldr", 0, 100, 50, -5, 0},
                                           RangeCase{"PopUpItem", "Medi", 1, 3, 1, 3, 3},
                                           RangeCase{"PopUpBeyond", "Medi", 1, 3, 1, 9, 3},
                                           RangeCase{"PopUpZero", "Medi", 1, 3, 1, 0, 1},
                                           RangeCase{"CheckOn", "Chek", 0, 1, 0, 1, 1},
                                           RangeCase{"CheckLarge", "Chek", 0, 1, 0, 7, 1},
                                           RangeCase{"StoredStartsEmpty", "Lgnd", 0, 0, 0, 5, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ToolboxControls, BoundsMovedPastEachOtherCarryTheValue) {
    TestWindow form("controls");
    for (ControlRef control : {form.Control("Sldr", 1), form.Control("Lgnd", 1)}) {
        SetControl32BitMaximum(control, 200);
        SetControl32BitValue(control, 150);
        SetControl32BitMinimum(control, 300); // past the maximum: both move, value follows
        EXPECT_EQ(GetControl32BitMaximum(control), 300);
        EXPECT_EQ(GetControl32BitValue(control), 300);
        SetControl32BitMaximum(control, -10); // below the minimum
        EXPECT_EQ(GetControl32BitMinimum(control), -10);
        EXPECT_EQ(GetControl32BitValue(control), -10);
    }
}

TEST(ToolboxControls, PopUpValueChoosesTheItem) {
    TestWindow form("controls");
    SetControl32BitValue(form.Control("Medi", 1), 2);
    EXPECT_EQ(form.Widget()->findChild<QComboBox*>("media")->currentText(), "PAL");
}

TEST(ToolboxControls, TextCrossesAsMacRoman) {
    TestWindow form("controls");
    ControlRef legend = form.Control("Lgnd", 1);
    const char bytes[] = "-100% \x8E"; // 0x8E is e-acute in Mac OS Roman
    ASSERT_EQ(SetControlData(legend, kControlEntireControl, kControlStaticTextTextTag,
                             Size(std::strlen(bytes)), bytes),
              noErr);
    EXPECT_EQ(form.Widget()->findChild<QLabel*>("legend")->text(), QString::fromUtf8("-100% é"));

    char back[16] = {};
    Size length = 0;
    ASSERT_EQ(GetControlData(legend, kControlEntireControl, kControlStaticTextTextTag, sizeof back,
                             back, &length),
              noErr);
    EXPECT_EQ(std::string(back, length), bytes);
    // A short buffer gets what fits and still learns the whole length.
    char shortBuffer[3] = {};
    ASSERT_EQ(GetControlData(legend, kControlEntireControl, kControlStaticTextTextTag,
                             sizeof shortBuffer, shortBuffer, &length),
              noErr);
    EXPECT_EQ(std::string(shortBuffer, 3), "-10");
    EXPECT_EQ(length, Size(std::strlen(bytes)));
}

TEST(ToolboxControls, TextNobodyCanShowIsRefused) {
    TestWindow form("controls");
    ControlRef field = form.Control("Edit", -2);
    EXPECT_EQ(SetControlData(form.Control("Sldr", 1), kControlEntireControl,
                             kControlStaticTextTextTag, 2, "ab"),
              errDataNotSupported);
    EXPECT_EQ(SetControlData(field, 1, kControlEditTextTextTag, 2, "ab"), errDataNotSupported);
    EXPECT_EQ(SetControlData(field, kControlEntireControl, kControlEditTextTextTag, 3, nullptr),
              paramErr);
}

TEST(ToolboxControls, VisibilityAndHighlight) {
    TestWindow form("controls");
    ControlRef slider = form.Control("Sldr", 1);
    EXPECT_TRUE(IsControlVisible(slider)); // its window is hidden, the control itself is not
    HideControl(slider);
    EXPECT_FALSE(IsControlVisible(slider));
    ShowControl(slider);
    EXPECT_TRUE(IsControlVisible(slider));

    EXPECT_EQ(GetControlHilite(slider), kControlNoPart);
    DeactivateControl(slider);
    EXPECT_EQ(GetControlHilite(slider), kControlInactivePart);
    DisableControl(slider); // disabled outranks inactive
    EXPECT_EQ(GetControlHilite(slider), kControlDisabledPart);
    EnableControl(slider);
    ActivateControl(slider);
    EXPECT_EQ(GetControlHilite(slider), kControlNoPart);
}

TEST(ToolboxControls, ControlsOfADisposedWindowAnswerNothing) {
    auto form = std::make_unique<TestWindow>("controls");
    ControlRef slider = form->Control("Sldr", 1);
    WindowRef window = form->window;
    form.reset();
    EXPECT_EQ(GetControl32BitValue(slider), 0);
    SetControl32BitValue(slider, 3);
    HideControl(slider);
    EXPECT_EQ(GetControlOwner(slider), nullptr);
    EXPECT_EQ(GetControlEventTarget(slider), nullptr);
    EXPECT_EQ(GetWindowPort(window), nullptr);
    EXPECT_EQ(QuitAppModalLoopForWindow(window), errInvalidWindowRef);
    DisposeWindow(window); // a second disposal is harmless
}

} // namespace
