// The entry points of the toolbox's test seams (ToolboxTestHooks.h): linked into the library's
// test variant only.
#include "ToolboxTestHooks.h"

#include "toolbox/controls.h"
#include "toolbox/guiapp.h"
#include "toolbox/testseams.h"
#include "toolbox/windows.h"

OSStatus ToolboxCreateNibReferenceAtPath(const char* nibFolder, IBNibRef* outNibRef) {
    if (!outNibRef) return paramErr;
    *outNibRef = nullptr;
    if (!nibFolder) return paramErr;
    return tb::NibReferenceForFolder(QString::fromUtf8(nibFolder), outNibRef);
}

QWidget* ToolboxWindowWidget(WindowRef window) {
    return tb::LiveWindow(window) ? window->root.data() : nullptr;
}

QWidget* ToolboxControlWidget(ControlRef control) {
    // A widget of a live control whose window is being torn down may already be gone.
    return tb::HasGUI() && tb::LiveControl(control) ? control->widget.data() : nullptr;
}

QWidget* ToolboxCommandWidget(WindowRef window, UInt32 commandID) {
    if (!tb::LiveWindow(window)) return nullptr;
    for (const auto& [command, widget] : window->commandWidgets)
        if (command == commandID) return widget;
    return nullptr;
}

void ToolboxSetModalLoopHook(ToolboxModalLoopHook hook, void* refCon) {
    tb::Seams().modalLoop = {hook, refCon};
}

void ToolboxSetColorPickerHook(ToolboxColorPickerHook hook, void* refCon) {
    tb::Seams().colorPicker = {hook, refCon};
}

void ToolboxSetDocumentOpenerHook(ToolboxDocumentOpenerHook hook, void* refCon) {
    tb::Seams().documentOpener = {hook, refCon};
}

Boolean ToolboxInstallMessageBoxPresenter(void) {
    return tb::InstallMessageBoxPresenter();
}

void ToolboxSetAlertAnswerHook(ToolboxAlertAnswerHook hook, void* refCon) {
    tb::Seams().alertAnswer = {hook, refCon};
}
