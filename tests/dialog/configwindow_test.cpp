// The configuration window end to end: every layout opened through ConfigurePlugIn on the real
// widgets of the bundle, driven from inside its modal loops.
#include "configdlghandler.h"

#include "DataHandling.h"
#include "LaunchServices.h"
#include "MacMemory.h"
#include "ToolboxTestHooks.h"
#include "carbonmacros.h"
#include "configglue.h"
#include "dialog_testing.h"
#include "pixellib.h"
#include "pluginloader.h"
#include "prefsloader.h"
#include "testhost.h"
#include "threadcount.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using dlgtest::Code;
using dlgtest::ControlText;

constexpr int16_t kWidth = 192;
constexpr int16_t kHeight = 108;
constexpr int32_t kFirstFrame = 5; // host frame number of frame-slider position 0
constexpr int32_t kFrames = 30;

// What an alert showed; alerts are answered with their default button.
struct ShownAlert {
    std::string headline, explanation;
};

// Each run of a modal loop (configuration or about window) is handled by the next step.
using Step = std::function<void(WindowRef)>;

class ConfigWindow : public testing::Test {
  protected:
    static void SetUpTestSuite() { dlgtest::RegisterPluginBundle(); }

    void SetUp() override {
        config = reinterpret_cast<PluginDataPtr>(NewPtrClear(kPluginDataSize));
        ASSERT_NE(config, nullptr);
        ResetConfig(config);
        source = NewTestImage(kWidth, kHeight);
        TestHost::PaintSource(source, kFirstFrame);
        ToolboxSetModalLoopHook(&ConfigWindow::RunNextStep, this);
        previousPresenter =
            SetStandardAlertPresenter(&ConfigWindow::RecordAlert, this, &previousPresenterRefCon);
    }
    void TearDown() override {
        ToolboxSetModalLoopHook(nullptr, nullptr);
        ToolboxSetDocumentOpenerHook(nullptr, nullptr);
        ToolboxSetColorPickerHook(nullptr, nullptr);
        SetStandardAlertPresenter(previousPresenter, previousPresenterRefCon, nullptr);
        DisposePtr(reinterpret_cast<Ptr>(config));
        DisposeGWorld(source);
    }

    // Runs the custom-button request with the steps, and checks that every step was used.
    void Run(std::vector<Step> steps, int32_t frames = kFrames) {
        script.assign(steps.begin(), steps.end());
        ConfigurePlugIn(config, source, &host.params, kFirstFrame, frames);
        EXPECT_TRUE(script.empty()) << script.size() << " steps left over";
    }

    static void RunNextStep(WindowRef window, void* refCon) {
        auto* self = static_cast<ConfigWindow*>(refCon);
        ++self->loopsRun;
        if (self->script.empty()) {
            ADD_FAILURE() << "a modal loop ran with no step left: cancelled";
            SendCommand(window, "not!");
            return;
        }
        const Step step = self->script.front();
        self->script.pop_front();
        step(window);
    }

    static DialogItemIndex RecordAlert(const AlertContent* alert, void* refCon) {
        static_cast<ConfigWindow*>(refCon)->alerts.push_back(
            {alert->headline ? alert->headline : "", alert->explanation ? alert->explanation : ""});
        return alert->defaultButton;
    }

