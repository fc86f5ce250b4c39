// The toolkit adapter: windows from the bundle's interface files and controls by identifier.
#include "carbonmacros.h"

#include "CFBundle.h"
#include "IBCarbonRuntime.h"
#include "PluginDefines.h"
#include "commonprocs.h"

#include <cstdio>
#include <cstdlib>
#include <string>

CommandText GetEventCommandText(EventRef TheEvent) {
    HICommand command{};
    GetEventParameter(TheEvent, kEventParamDirectObject, typeHICommand, nullptr, sizeof(command),
                      nullptr, &command);
    return CommandID2Str(command.commandID);
}

Boolean IsControlDimmed(ControlRef TheControl) {
    return uint16_t(GetControlHilite(TheControl)) >= uint16_t(kControlDisabledPart);
}

ControlRef GetEventControl(EventRef TheEvent) {
    ControlRef control = nullptr;
    GetEventParameter(TheEvent, kEventParamDirectObject, typeControlRef, nullptr, sizeof(control),
                      nullptr, &control);
    return control;
}

Point GetEventMouseLocation(EventRef TheEvent) {
    Point where{0, 0};
    GetEventParameter(TheEvent, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof(where),
                      nullptr, &where);
    return where;
}

UInt32 GetEventKeyModifiers(EventRef TheEvent) {
    UInt32 modifiers = 0;
    GetEventParameter(TheEvent, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof(modifiers),
                      nullptr, &modifiers);
    return modifiers;
}

void SetEventControlPart(EventRef TheEvent, ControlPartCode ThePart) {
    SetEventParameter(TheEvent, kEventParamControlPart, typeControlPartCode, sizeof(ThePart),
                      &ThePart);
}

CFStringRef MakeCFStringFromC(const char* TheText) {
    if (!TheText) return nullptr;
    return CFStringCreateWithCString(nullptr, TheText, kCFStringEncodingMacRoman);
}

namespace {

[[noreturn]] void TerminateNibFailure(const char* TheIdentifier, const char* TheNib,
                                      OSStatus TheError) {
    Str255 headline, description, number;
    CToText("OpenNibWindow Failed", headline);
    const std::string text = std::string("Unable to CreateNibReferenceWithCFBundle for \"") +
                             TheIdentifier + "/" + TheNib + "\" as it returned errcode #";
    CToText(text.c_str(), description);
    Num2Text(TheError, number);
    AppendText(description, number);
    Str255 period;
    CToText(".", period);
    AppendText(description, period);
    Terminate(headline, description);
}

// The window's error decides the exit status; a status of 0 would read as success, so an
// error whose low byte is 0 ends with 1 instead.
[[noreturn]] void ExitForWindowFailure(OSStatus TheError) {
    const int status = TheError & 0xFF;
    std::fflush(nullptr);
    std::_Exit(status != 0 ? status : 1);
}

} // namespace

WindowRef OpenNibWindowFromCFBundle(const char* TheIdentifier, const char* TheNib,
                                    const char* TheWindow) {
    if (!TheIdentifier) TheIdentifier = "";
    CFStringRef identifier = MakeCFStringFromC(TheIdentifier);
    Assert(identifier, (std::string("Cannot allocate CFSTR for ") + TheIdentifier).c_str());
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(identifier);
    CFRelease(identifier);
    Assert(bundle, (std::string("Cannot allocate bundle for ID = ") + TheIdentifier).c_str());
    CFRetain(bundle);

    const char* nibName = (TheNib && TheNib[0]) ? TheNib : CMYPLUGINNAME;
    CFStringRef nibString = MakeCFStringFromC(nibName);
    IBNibRef nibRef = nullptr;
    const OSStatus nibError = CreateNibReferenceWithCFBundle(bundle, nibString, &nibRef);
    if (nibString) CFRelease(nibString);
    if (nibError != noErr) TerminateNibFailure(TheIdentifier, nibName, nibError);

    CFStringRef windowName = MakeCFStringFromC(TheWindow);
    WindowRef window = nullptr;
    const OSStatus windowError = CreateWindowFromNib(nibRef, windowName, &window);
    if (windowName) CFRelease(windowName);
    if (windowError != noErr) ExitForWindowFailure(windowError);

    DisposeNibReference(nibRef);
    CFRelease(bundle);
    return window;
}

ControlRef SimpleGetControlByID(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber) {
    const ControlID id{TheSignature, SInt32(TheNumber)};
    ControlRef control = nullptr;
    if (GetControlByID(TheWindow, &id, &control) != noErr) return nullptr;
    return control;
}

SInt32 SimpleGetControlValueByID(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber) {
    ControlRef control = SimpleGetControlByID(TheWindow, TheSignature, TheNumber);
    return control ? GetControl32BitValue(control) : 0;
}

void SimpleSetControlValueByID(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber,
                               SInt32 TheValue) {
    if (ControlRef control = SimpleGetControlByID(TheWindow, TheSignature, TheNumber))
        SetControl32BitValue(control, TheValue);
}

namespace {

void SetControlText(ControlRef TheControl, ConstStr255Param TheText) {
    SetControlData(TheControl, kControlEntireControl, kControlStaticTextTextTag, Size(TheText[0]),
                   TheText + 1);
}

} // namespace

void SimpleSetControlText(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber,
                          ConstStr255Param TheText) {
    if (ControlRef control = SimpleGetControlByID(TheWindow, TheSignature, TheNumber)) {
        SetControlText(control, TheText);
        Draw1Control(control);
    }
}

void SetEditTextForControl(ConstStr255Param TheText, WindowRef TheWindow, OSType TheSignature,
                           int16_t TheNumber) {
    if (ControlRef control = SimpleGetControlByID(TheWindow, TheSignature, TheNumber))
        SetControlText(control, TheText);
}

void SimpleHideControl(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber) {
    if (ControlRef control = SimpleGetControlByID(TheWindow, TheSignature, TheNumber))
        HideControl(control);
}
