// The toolkit adapter: command texts of events, controls by identifier and windows from a bundle.
#include "carbonmacros.h"

#include "ToolboxTestHooks.h"
#include "dialog_testing.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using dlgtest::ControlXml;
using dlgtest::FormText;

TEST(CommandText, OfAnEventWithoutCommandMatchesNone) {
    EventRef event = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event), noErr);
    const CommandText text = GetEventCommandText(event);
    EXPECT_FALSE(IsCommand(text, "ok  "));
    EXPECT_EQ(std::string(text.Chars, 4), std::string(4, '\0'));
    ReleaseEvent(event);
}

// A bundle of our own whose only interface file is "lumashift", so these tests do not depend
// on the plug-in's layouts.
constexpr const char* kTestBundleID = "com.brindle.test.adapter";

std::string AdapterForm() {
    return FormText("probe", 240, 120,
                    ControlXml("QLabel", "Lgnd", 1, 10, 10, 100, 20) +
                        ControlXml("QSlider", "Sldr", 3, 10, 40, 150, 20,
                                   "   <property name=\"orientation\"><enum>Qt::Horizontal</enum>"
                                   "</property>\n   <property name=\"maximum\"><number>100"
                                   "</number></property>\n"));
}

class Adapter : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        bundle =
            new dlgtest::TempBundle(kTestBundleID, {{"lumashift", {{"probe", AdapterForm()}}}});
    }
    static void TearDownTestSuite() {
        delete bundle;
        bundle = nullptr;
    }
    // An empty file name opens "lumashift": nothing else holds the window.
    void SetUp() override {
        window = OpenNibWindowFromCFBundle(kTestBundleID, "", "probe");
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { DisposeWindow(window); }

    std::string TextOf(const char* signature, int16_t number) const {
        return dlgtest::ControlText(window, signature, number);
    }

    static dlgtest::TempBundle* bundle;
    WindowRef window = nullptr;
};

dlgtest::TempBundle* Adapter::bundle = nullptr;

TEST_F(Adapter, WindowsComeBackHidden) {
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(Adapter, MissingControlsReadZeroAndChangeNothing) {
    const unsigned char ab[] = "\x02"
                               "ab";
    const unsigned char gone[] = "\x04"
                                 "gone";
    SimpleSetControlValueByID(window, FOUR_CHAR_CODE("Sldr"), 3, 17);
    SimpleSetControlText(window, FOUR_CHAR_CODE("Lgnd"), 1, ab);
    SimpleSetControlValueByID(window, FOUR_CHAR_CODE("Sldr"), 4, 99);
    SimpleSetControlText(window, FOUR_CHAR_CODE("Lgnd"), 2, gone);
    SetEditTextForControl(gone, window, FOUR_CHAR_CODE("Lgnd"), 2);
    SimpleHideControl(window, FOUR_CHAR_CODE("Sldr"), 4);
    EXPECT_EQ(SimpleGetControlByID(window, FOUR_CHAR_CODE("Sldr"), 4), nullptr);
    EXPECT_EQ(SimpleGetControlValueByID(window, FOUR_CHAR_CODE("Sldr"), 4), 0);
    EXPECT_EQ(SimpleGetControlValueByID(window, FOUR_CHAR_CODE("Sldr"), 3), 17);
    EXPECT_EQ(TextOf("Lgnd", 1), "ab");
    EXPECT_TRUE(IsControlVisible(SimpleGetControlByID(window, FOUR_CHAR_CODE("Sldr"), 3)));
    EXPECT_EQ(SimpleGetControlValueByID(nullptr, FOUR_CHAR_CODE("Sldr"), 3), 0);
}

TEST_F(Adapter, TextsAreSetWithoutTheLengthByte) {
    const unsigned char shown[] = "\x05"
                                  "50%xx";
    SimpleSetControlText(window, FOUR_CHAR_CODE("Lgnd"), 1, shown);
    EXPECT_EQ(TextOf("Lgnd", 1), "50%xx");
    const unsigned char later[] = "\x03"
                                  "7/9";
    SetEditTextForControl(later, window, FOUR_CHAR_CODE("Lgnd"), 1);
    EXPECT_EQ(TextOf("Lgnd", 1), "7/9");
    const unsigned char empty[] = "";
    SimpleSetControlText(window, FOUR_CHAR_CODE("Lgnd"), 1, empty);
    EXPECT_EQ(TextOf("Lgnd", 1), "");
}

using AdapterDeathTest = Adapter;

TEST_F(AdapterDeathTest, UnknownBundleEndsInTheAssertion) {
    EXPECT_EXIT(
        {
            dlgtest::ConsoleAlerts console;
            OpenNibWindowFromCFBundle("com.brindle.nobody", "", "probe");
        },
        dlgtest::ExitedNonZero,
        "Assertion failed in: Cannot allocate bundle for ID = com\\.brindle\\.nobody");
}

TEST_F(AdapterDeathTest, UnknownNibEndsWithItsNameAndError) {
    EXPECT_EXIT(
        {
            dlgtest::ConsoleAlerts console;
            OpenNibWindowFromCFBundle(kTestBundleID, "missing", "probe");
        },
        dlgtest::ExitedNonZero,
        "OpenNibWindow Failed(.|\n)*Unable to CreateNibReferenceWithCFBundle for "
        "\"com\\.brindle\\.test\\.adapter/missing\" as it returned errcode #-10960\\.");
}

TEST_F(AdapterDeathTest, UnknownWindowExitsWithTheErrorsLowByte) {
    // kIBCarbonRuntimeCantFindObject is -10962, whose low byte is 46.
    EXPECT_EXIT(OpenNibWindowFromCFBundle(kTestBundleID, "", "nowhere"),
                testing::ExitedWithCode(46), "");
}

} // namespace