    // The user's way first (the button or pop-up); the command itself when the layout has none.
    static void SendCommand(WindowRef window, const char* command) {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
        HICommand hiCommand{};
        hiCommand.commandID = Code(command);
        SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof hiCommand,
                          &hiCommand);
        SendEventToEventTarget(event, GetWindowEventTarget(window));
        ReleaseEvent(event);
    }
    static void Click(WindowRef window, const char* command) {
        auto* button = qobject_cast<QAbstractButton*>(ToolboxCommandWidget(window, Code(command)));
        if (!button) {
            ADD_FAILURE() << "no button sends \"" << command << "\"";
            return SendCommand(window, command);
        }
        button->click();
    }
    static void ChooseMedia(WindowRef window, int item) {
        auto* popUp = qobject_cast<QComboBox*>(ToolboxCommandWidget(window, Code("Medi")));
        ASSERT_NE(popUp, nullptr) << "no pop-up sends \"Medi\"";
        popUp->setCurrentIndex(item - 1);
        emit popUp->activated(item - 1);
    }

    static ControlRef Control(WindowRef window, const char* signature, int16_t number) {
        return SimpleGetControlByID(window, Code(signature), number);
    }
    static SInt32 Value(WindowRef window, const char* signature, int16_t number) {
        return GetControl32BitValue(Control(window, signature, number));
    }
    static QString LayoutName(WindowRef window) {
        return ToolboxWindowWidget(window)->objectName();
    }

    std::vector<uint8_t> RecordBytes() const {
        const auto* bytes = reinterpret_cast<const uint8_t*>(config);
        return {bytes, bytes + kPluginDataSize};
    }
    bool PrefsSaved() const { return std::filesystem::exists(prefs.PrefsFile()); }
    std::vector<int32_t> FramesFetched() const {
        std::vector<int32_t> frames;
        for (const HostCall& call : host.calls)
            if (call.name == "GetFrame") frames.push_back(int32_t(call.args[0]));
        return frames;
    }

    TempPreferences prefs;
    TestHost host{kWidth, kHeight};
    dlgtest::SavedWorkspace saved;
    PluginDataPtr config = nullptr;
    GWorldPtr source = nullptr;
    std::deque<Step> script;
    int loopsRun = 0;
    std::vector<ShownAlert> alerts;
    AlertPresenterProc previousPresenter = nullptr;
    void* previousPresenterRefCon = nullptr;
};

// --- Layouts ---------------------------------------------------------------------------------

struct LayoutCase {
    const char* name;
    int16_t mediaType;
    const char* layout;
    int popUpValue;
};

class ConfigLayouts : public ConfigWindow, public testing::WithParamInterface<LayoutCase> {};

