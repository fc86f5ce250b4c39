// The about window: the effect's display name and version in a small modal window.
#include "aboutwindow.h"

#include "PluginDefines.h"
#include "carbonmacros.h"
#include "commonprocs.h"

namespace {

WindowRef lgTheWindow = nullptr;
int16_t lgItemHit = -1; // 1 closed with OK, 2 with Cancel; nothing reads it afterwards

constexpr EventTypeSpec kCommandEvents[] = {{kEventClassCommand, kEventCommandProcess}};

void SetAboutTexts(WindowRef TheWindow) {
    Str255 text;
    CToText(CMYCLEARNAME, text);
    SimpleSetControlText(TheWindow, FOUR_CHAR_CODE("Plug"), 1, text);
    CToText("Version " CPLUGVERSION, text);
    SimpleSetControlText(TheWindow, FOUR_CHAR_CODE("Vers"), 1, text);
}

} // namespace

void ShowAbout(void) {
    CGrafPtr savedPort;
    GDHandle savedDevice;
    GetGWorld(&savedPort, &savedDevice);
    lgTheWindow = OpenNibWindowFromCFBundle(CMYBUNDLEID, "about", "about");
    InstallEventHandler(GetWindowEventTarget(lgTheWindow), NewEventHandlerUPP(AboutDialogHandler),
                        1, kCommandEvents, lgTheWindow, nullptr);
    SetAboutTexts(lgTheWindow);
    ShowWindow(lgTheWindow);
    SelectWindow(lgTheWindow);
    RunAppModalLoopForWindow(lgTheWindow);
    DisposeWindow(lgTheWindow);
    lgTheWindow = nullptr;
    SetGWorld(savedPort, savedDevice);
}

OSStatus AboutDialogHandler(EventHandlerCallRef, EventRef TheEvent, void* UserData) {
    const CommandText command = GetEventCommandText(TheEvent);
    lgItemHit = -1;
    WindowRef window = static_cast<WindowRef>(UserData);
    if (IsCommand(command, "ok  ")) {
        lgItemHit = 1;
    } else if (IsCommand(command, "not!")) {
        lgItemHit = 2;
    } else {
        return eventNotHandledErr;
    }
    QuitAppModalLoopForWindow(window);
    return noErr;
}
