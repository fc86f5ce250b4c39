// The configuration window's controller: one modal run per layout until OK or Cancel.
#include "configdlghandler.h"

#include "CFBundle.h"
#include "DataHandling.h"
#include "LaunchServices.h"
#include "aboutwindow.h"
#include "carbonmacros.h"
#include "commonprocs.h"
#include "pixellib.h"
#include "prefsloader.h"
#include "relrects.h"
#include "sliderHandlers.h"

#include <bit>
#include <cstring>
#include <limits>
#include <string>

namespace {

WindowRef lgTheWindow = nullptr;
int16_t lgItemHit = kItemHitUndecided;

constexpr EventTypeSpec kCommandEvents[] = {{kEventClassCommand, kEventCommandProcess}};
constexpr OSType kMediaSig = FOUR_CHAR_CODE("Medi");

// A colour box's value is a colour packed in the machine's byte order (RGBColor2LongInt). On a
// big-endian machine that is 0 .. 16777215, alpha in the top byte; elsewhere blue is the top
// byte and any 32-bit value can come out, so the range must not clamp it.
constexpr bool kPackedColorsFit24Bits = std::endian::native == std::endian::big;
constexpr SInt32 kLowestPackedColor =
    kPackedColorsFit24Bits ? 0 : std::numeric_limits<SInt32>::min();
constexpr SInt32 kHighestPackedColor =
    kPackedColorsFit24Bits ? 16777215 : std::numeric_limits<SInt32>::max();

const char* LayoutForMediaType(int16_t TheMediaType) {
    switch (TheMediaType) {
    case kMediaPAL:
        return "configPAL";
    case kMediaHD:
        return "configHD";
    default:
        return "configNTSC";
    }
}

// One run of the window in the layout of the record's video format; sets lgItemHit.
void RunDialogWindow(PluginDataPtr TheConfig) {
    lgTheWindow = OpenNibWindowFromCFBundle(CMYBUNDLEID, CMYPLUGINNAME,
                                            LayoutForMediaType(TheConfig->MediaType));
    InstallEventHandler(GetWindowEventTarget(lgTheWindow), NewEventHandlerUPP(TheDialogHandler), 1,
                        kCommandEvents, lgTheWindow, nullptr);
    SetupDialog(lgTheWindow, TheConfig);
    ShowWindow(lgTheWindow);
    SetPortWindowPort(lgTheWindow);
    SelectWindow(lgTheWindow);
    // A loop that cannot run gets no decision from the user: treat it as Cancel rather than
    // reopening the window for ever.
    if (RunAppModalLoopForWindow(lgTheWindow) != noErr) lgItemHit = kItemHitCancelled;
    DisposeWindow(lgTheWindow);
    lgTheWindow = nullptr;
}

std::string ColorLocation(int16_t TheNumber) {
    return "Cannot allocate color" + std::to_string(TheNumber) + " in SetupDialog";
}

// Steps the frame slider by one (+1 or -1) within 0 .. MaxFrameIndex.
void StepFrame(WindowRef TheWindow, int32_t TheStep) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    const int64_t next = int64_t(GetControl32BitValue(ws.ClipSlider)) + TheStep;
    if (next < 0 || next > ws.MaxFrameIndex) return;
    const int32_t value = int32_t(next);
    SetControl32BitValue(ws.ClipSlider, value);
    ws.CurrFrameIndex = value;
    AccessRenderAndBlit(value);
    ShowFrameNumber(TheWindow, value);
}

void ResetDialog(PluginDataPtr TheConfig) {
    Assert(TheConfig, "Nil theConfig on Rset");
    ResetConfig(TheConfig);
    Config2Dlg(TheConfig);
    ReRenderAndBlit();
}

// Reopens the window in the new layout when the pop-up names another video format.
void ChangeMediaType(WindowRef TheWindow, PluginDataPtr TheConfig) {
    Assert(TheConfig, "Nil theConfig on Medi");
    const int16_t oldType = TheConfig->MediaType;
    TheConfig->MediaType = int16_t(SimpleGetControlValueByID(TheWindow, kMediaSig, 1));
    if (TheConfig->MediaType == oldType) return;
    lgItemHit = kItemHitReopen;
    QuitAppModalLoopForWindow(TheWindow);
}

void SelectWholeFrame(void) {
    RelRect whole;
    InitRelRect(&whole);
    PutCurrentRel(whole);
    ReRenderAndBlit();
}

void OpenManual(void) {
    CFStringRef identifier = MakeCFStringFromC(CMYBUNDLEID);
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(identifier);
    CFRelease(identifier);
    if (!bundle) {
        Notify("Cannot Locate Bundle. Proceed with caution. Crash imminent");
        return;
    }
    CFStringRef name = MakeCFStringFromC("manual");
    CFStringRef type = MakeCFStringFromC("pdf");
    CFURLRef url = CFBundleCopyResourceURL(bundle, name, type, nullptr);
    CFRelease(name);
    CFRelease(type);
    if (!url) {
        Notify("Cannot locate manual in bundle");
        return;
    }
    FSRef manual;
    if (CFURLGetFSRef(url, &manual)) {
        const OSStatus result = LSOpenFSRef(&manual, nullptr);
        if (result != noErr) Notify(("LSOpen failed with " + std::to_string(result)).c_str());
    }
    CFRelease(url);
}

} // namespace