void SaveScreenshot(WindowRef window, const QString& name) {
    const QString folder = QStringLiteral(LUMASHIFT_BUILD_DIR "/screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(ToolboxWindowWidget(window)->grab().save(folder + "/" + name + ".png"));
}

TEST_P(ConfigLayouts, OpenFilledFromTheRecord) {
    const LayoutCase& c = GetParam();
    config->MediaType = c.mediaType;
    config->Sliders[0] = 75;
    config->Sliders[1] = 20;
    config->Sliders[3] = 33;
    config->Colors[0] = RGBColor{65535, 32768, 1};
    Run({[&](WindowRef window) {
        EXPECT_EQ(LayoutName(window), c.layout);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(gConfigWorkSpace.TheWindow, window);
        EXPECT_EQ(gConfigWorkSpace.TheFrameCtrl, Control(window, "Clip", 1));
        EXPECT_EQ(Value(window, "Medi", 1), c.popUpValue);
        EXPECT_EQ(Value(window, "Sldr", 1), 75);
        EXPECT_EQ(ControlText(window, "Lgnd", 1), "50%");
        EXPECT_EQ(Value(window, "Sldr", 2), 20);
        EXPECT_EQ(ControlText(window, "Lgnd", 2), "-60%");
        for (int16_t n = 3; n <= 6; ++n) {
            SCOPED_TRACE(testing::Message() << "slider " << n);
            EXPECT_FALSE(IsControlVisible(Control(window, "Sldr", n)));
            EXPECT_FALSE(IsControlVisible(Control(window, "Lgnd", n)));
            EXPECT_FALSE(IsControlVisible(Control(window, "Labl", n)));
        }
        for (int16_t n = 1; n <= 6; ++n) {
            SCOPED_TRACE(testing::Message() << "colour " << n);
            EXPECT_EQ(gConfigWorkSpace.Colors[n - 1], Control(window, "Colr", n));
            EXPECT_FALSE(IsControlVisible(Control(window, "Colr", n)));
            EXPECT_FALSE(IsControlVisible(Control(window, "CLgd", n)));
        }
        EXPECT_EQ(Value(window, "Colr", 1), RGBColor2LongInt(RGBColor{65535, 32768, 1}));
        EXPECT_FALSE(IsControlVisible(Control(window, "Rect", 1)));
        EXPECT_FALSE(IsControlVisible(Control(window, "Rect", 2)));
        EXPECT_EQ(GetControl32BitMaximum(gConfigWorkSpace.ClipSlider), kFrames - 1);
        EXPECT_EQ(ControlText(window, "ClpM", 1), "0/29");
        if (c.mediaType == c.popUpValue) SaveScreenshot(window, c.layout);
        Click(window, "not!");
    }});
    EXPECT_EQ(loopsRun, 1);
}

INSTANTIATE_TEST_SUITE_P(MediaTypes, ConfigLayouts,
                         testing::Values(LayoutCase{"NTSC", kMediaNTSC, "configNTSC", 1},
                                         LayoutCase{"PAL", kMediaPAL, "configPAL", 2},
                                         LayoutCase{"HD", kMediaHD, "configHD", 3},
                                         LayoutCase{"ZeroOpensNTSC", 0, "configNTSC", 1},
                                         LayoutCase{"SevenOpensNTSC", 7, "configNTSC", 3}),
                         [](const testing::TestParamInfo<LayoutCase>& info) {
                             return info.param.name;
                         });

// --- OK and Cancel ---------------------------------------------------------------------------

TEST_F(ConfigWindow, OkStoresTheEditsOnceTheWindowHasClosed) {
    config->StartRel = RelRect{0.1, 0.2, 0.3, 0.4};
    Run({[&](WindowRef window) {
        Click(window, "Sall");
        EXPECT_FALSE(PrefsSaved()) << "nothing is stored while the window is open";
        Click(window, "ok  ");
    }});
    ASSERT_TRUE(PrefsSaved());
    PluginDataRec stored{};
    ASSERT_TRUE(ReadConfig(&stored));
    EXPECT_EQ(stored.StartRel.Left, 0.0);
    EXPECT_EQ(stored.StartRel.Bottom, 1.0);
    EXPECT_EQ(config->StartRel.Right, 1.0) << "the record keeps the edits";
}

TEST_F(ConfigWindow, CancelRestoresTheRecordByteForByteAcrossReopenings) {
    config->Sliders[0] = 61;
    config->Sliders[4] = 9;
    config->StartRel = RelRect{0.1, 0.2, 0.3, 0.4};
    config->MediaType = kMediaPAL;
    reinterpret_cast<uint8_t*>(config)[kPluginDataSize - 1] = 0xA5; // beyond the fields
    const std::vector<uint8_t> before = RecordBytes();
    Run({[&](WindowRef window) {
             Click(window, "Sall");
             Click(window, "Rset");
             ChooseMedia(window, 3);
         },
         [&](WindowRef window) {
             EXPECT_EQ(LayoutName(window), "configHD");
             Click(window, "Adva");
             ChooseMedia(window, 1);
         },
         [&](WindowRef window) {
             EXPECT_EQ(LayoutName(window), "configNTSC");
             Click(window, "not!");
         }});
    EXPECT_EQ(RecordBytes(), before);
    EXPECT_FALSE(PrefsSaved());
}

// --- Commands --------------------------------------------------------------------------------

TEST_F(ConfigWindow, FrameStepsStopAtBothEnds) {
    Run({[&](WindowRef window) {
            Click(window, "Revi");
            EXPECT_EQ(ControlText(window, "ClpM", 1), "0/2");
            EXPECT_TRUE(FramesFetched().empty()) << "nothing happens at frame 0";
            Click(window, "Adva");
            Click(window, "Adva");
            EXPECT_EQ(ControlText(window, "ClpM", 1), "2/2");
            Click(window, "Adva");
            EXPECT_EQ(ControlText(window, "ClpM", 1), "2/2");
            EXPECT_EQ(FramesFetched(), (std::vector<int32_t>{kFirstFrame + 1, kFirstFrame + 2}));
            EXPECT_EQ(gConfigWorkSpace.CurrFrameIndex, 2);
            Click(window, "Revi");
            EXPECT_EQ(ControlText(window, "ClpM", 1), "1/2");
            EXPECT_EQ(Value(window, "ClpS", 1), 1);
            EXPECT_EQ(FramesFetched().back(), kFirstFrame + 1);
            Click(window, "not!");
        }},
        3);
}

TEST_F(ConfigWindow, ResetKeepsTheWindowAndShowsNeutralSliders) {
    config->MediaType = kMediaPAL;
    config->Sliders[0] = 90;
    config->Sliders[1] = 10;
    config->Colors[2] = RGBColor{65535, 65535, 65535};
    Run({[&](WindowRef window) {
        Click(window, "Rset");
        EXPECT_EQ(ControlText(window, "Lgnd", 1), "0%");
        EXPECT_EQ(ControlText(window, "Lgnd", 2), "0%");
        EXPECT_EQ(Value(window, "Sldr", 1), 50);
        EXPECT_EQ(Value(window, "Colr", 3), 0) << "colour boxes follow the record";
        EXPECT_EQ(config->MediaType, kMediaNTSC);
        EXPECT_EQ(Value(window, "Medi", 1), 2) << "the pop-up keeps its choice";
        EXPECT_EQ(LayoutName(window), "configPAL");
        Click(window, "ok  ");
    }});
    EXPECT_EQ(loopsRun, 1) << "a reset does not reopen the window";
    PluginDataRec stored{};
    ASSERT_TRUE(ReadConfig(&stored));
    EXPECT_EQ(stored.MediaType, kMediaNTSC);
}

TEST_F(ConfigWindow, SelectAllMakesTheRegionTheWholeFrame) {
    config->StartRel = RelRect{0.5, 0.6, 0.5, 0.6};
    config->Sliders[1] = 70;
    Run({[&](WindowRef window) {
        Rect bounds;
        GetControlBounds(gConfigWorkSpace.TheFrameCtrl, &bounds);
        const uint32_t cornerBefore =
            PixelAt(GetWindowPort(window), bounds.left + 8, bounds.top + 8);
        Click(window, "Sall");
        EXPECT_EQ(config->StartRel.Left, 0.0);
        EXPECT_EQ(config->StartRel.Right, 1.0);
        EXPECT_EQ(config->StartRel.Top, 0.0);
        EXPECT_EQ(config->StartRel.Bottom, 1.0);
        QApplication::processEvents();
        EXPECT_NE(PixelAt(GetWindowPort(window), bounds.left + 8, bounds.top + 8), cornerBefore)
            << "the preview is rendered with the new region";
        Click(window, "not!");
    }});
}

TEST_F(ConfigWindow, ChoosingTheSameMediaTypeKeepsTheWindow) {
    config->MediaType = kMediaPAL;
    Run({[&](WindowRef window) {
        ChooseMedia(window, 2);
        Click(window, "ok  ");
    }});
    EXPECT_EQ(loopsRun, 1);
}

TEST_F(ConfigWindow, AnotherMediaTypeReopensWithTheEditsAndFrame) {
    Run({[&](WindowRef window) {
             Click(window, "Adva");
             Click(window, "Sall");
             ChooseMedia(window, 3);
         },
         [&](WindowRef window) {
             EXPECT_EQ(LayoutName(window), "configHD");
             EXPECT_EQ(Value(window, "Medi", 1), 3);
             EXPECT_EQ(Value(window, "ClpS", 1), 1) << "the same frame";
             EXPECT_EQ(ControlText(window, "ClpM", 1), "1/29");
             EXPECT_EQ(config->StartRel.Right, 1.0);
             Click(window, "ok  ");
         }});
    EXPECT_EQ(config->MediaType, kMediaHD);
}

TEST_F(ConfigWindow, UnknownCommandsArePassedOn) {
    Run({[&](WindowRef window) {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
        HICommand command{};
        command.commandID = Code("zzzz");
        SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
        EXPECT_EQ(TheDialogHandler(nullptr, event, window), eventNotHandledErr);
        ReleaseEvent(event);
        Click(window, "ok  ");
    }});
    EXPECT_EQ(loopsRun, 1);
}

// --- Sliders ---------------------------------------------------------------------------------

// The middle of the slider's thumb, and where it would be for `value`.
QPoint ThumbCentre(QSlider* slider, int value) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = value;
    option.sliderValue = value;
    option.upsideDown = slider->invertedAppearance() != (slider->orientation() == Qt::Vertical);
    option.tickPosition = slider->tickPosition();
    option.subControls = QStyle::SC_SliderHandle;
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

TEST_F(ConfigWindow, DraggingASliderWritesTheRecordAndTextLive) {
    Run({[&](WindowRef window) {
        auto* slider = qobject_cast<QSlider*>(ToolboxControlWidget(Control(window, "Sldr", 1)));
        ASSERT_NE(slider, nullptr);
        QTest::mousePress(slider, Qt::LeftButton, {}, ThumbCentre(slider, 50));
        for (const int target : {60, 75}) {
            QTest::mouseMove(slider, ThumbCentre(slider, target));
            const int value = slider->value();
            EXPECT_NEAR(value, target, 2);
            EXPECT_EQ(config->Sliders[0], value) << "while dragging";
            EXPECT_EQ(ControlText(window, "Lgnd", 1), std::to_string((value - 50) * 2) + "%");
        }
        QTest::mouseRelease(slider, Qt::LeftButton, {}, ThumbCentre(slider, 75));
        Click(window, "ok  ");
    }});
    EXPECT_NEAR(config->Sliders[0], 75, 2);
}

TEST_F(ConfigWindow, TheFrameSliderFetchesItsFrameAndShowsIt) {
    Run({[&](WindowRef window) {
        auto* slider =
            qobject_cast<QAbstractSlider*>(ToolboxControlWidget(Control(window, "ClpS", 1)));
        ASSERT_NE(slider, nullptr);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_End);
        EXPECT_EQ(gConfigWorkSpace.CurrFrameIndex, kFrames - 1);
        ASSERT_FALSE(FramesFetched().empty());
        EXPECT_EQ(FramesFetched().back(), kFrames - 1 + kFirstFrame);
        EXPECT_EQ(ControlText(window, "ClpM", 1), "29/29");
        EXPECT_EQ(host.LiveFrames(), 0u) << "the host's image is given back at once";
        EXPECT_EQ(PixelAt(source, 3, 4), TestHost::SourcePixel(kFrames - 1 + kFirstFrame, 3, 4));
        Click(window, "not!");
    }});
}

