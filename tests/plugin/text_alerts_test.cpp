// Decimal text, length-prefixed text, and the alerts every failure goes through.
#include "commonprocs.h"

#include "Dialogs.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string TextOf(ConstStr255Param text) { return std::string(reinterpret_cast<const char*>(text + 1), text[0]); }

std::string Num(int32_t n) {
    Str255 text;
    Num2Text(n, text);
    return TextOf(text);
}

TEST(Text, NumbersInDecimal) {
    EXPECT_EQ(Num(0), "0");
    EXPECT_EQ(Num(1000), "1000");
    EXPECT_EQ(Num(-7), "-7");
    EXPECT_EQ(Num(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(Num(2147483647), "2147483647");
}

TEST(Text, JoiningCutsAt255Bytes) {
    Str255 text, tail;
    CToText(std::string(200, 'a').c_str(), text);
    CToText(std::string(100, 'b').c_str(), tail);
    AppendText(text, tail);
    EXPECT_EQ(text[0], 255);
    EXPECT_EQ(TextOf(text), std::string(200, 'a') + std::string(55, 'b'));
    CToText(std::string(400, 'c').c_str(), text);
    EXPECT_EQ(text[0], 255);
}

TEST(Text, CFStringsReadMacRoman) {
    const unsigned char text[] = {5, 'c', 'a', 'f', 0x8E, '!'}; // 0x8E is e-acute
    CFStringRef s = MakeCFString(text);
    ASSERT_NE(s, nullptr);
    char utf8[16];
    ASSERT_TRUE(CFStringGetCString(s, utf8, sizeof utf8, kCFStringEncodingUTF8));
    EXPECT_STREQ(utf8, "caf\xC3\xA9!");
    CFRelease(s);
    const unsigned char empty[] = {0};
    CFStringRef e = MakeCFString(empty);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(CFStringGetLength(e), 0);
    CFRelease(e);
}

// Captures alerts and answers them with a chosen button.
struct AlertLog {
    std::vector<AlertContent> seen;
    std::vector<std::string> texts;
    std::vector<int> buttonCounts;
    DialogItemIndex answer = 1;
};

DialogItemIndex Capture(const AlertContent* alert, void* refCon) {
    auto* log = static_cast<AlertLog*>(refCon);
    log->seen.push_back(*alert);
    log->texts.push_back(std::string(alert->headline) + "|" + alert->explanation + "|" +
                         (alert->buttons[0] ? alert->buttons[0] : ""));
    log->buttonCounts.push_back((alert->buttons[0] != nullptr) + (alert->buttons[1] != nullptr) +
                                (alert->buttons[2] != nullptr));
    return log->answer;
}

class Alerts : public testing::Test {
  protected:
    void SetUp() override { previous_ = SetStandardAlertPresenter(Capture, &log_, &previousRef_); }
    void TearDown() override { SetStandardAlertPresenter(previous_, previousRef_, nullptr); }
    AlertLog log_;
    AlertPresenterProc previous_ = nullptr;
    void* previousRef_ = nullptr;
};

TEST_F(Alerts, WarningWithoutCancelTextHasOneButton) {
    Str255 head, desc, ok, cancel;
    CToText("Head", head);
    CToText("Desc", desc);
    CToText("Go", ok);
    cancel[0] = 0;
    EXPECT_EQ(StandardWarning(head, desc, ok, cancel), 1);
    ASSERT_EQ(log_.seen.size(), 1u);
    EXPECT_EQ(log_.seen[0].type, kAlertCautionAlert);
    EXPECT_EQ(log_.buttonCounts[0], 1);
    CToText("Stop", cancel);
    log_.answer = 2;
    EXPECT_EQ(StandardWarning(head, desc, ok, cancel), 2);
    EXPECT_EQ(log_.buttonCounts[1], 2);
}

TEST_F(Alerts, NotifyShowsOneOkButtonAndReturns) {
    Notify("Cannot locate manual in bundle");
    ASSERT_EQ(log_.texts.size(), 1u);
    EXPECT_EQ(log_.texts[0], "Internal Notification:|Cannot locate manual in bundle|ok");
    EXPECT_EQ(log_.buttonCounts[0], 1);
}

TEST_F(Alerts, AssertWithAPointerShowsNothing) {
    int value = 0;
    Assert(&value, "never shown");
    EXPECT_TRUE(log_.seen.empty());
}

TEST(AlertsDeathTest, FailedAssertionNamesTheLocationAndEndsTheProcess) {
    EXPECT_EXIT(Assert(nullptr, "Unable to allocate theProcessed in ConffigurePlug Init run"),
                testing::ExitedWithCode(1),
                "Assertion Failure[^\n]*\n?.*Assertion failed in: Unable to allocate theProcessed");
}

TEST(AlertsDeathTest, LongLocationsAreCutTo255Bytes) {
    // 21 bytes of prefix leave 234 of a 240-byte location; the 235th ('Z') never shows.
    const std::string location = std::string(234, 'y') + std::string(6, 'Z');
    EXPECT_EXIT(Assert(nullptr, location.c_str()), testing::ExitedWithCode(1),
                "Assertion failed in: y{234}[^Z]");
}

TEST(AlertsDeathTest, TerminateNeverReturns) {
    Str255 head, desc;
    CToText("Non-Matching Blocks", head);
    CToText("The Size of Source and Dest do not match", desc);
    EXPECT_EXIT(Terminate(head, desc), testing::ExitedWithCode(1), "Non-Matching Blocks");
}

} // namespace