void DoConfig(PluginDataPtr TheConfig) {
    Assert(TheConfig, "Nil theConfig on DoConfig");
    unsigned char backup[kPluginDataSize];
    std::memcpy(backup, TheConfig, sizeof backup);
    CGrafPtr savedPort;
    GDHandle savedDevice;
    GetGWorld(&savedPort, &savedDevice);
    do {
        RunDialogWindow(TheConfig);
    } while (lgItemHit != kItemHitAccepted && lgItemHit != kItemHitCancelled);
    SetGWorld(savedPort, savedDevice);
    if (lgItemHit == kItemHitAccepted)
        SaveConfig(TheConfig);
    else
        std::memcpy(TheConfig, backup, sizeof backup);
}

void SetupDialog(WindowRef TheWindow, PluginDataPtr TheConfig) {
    Assert(TheWindow, "Nil Window in SetupDialog");
    Assert(TheConfig, "Nil theConfig in SetupDialog");
    PluginWorkSpace& ws = gConfigWorkSpace;
    ws.TheWindow = TheWindow;
    ws.TheFrameCtrl = SimpleGetControlByID(TheWindow, FOUR_CHAR_CODE("Clip"), 1);
    Assert(ws.TheFrameCtrl, "Cannot acces Clip 1 CTRL");
    // ReRenderAndBlit redraws the preview by flipping this value between 0 and 1.
    SetControl32BitMaximum(ws.TheFrameCtrl, 1);
    SetupColors(TheWindow, TheConfig);
    SetupSliders(TheWindow);
    SimpleHideControl(TheWindow, FOUR_CHAR_CODE("Rect"), 1);
    SimpleHideControl(TheWindow, FOUR_CHAR_CODE("Rect"), 2);
    SimpleSetControlValueByID(TheWindow, kMediaSig, 1, TheConfig->MediaType);
}

void SetupColors(WindowRef TheWindow, PluginDataPtr TheConfig) {
    for (int16_t n = 1; n <= kColorCount; ++n) {
        ControlRef box = SimpleGetControlByID(TheWindow, FOUR_CHAR_CODE("Colr"), n);
        Assert(box, ColorLocation(n).c_str());
        SetControl32BitMinimum(box, kLowestPackedColor);
        SetControl32BitMaximum(box, kHighestPackedColor);
        SetControl32BitValue(box, RGBColor2LongInt(TheConfig->Colors[n - 1]));
        HideControl(box);
        SimpleHideControl(TheWindow, FOUR_CHAR_CODE("CLgd"), n);
        gConfigWorkSpace.Colors[n - 1] = box;
    }
}

void Config2Dlg(PluginDataPtr TheConfig) {
    Assert(TheConfig, "Nil theConfig in Config2Dlg");
    PluginWorkSpace& ws = gConfigWorkSpace;
    for (int n = 1; n <= kColorCount; ++n)
        SetControl32BitValue(ws.Colors[n - 1], RGBColor2LongInt(TheConfig->Colors[n - 1]));
    for (int16_t n = 1; n <= kSliderCount; ++n) {
        SetControl32BitValue(ws.Sliders[n - 1], TheConfig->Sliders[n - 1]);
        ShowSliderValue(lgTheWindow, n, TheConfig->Sliders[n - 1]);
    }
    ReRenderAndBlit();
}

OSStatus TheDialogHandler(EventHandlerCallRef, EventRef TheEvent, void* UserData) {
    const CommandText command = GetEventCommandText(TheEvent);
    lgItemHit = kItemHitUndecided;
    WindowRef window = static_cast<WindowRef>(UserData);
    PluginDataPtr config = gConfigWorkSpace.TheConfig;
    if (IsCommand(command, "ok  ")) {
        lgItemHit = kItemHitAccepted;
        QuitAppModalLoopForWindow(window);
    } else if (IsCommand(command, "not!")) {
        lgItemHit = kItemHitCancelled;
        QuitAppModalLoopForWindow(window);
    } else if (IsCommand(command, "Info")) {
        ShowAbout();
    } else if (IsCommand(command, "Adva")) {
        StepFrame(window, 1);
    } else if (IsCommand(command, "Revi")) {
        StepFrame(window, -1);
    } else if (IsCommand(command, "Rset")) {
        ResetDialog(config);
    } else if (IsCommand(command, "Medi")) {
        ChangeMediaType(window, config);
    } else if (IsCommand(command, "Sall")) {
        SelectWholeFrame();
    } else if (IsCommand(command, "Help")) {
        OpenManual();
    } else {
        return eventNotHandledErr;
    }
    return noErr;
}