// --- About, help, colour boxes, the preview --------------------------------------------------

TEST_F(ConfigWindow, ThePreviewsHelpersBelongToTheWindowAndEndWithIt) {
    PretendProcessors four(4); // three helpers for the window's run
    DisposeGWorld(source);
    source = NewTestImage(960, 540); // an HD frame: large enough to share its rows out
    TestHost::PaintSource(source, kFirstFrame);
    int helpers = -1, withWindow = 0;
    Run({[&](WindowRef window) {
        ASSERT_NE(gConfigWorkSpace.PreviewWorkers, nullptr);
        helpers = gConfigWorkSpace.PreviewWorkers->RunningHelpers();
        withWindow = ProcessThreads();
        Click(window, "not!");
    }});
    EXPECT_EQ(helpers, 3) << "the first preview shares its rows out";
    EXPECT_EQ(gConfigWorkSpace.PreviewWorkers, nullptr);
    EXPECT_EQ(ProcessThreads(), withWindow - 3) << "the helpers end when the window closes";
}

TEST_F(ConfigWindow, AboutShowsNameAndVersionOverTheDialog) {
    Run({[&](WindowRef window) {
             Click(window, "Info");
             EXPECT_TRUE(IsWindowVisible(window)) << "the dialog stays";
             CGrafPtr port;
             GDHandle device;
             GetGWorld(&port, &device);
             EXPECT_EQ(port, GetWindowPort(window)) << "drawing goes on in the dialog's port";
             Click(window, "ok  ");
         },
         [&](WindowRef about) {
             EXPECT_EQ(ControlText(about, "Plug", 1), "Glimmerdusk");
             // Each processor's program names its processor, as its build folder says.
             const std::map<std::string, std::string> kVersions = {
                 {"x86_64", "Version 3.0.0 (i386 Universal)"},
                 {"aarch64", "Version 3.0.0 (ARM64 Universal)"},
                 {"powerpc", "Version 3.0.0 (PPC Universal)"}};
             EXPECT_EQ(ControlText(about, "Vers", 1), kVersions.at(PLATFORM_PROCESSOR_FOLDER));
             SaveScreenshot(about, "about");
             Click(about, "ok  ");
         }});
    EXPECT_EQ(loopsRun, 2);
}

