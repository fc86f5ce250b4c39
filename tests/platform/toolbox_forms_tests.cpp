// The plug-in's interface files: every layout loads and holds the controls, commands and
// preview proportions the configuration and about windows rely on.
#include "toolbox_support.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <string>

using toolboxtest::TestWindow;

namespace {

const std::string kResources = LUMASHIFT_SOURCE_DIR "/plugin/Resources/";

OSStatus Ignore(EventHandlerCallRef, EventRef, void*) {
    return eventNotHandledErr;
}

struct Layout {
    const char* name;
    int previewWidth, previewHeight;
};

void PrintTo(const Layout& l, std::ostream* out) {
    *out << l.name;
}

class ToolboxShippedLayouts : public ::testing::TestWithParam<Layout> {
  protected:
    toolboxtest::TestClass clip{"com.brindle.reelkit.clip", {kEventControlDraw}, Ignore, nullptr};
    toolboxtest::TestClass color{"com.brindle.reelkit.color", {kEventControlDraw}, Ignore, nullptr};
};

TEST_P(ToolboxShippedLayouts, HoldEveryControlTheDialogNeeds) {
    TestWindow form(GetParam().name, kResources + "lumashift.nib");
    ASSERT_EQ(form.status, noErr);
    for (const char* signature : {"Colr", "CLgd", "Sldr", "Lgnd", "Labl"})
        for (SInt32 n = 1; n <= 6; ++n)
            EXPECT_NE(form.Control(signature, n), nullptr) << signature << " " << n;
    for (ControlRef single :
         {form.Control("Clip", 1), form.Control("ClpS", 1), form.Control("ClpM", 1),
          form.Control("Rect", 1), form.Control("Rect", 2), form.Control("Medi", 1)})
        EXPECT_NE(single, nullptr);
    for (const char* command :
         {"ok  ", "not!", "Info", "Adva", "Revi", "Rset", "Medi", "Sall", "Help"})
        EXPECT_NE(ToolboxCommandWidget(form.window, toolboxtest::CodeOf(command)), nullptr)
            << command;

    EXPECT_EQ(GetControl32BitMaximum(form.Control("Medi", 1)), 3);
    for (SInt32 n = 1; n <= 6; ++n) {
        EXPECT_EQ(GetControl32BitMinimum(form.Control("Sldr", n)), 0);
        EXPECT_EQ(GetControl32BitMaximum(form.Control("Sldr", n)), 100);
    }
    // The preview keeps its format's frame proportions and can be flipped between 0 and 1.
    ControlRef preview = form.Control("Clip", 1);
    Rect bounds{}, port{};
    GetControlBounds(preview, &bounds);
    GetPortBounds(GetWindowPort(form.window), &port);
    EXPECT_EQ(bounds.right - bounds.left, GetParam().previewWidth);
    EXPECT_EQ(bounds.bottom - bounds.top, GetParam().previewHeight);
    EXPECT_TRUE(bounds.left >= 0 && bounds.top >= 0 && bounds.right <= port.right &&
                bounds.bottom <= port.bottom);
    EXPECT_EQ(GetControl32BitMaximum(preview), 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, ToolboxShippedLayouts,
                         ::testing::Values(Layout{"configNTSC", 480, 320},
                                           Layout{"configPAL", 480, 384},
                                           Layout{"configHD", 640, 360}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ToolboxShippedLayouts, AboutWindowHasNameVersionAndOK) {
    TestWindow form("about", kResources + "about.nib");
    ASSERT_EQ(form.status, noErr);
    EXPECT_NE(form.Control("Plug", 1), nullptr);
    EXPECT_NE(form.Control("Vers", 1), nullptr);
    EXPECT_NE(ToolboxCommandWidget(form.window, kHICommandOK), nullptr);
}

} // namespace
