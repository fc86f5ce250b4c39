// Tests of standard alerts: the buttons an alert gets, presenters and their answers, the
// console form, and ending the application.
#include "Dialogs.h"
#include "cf_test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using StringHolder = CFHolder<CFStringRef>;

// An alert as a presenter saw it, texts copied out; an absent button is "".
struct SeenAlert {
    AlertType type;
    std::string headline, explanation;
    std::array<std::string, 3> buttons;
    DialogItemIndex defaultButton;
};

// Records every alert and answers with a chosen button.
struct Capture {
    std::vector<SeenAlert> seen;
    DialogItemIndex answer = kAlertStdAlertOKButton;

    static DialogItemIndex Present(const AlertContent* alert, void* refCon) {
        auto* self = static_cast<Capture*>(refCon);
        SeenAlert copy{alert->type, alert->headline, alert->explanation, {}, alert->defaultButton};
        for (int i = 0; i < 3; ++i)
            if (alert->buttons[i]) copy.buttons[i] = alert->buttons[i];
        self->seen.push_back(copy);
        return self->answer;
    }
};

// The buttons asked for; defaultButton 0 stands for "no parameter record at all".
struct Buttons {
    const char* ok;
    const char* cancel;
    const char* other;
    int16_t defaultButton;
};

struct ButtonsRow {
    const char* name;
    Buttons asked;
    DialogItemIndex presenterAnswer;
    std::array<std::string, 3> shown;
    DialogItemIndex shownDefault;
    DialogItemIndex hit;
};

class AlertTest : public testing::Test {
  protected:
    void SetUp() override {
        previous_ = SetStandardAlertPresenter(&Capture::Present, &capture_, &previousRefCon_);
    }
    void TearDown() override { SetStandardAlertPresenter(previous_, previousRefCon_, nullptr); }

    // Creates and runs a caution alert with these buttons; the item hit, or -1 on failure.
    static DialogItemIndex Show(const Buttons& asked, const char* headline = "Head",
                                const char* explanation = "Text") {
        StringHolder ok = MakeString(asked.ok), cancel = MakeString(asked.cancel),
                     other = MakeString(asked.other);
        const AlertStdCFStringAlertParamRec param{kStdCFStringAlertVersionOne,
                                                  true,
                                                  false,
                                                  ok.get(),
                                                  cancel.get(),
                                                  other.get(),
                                                  asked.defaultButton,
                                                  kAlertStdAlertCancelButton,
                                                  kWindowDefaultPosition,
                                                  0};
        DialogRef alert = nullptr;
        if (CreateStandardAlert(kAlertCautionAlert, MakeString(headline).get(),
                                MakeString(explanation).get(),
                                asked.defaultButton ? &param : nullptr, &alert) != noErr)
            return -1;
        DialogItemIndex hit = -1;
        return RunStandardAlert(alert, nullptr, &hit) == noErr ? hit : -1;
    }

    Capture capture_;
    AlertPresenterProc previous_ = nullptr;
    void* previousRefCon_ = nullptr;
};

class AlertButtons : public AlertTest, public testing::WithParamInterface<ButtonsRow> {};

TEST_P(AlertButtons, PresenterSeesTheButtonsAndItsAnswerIsChecked) {
    const ButtonsRow& row = GetParam();
    capture_.answer = row.presenterAnswer;
    EXPECT_EQ(Show(row.asked), row.hit);
    ASSERT_EQ(capture_.seen.size(), 1u);
    EXPECT_EQ(capture_.seen[0].buttons, row.shown);
    EXPECT_EQ(capture_.seen[0].defaultButton, row.shownDefault);
}

INSTANTIATE_TEST_SUITE_P(
    Params, AlertButtons,
    testing::Values(
        ButtonsRow{"NoParamOneOK", {nullptr, nullptr, nullptr, 0}, 1, {"OK", "", ""}, 1, 1},
        ButtonsRow{"NullDefaultTextIsOK", {nullptr, nullptr, nullptr, 1}, 1, {"OK", "", ""}, 1, 1},
        ButtonsRow{"OneButtonCannotCancel", {"ok", nullptr, nullptr, 1}, 2, {"ok", "", ""}, 1, 1},
        ButtonsRow{
            "TwoButtonsCancel", {"Save", "Don't", nullptr, 1}, 2, {"Save", "Don't", ""}, 1, 2},
        ButtonsRow{"ThreeButtonsOther", {"A", "B", "C", 1}, 3, {"A", "B", "C"}, 1, 3},
        ButtonsRow{"CancelIsDefault", {"A", "B", nullptr, 2}, 0, {"A", "B", ""}, 2, 2},
        ButtonsRow{"DefaultNamesAbsentButton", {"A", nullptr, nullptr, 3}, 1, {"A", "", ""}, 1, 1},
        ButtonsRow{"AnswerOutOfRange", {"A", "B", nullptr, 1}, -4, {"A", "B", ""}, 1, 1}),
    [](const auto& info) { return info.param.name; });

