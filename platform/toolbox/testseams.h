// Platform-internal: the toolbox's test seams. Every build of the library has these hooks, but
// only its test variant exports calls that fill them (testing/toolboxseams.cpp): in the shipped
// library they stay empty and the real dialogs answer.
#pragma once

#include "ToolboxTestHooks.h"

#include <QString>

namespace tb {

// A test's procedure and the reference it is called with; no procedure means no hook.
template <typename Procedure> struct TestHook {
    Procedure proc = nullptr;
    void* refCon = nullptr;
};

// Process-wide, main thread only.
struct TestSeams {
    TestHook<ToolboxModalLoopHook> modalLoop;
    TestHook<ToolboxColorPickerHook> colorPicker;
    TestHook<ToolboxDocumentOpenerHook> documentOpener;
    TestHook<ToolboxAlertAnswerHook> alertAnswer;
};
TestSeams& Seams();

// An interface file reference for a folder of W.ui files; kIBCarbonRuntimeCantFindNibFile when
// it is not a folder.
OSStatus NibReferenceForFolder(const QString& folder, IBNibRef* outNibRef);
// Makes the message box present alerts; false, and nothing changed, without a QApplication.
bool InstallMessageBoxPresenter();

} // namespace tb