// A key event as the window system delivers it to the focus of the active window.
void SendKey(QWidget* window, QEvent::Type type, bool autoRepeat) {
    QWidget* focus = window->focusWidget() ? window->focusWidget() : window;
    QKeyEvent event(type, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), autoRepeat);
    QApplication::sendEvent(focus, &event);
}

TEST_F(ConfigWindow, ReturnHeldInTheAboutWindowStaysThere) {
    {
        QObject scope; // ends the cancel below with this run
        Run({[&](WindowRef window) {
                 Click(window, "Info");
                 // The about window closed on Return, which is still held: its repeats and its
                 // release now go to the configuration window, and must do nothing there.
                 QWidget* dialog = ToolboxWindowWidget(window);
                 for (int repeat = 0; repeat < 3; ++repeat)
                     SendKey(dialog, QEvent::KeyPress, true);
                 SendKey(dialog, QEvent::KeyRelease, false);
                 // The user then cancels, once these events have had their effect.
                 QTimer::singleShot(0, &scope, [window] { Click(window, "not!"); });
             },
             [&](WindowRef about) {
                 SendKey(ToolboxWindowWidget(about), QEvent::KeyPress, false);
             }});
    }
    EXPECT_FALSE(PrefsSaved()) << "the held key accepted the configuration window";

    // Return pressed in the configuration window itself accepts it.
    Run({[&](WindowRef window) {
        SendKey(ToolboxWindowWidget(window), QEvent::KeyPress, false);
        SendKey(ToolboxWindowWidget(window), QEvent::KeyRelease, false);
    }});
    EXPECT_TRUE(PrefsSaved());
}

