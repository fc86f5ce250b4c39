// The colour picker, opening documents and the message-box alert presenter, through their
// hooks and through the real dialogs driven from inside their modal loops.
#include "toolbox_support.h"

#include "ColorPicker.h"
#include "Dialogs.h"
#include "LaunchServices.h"

#include <QColorDialog>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

NColorPickerInfo PickerFor(const char* prompt, CMRGBColor start) {
    NColorPickerInfo info{};
    info.theColor.color.rgb = start;
    info.prompt[0] = static_cast<unsigned char>(std::strlen(prompt));
    std::memcpy(info.prompt + 1, prompt, info.prompt[0]);
    return info;
}

Boolean CancelPicker(const char* prompt, const RGBColor* start, RGBColor*, void* seen) {
    *static_cast<std::string*>(seen) = prompt + std::to_string(start->red);
    return false;
}

TEST(ToolboxColorPicker, HookAnswersInsteadOfTheDialog) {
    std::string seen;
    ToolboxSetColorPickerHook(CancelPicker, &seen);
    NColorPickerInfo info = PickerFor("Choose \x8E:", {65280, 32768, 0});
    EXPECT_EQ(NPickColor(&info), noErr);
    ToolboxSetColorPickerHook(nullptr, nullptr);
    EXPECT_EQ(seen, "Choose é:65280"); // the prompt crosses from Mac OS Roman
    EXPECT_FALSE(info.newColorChosen);
    EXPECT_EQ(info.theColor.color.rgb.red, 65280);
}

TEST(ToolboxColorPicker, DialogStartsWithTheColourAndTitle) {
    toolboxtest::App();
    for (const bool accept : {true, false}) {
        QTimer::singleShot(0, [accept] {
            auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "Please choose color:");
            EXPECT_EQ(dialog->currentColor(), QColor(255, 128, 0));
            dialog->setCurrentColor(QColor(0x11, 0x22, 0x33));
            accept ? dialog->accept() : dialog->reject();
        });
        NColorPickerInfo info = PickerFor("Please choose color:", {65280, 32768, 0});
        EXPECT_EQ(NPickColor(&info), noErr);
        EXPECT_EQ(info.newColorChosen, accept);
        EXPECT_EQ(info.theColor.color.rgb.green, accept ? 0x2200 : 32768);
    }
}

OSStatus CaptureDocument(const char* path, void* data) {
    *static_cast<std::string*>(data) = path;
    return -1234;
}

TEST(ToolboxDocuments, OpenedThroughTheHookOnlyWhenTheFileExists) {
    std::string opened;
    ToolboxSetDocumentOpenerHook(CaptureDocument, &opened);
    FSRef file{};
    std::strcpy(file.path, LUMASHIFT_SOURCE_DIR "/CMakeLists.txt");
    EXPECT_EQ(LSOpenFSRef(&file, nullptr), -1234); // the opener's answer comes back
    EXPECT_EQ(opened, file.path);
    std::strcpy(file.path, LUMASHIFT_SOURCE_DIR "/no-such-manual.pdf");
    EXPECT_EQ(LSOpenFSRef(&file, nullptr), fnfErr);
    EXPECT_EQ(LSOpenFSRef(nullptr, nullptr), paramErr);
    ToolboxSetDocumentOpenerHook(nullptr, nullptr);
}

struct AlertSeen {
    DialogItemIndex answer;
    QString text, informative;
    int buttons = 0;
};

DialogItemIndex AnswerAlert(const AlertContent*, void* data) {
    auto* seen = static_cast<AlertSeen*>(data);
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return 0;
    seen->text = box->text();
    seen->informative = box->informativeText();
    seen->buttons = int(box->buttons().size());
    return seen->answer;
}

DialogItemIndex RunAlert(const char* cancelText) {
    toolboxtest::CFStringOwner headline("Head"), explanation("Why"), ok("Go");
    toolboxtest::CFStringOwner cancel(cancelText ? cancelText : "");
    AlertStdCFStringAlertParamRec param{kStdCFStringAlertVersionOne,
                                        true,
                                        false,
                                        ok.ref,
                                        cancelText ? cancel.ref : nullptr,
                                        nullptr,
                                        1,
                                        2,
                                        0,
                                        0};
    DialogRef alert = nullptr;
    CreateStandardAlert(kAlertCautionAlert, headline.ref, explanation.ref, &param, &alert);
    DialogItemIndex item = 0;
    RunStandardAlert(alert, nullptr, &item);
    return item;
}

TEST(ToolboxMessageBox, ShowsTheAlertAndAnswersTheButtonPressed) {
    toolboxtest::App();
    ASSERT_TRUE(ToolboxInstallMessageBoxPresenter());
    AlertSeen seen{2, {}, {}, 0};
    ToolboxSetAlertAnswerHook(AnswerAlert, &seen);
    EXPECT_EQ(RunAlert("Stop"), 2);
    EXPECT_EQ(seen.text, "Head");
    EXPECT_EQ(seen.informative, "Why");
    EXPECT_EQ(seen.buttons, 2);
    // One button only: an answer naming an absent button presses the default.
    EXPECT_EQ(RunAlert(nullptr), 1);
    EXPECT_EQ(seen.buttons, 1);
    ToolboxSetAlertAnswerHook(nullptr, nullptr);
    SetStandardAlertPresenter(nullptr, nullptr, nullptr);
}

} // namespace

namespace {

// Needs a process without an application yet, as each test gets under ctest.
TEST(ToolboxGUI, StartsOnlyWhereADisplayIsPossible) {
    if (QCoreApplication::instance()) GTEST_SKIP() << "an application exists already";
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    for (const char* name : names)
        unsetenv(name);
    int argc = 1;
    char program[] = "test_platform";
    char* argv[] = {program, nullptr};
    EXPECT_FALSE(ToolboxStartGUI(&argc, argv));
    EXPECT_EQ(QCoreApplication::instance(), nullptr);

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ASSERT_TRUE(ToolboxStartGUI(&argc, argv));
    EXPECT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
    ToolboxEndGUI();
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

} // namespace