TEST_F(AlertTest, AlertKeepsItsOwnReferencesUntilRun) {
    CFStringRef headline =
        CFStringCreateWithCString(kCFAllocatorDefault, "Caf\xC3\xA9", kCFStringEncodingUTF8);
    StringHolder explanation = MakeString("line one\nline two");
    DialogRef alert = nullptr;
    ASSERT_EQ(CreateStandardAlert(kAlertStopAlert, headline, explanation.get(), nullptr, &alert),
              noErr);
    EXPECT_EQ(CFGetRetainCount(explanation.get()), 2);
    CFRelease(headline); // the alert's reference is the only one left

    DialogItemIndex hit = 0;
    ASSERT_EQ(RunStandardAlert(alert, nullptr, &hit), noErr);
    ASSERT_EQ(capture_.seen.size(), 1u);
    EXPECT_EQ(capture_.seen[0].type, kAlertStopAlert);
    EXPECT_EQ(capture_.seen[0].headline, "Caf\xC3\xA9");
    EXPECT_EQ(capture_.seen[0].explanation, "line one\nline two");
    EXPECT_EQ(CFGetRetainCount(explanation.get()), 1) << "running disposes of the alert";
}

TEST_F(AlertTest, BadArgumentsAreRefusedWithoutShowing) {
    DialogRef alert = reinterpret_cast<DialogRef>(&capture_); // must be cleared on failure
    AlertStdCFStringAlertParamRec badVersion{};
    badVersion.version = 2;
    EXPECT_EQ(CreateStandardAlert(kAlertNoteAlert, nullptr, nullptr, &badVersion, &alert),
              paramErr);
    EXPECT_EQ(alert, nullptr);
    EXPECT_EQ(CreateStandardAlert(AlertType(7), nullptr, nullptr, nullptr, &alert), paramErr);
    EXPECT_EQ(CreateStandardAlert(kAlertNoteAlert, nullptr, nullptr, nullptr, nullptr), paramErr);
    EXPECT_EQ(RunStandardAlert(nullptr, nullptr, nullptr), paramErr);
    EXPECT_TRUE(capture_.seen.empty());
}

TEST_F(AlertTest, SetPresenterAnswersTheOneItReplaces) {
    Capture other;
    void* replacedRefCon = nullptr;
    EXPECT_EQ(SetStandardAlertPresenter(&Capture::Present, &other, &replacedRefCon),
              &Capture::Present);
    EXPECT_EQ(replacedRefCon, &capture_);
    Show({});
    EXPECT_EQ(other.seen.size(), 1u);
    EXPECT_TRUE(capture_.seen.empty());
}

TEST_F(AlertTest, ConsolePresenterWritesTheAlertAndAnswersTheDefault) {
    SetStandardAlertPresenter(nullptr, nullptr, nullptr);
    testing::internal::CaptureStderr();
    const DialogItemIndex hit = Show({"Save", "Don't", nullptr, kAlertStdAlertCancelButton},
                                     "Save changes?", "Your edits are not stored.\nReally?");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "*** Caution alert: Save changes?\n"
                                                      "    Your edits are not stored.\n"
                                                      "    Really?\n"
                                                      "    Buttons: [Save]  [Don't] (default)\n"
                                                      "    Answered: [Don't] (no window system)\n");
    EXPECT_EQ(hit, kAlertStdAlertCancelButton);
}

TEST(ExitToShellDeathTest, EndsWithNonZeroStatusAfterFlushing) {
    EXPECT_EXIT(
        {
            static char buffer[256];
            std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer); // held until flushed
            std::fputs("pending", stderr);
            ExitToShell();
        },
        testing::ExitedWithCode(1), "^pending$");
}

TEST(ExitToShellDeathTest, SkipsExitHandlers) {
    EXPECT_EXIT(
        {
            std::atexit([] { std::fputs("exit handler ran", stderr); });
            ExitToShell();
        },
        testing::ExitedWithCode(1), "^$");
}

} // namespace