struct OpenedDocument {
    std::string path;
    OSStatus answer = noErr;
};

OSStatus CaptureDocument(const char* path, void* refCon) {
    auto* opened = static_cast<OpenedDocument*>(refCon);
    opened->path = path;
    return opened->answer;
}

TEST_F(ConfigWindow, HelpOpensTheManualAndReportsAFailure) {
    OpenedDocument opened;
    ToolboxSetDocumentOpenerHook(CaptureDocument, &opened);
    Run({[&](WindowRef window) {
        Click(window, "Help");
        EXPECT_EQ(opened.path, LUMASHIFT_BUNDLE_DIR "/Contents/Resources/manual.pdf");
        EXPECT_TRUE(alerts.empty());
        opened.answer = kLSApplicationNotFoundErr;
        Click(window, "Help");
        EXPECT_TRUE(IsWindowVisible(window)) << "the dialog stays open";
        Click(window, "not!");
    }});
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].headline, "Internal Notification:");
    EXPECT_EQ(alerts[0].explanation, "LSOpen failed with -10814");
}

std::string RealForm(const std::string& name) {
    std::ifstream file(LUMASHIFT_BUNDLE_DIR "/Contents/Resources/lumashift.nib/" + name + ".ui");
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST_F(ConfigWindow, HelpWithoutTheManualSaysSo) {
    OpenedDocument opened;
    ToolboxSetDocumentOpenerHook(CaptureDocument, &opened);
    {
        // The plug-in's own layouts in a bundle that lacks the manual.
        dlgtest::TempBundle withoutManual(
            CMYBUNDLEID, {{"lumashift", {{"configNTSC", RealForm("configNTSC")}}}});
        Run({[&](WindowRef window) {
            Click(window, "Help");
            Click(window, "not!");
        }});
    }
    dlgtest::RegisterPluginBundle();
    EXPECT_TRUE(opened.path.empty());
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].explanation, "Cannot locate manual in bundle");
}

TEST_F(ConfigWindow, AColourBoxTakesThePickedColour) {
    struct Picker {
        int calls = 0;
    } picker;
    ToolboxSetColorPickerHook(
        [](const char*, const RGBColor*, RGBColor* chosen, void* refCon) -> Boolean {
            ++static_cast<Picker*>(refCon)->calls;
            *chosen = RGBColor{0x4000, 0x8000, 0xC000};
            return true;
        },
        &picker);
    Run({[&](WindowRef window) {
        ControlRef box = Control(window, "Colr", 1);
        ShowControl(box);
        QApplication::processEvents();
        dlgtest::PostMouseDrag(ToolboxControlWidget(box), {{2, 2}});
        EXPECT_EQ(picker.calls, 1);
        EXPECT_EQ(GetControl32BitValue(box), RGBColor2LongInt(RGBColor{0x4000, 0x8000, 0xC000}));
        Click(window, "not!");
    }});
}

void FillImage(GWorldPtr image, uint32_t argb) {
    Rect bounds;
    GetPortBounds(image, &bounds);
    for (int y = bounds.top; y < bounds.bottom; ++y)
        for (int x = bounds.left; x < bounds.right; ++x)
            SetPixelAt(image, x, y, argb);
}

