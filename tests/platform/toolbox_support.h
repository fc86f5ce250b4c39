// Shared by the toolkit tests: the offscreen QApplication, the test forms, windows and
// control classes that clean up after themselves, and synthetic mouse input.
#pragma once

#include "CarbonEvents.h"
#include "Controls.h"
#include "IBCarbonRuntime.h"
#include "MacWindows.h"
#include "ToolboxTestHooks.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <memory>
#include <string>

namespace toolboxtest {

// The process's QApplication on the offscreen platform, made on first use.
QApplication* App();

// The four-character code of a four-character text.
FourCharCode CodeOf(const std::string& text);

// Folder of the test forms (a ".nib" folder of .ui files).
std::string FormFolder();

// A CFString that releases itself.
struct CFStringOwner {
    explicit CFStringOwner(const char* text);
    ~CFStringOwner();
    CFStringOwner(const CFStringOwner&) = delete;
    CFStringOwner& operator=(const CFStringOwner&) = delete;
    CFStringRef ref;
};

// Builds window `name` from the folder (the test forms by default); `status` tells the result.
struct TestWindow {
    explicit TestWindow(const char* name, const std::string& folder = FormFolder());
    ~TestWindow() { DisposeWindow(window); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    ControlRef Control(const std::string& signature, SInt32 number) const;
    QWidget* Widget() const { return ToolboxWindowWidget(window); }

    OSStatus status = noErr;
    WindowRef window = nullptr;
};

// A control class registered for one test.
struct TestClass {
    TestClass(const char* identifier, std::initializer_list<UInt32> kinds,
              EventHandlerProcPtr handler, void* data);
    ~TestClass() { UnregisterToolboxObjectClass(ref); }
    TestClass(const TestClass&) = delete;
    TestClass& operator=(const TestClass&) = delete;

    OSStatus status = noErr;
    ToolboxObjectClassRef ref = nullptr;
};

// Sends a mouse event at `where` (widget coordinates) with the left button.
void SendMouse(QWidget* widget, QEvent::Type type, QPoint where,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace toolboxtest