TEST_F(ConfigWindow, DraggingTheRegionInTheHDPreview) {
    config->MediaType = kMediaHD;
    config->Sliders[1] = 60; // offset +51: grey 0x80 inside the region shows as 0xB3
    config->StartRel = RelRect{0.25, 0.5, 0.25, 0.5};
    FillImage(source, 0xFF808080);
    Run({[&](WindowRef window) {
        Rect bounds;
        GetControlBounds(gConfigWorkSpace.TheFrameCtrl, &bounds);
        const int width = bounds.right - bounds.left;
        const int height = bounds.bottom - bounds.top;
        EXPECT_EQ(width, 640);
        EXPECT_EQ(height, 360);
        // From the middle of the region by a quarter of the preview to the right and down.
        const int x0 = width * 3 / 8, y0 = height * 3 / 8;
        dlgtest::PostMouseDrag(
            ToolboxControlWidget(gConfigWorkSpace.TheFrameCtrl),
            {{x0, y0}, {x0 + width / 8, y0 + height / 8}, {x0 + width / 4, y0 + height / 4}});
        EXPECT_DOUBLE_EQ(config->StartRel.Left, 0.5);
        EXPECT_DOUBLE_EQ(config->StartRel.Top, 0.5);
        EXPECT_DOUBLE_EQ(config->StartRel.Right, 0.75);
        const CGrafPtr port = GetWindowPort(window);
        auto shown = [&](double fx, double fy) {
            return PixelAt(port, bounds.left + int(width * fx), bounds.top + int(height * fy)) &
                   0xFFFFFF;
        };
        EXPECT_EQ(shown(0.6, 0.6), 0xB3B3B3u) << "where the region went";
        EXPECT_EQ(shown(0.3, 0.3), 0x808080u) << "where it was";
        SaveScreenshot(window, "configHD-dragged");
        Click(window, "ok  ");
    }});
}

// --- Broken layouts --------------------------------------------------------------------------

// Every control the window needs, one below the other, but the one named.
std::string LayoutWithout(const std::string& missingSignature, int missingNumber) {
    std::string widgets;
    int y = 10;
    auto missing = [&](const char* signature, int number) {
        return signature == missingSignature && number == missingNumber;
    };
    auto add = [&](const char* cls, const char* signature, int number) {
        if (missing(signature, number)) return;
        widgets += dlgtest::ControlXml(cls, signature, number, 10, y, 120, 16);
        y += 18;
    };
    auto addCustom = [&](const char* toolboxClass, const char* signature, int number) {
        if (missing(signature, number)) return;
        widgets += dlgtest::CustomControlXml(toolboxClass, signature, number, 10, y, 32, 16);
        y += 18;
    };
    addCustom("com.brindle.reelkit.clip", "Clip", 1);
    for (int n = 1; n <= 6; ++n) {
        add("QSlider", "Sldr", n);
        add("QLabel", "Lgnd", n);
        add("QLabel", "Labl", n);
        addCustom("com.brindle.reelkit.color", "Colr", n);
        add("QLabel", "CLgd", n);
    }
    add("QSlider", "ClpS", 1);
    add("QLabel", "ClpM", 1);
    return dlgtest::FormText("configNTSC", 260, y + 10, widgets);
}

struct MissingCase {
    const char* name;
    const char* signature;
    int number;
    const char* message;
};

class ConfigBrokenLayout : public ConfigWindow, public testing::WithParamInterface<MissingCase> {};

TEST_P(ConfigBrokenLayout, EndsInTheAssertionText) {
    const MissingCase& c = GetParam();
    EXPECT_EXIT(
        {
            dlgtest::ConsoleAlerts console;
            // Takes the plug-in's identifier over for this process only (death tests fork).
            dlgtest::TempBundle broken(
                CMYBUNDLEID,
                {{"lumashift", {{"configNTSC", LayoutWithout(c.signature, c.number)}}}});
            Run({[](WindowRef window) { Click(window, "not!"); }});
        },
        dlgtest::ExitedNonZero, std::string("Assertion failed in: ") + c.message);
}

INSTANTIATE_TEST_SUITE_P(
    MissingControls, ConfigBrokenLayout,
    testing::Values(MissingCase{"Clip", "Clip", 1, "Cannot acces Clip 1 CTRL"},
                    MissingCase{"Colour2", "Colr", 2, "Cannot allocate color2 in SetupDialog"},
                    MissingCase{"Slider3", "Sldr", 3, "Cannot access slider 3"},
                    MissingCase{"FrameSlider", "ClpS", 1, "Cannot access clip slider"}),
    [](const testing::TestParamInfo<MissingCase>& info) { return info.param.name; });

} // namespace
