// Helpers of the configuration window tests: the GUI environment, throw-away bundles with
// their own forms, and a workspace set up as the entry point does it.
#pragma once

#include "CFBundle.h"
#include "CarbonEvents.h"
#include "DataHandling.h"
#include "Dialogs.h"
#include "MacWindows.h"

#include <QPoint>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace dlgtest {

// Exit predicate: ended by exit() with a non-zero status (the alerts' fatal end).
bool ExitedNonZero(int status);

// Routes alerts to standard error (answered with their default button) for the life of the
// object; death tests install one so that a fatal alert prints its text instead of waiting.
class ConsoleAlerts {
  public:
    ConsoleAlerts();
    ~ConsoleAlerts();
    ConsoleAlerts(const ConsoleAlerts&) = delete;
    ConsoleAlerts& operator=(const ConsoleAlerts&) = delete;

  private:
    void* previousRefCon_ = nullptr;
    AlertPresenterProc previousProc_ = nullptr;
};

// A form: a .ui file name (without ".ui") and its text.
using Form = std::pair<std::string, std::string>;

// A bundle made in a temporary folder and registered under `identifier`, with interface files
// (nib name -> forms). Removed from disk at the end; the registry keeps the identifier.
class TempBundle {
  public:
    TempBundle(const std::string& identifier,
               const std::vector<std::pair<std::string, std::vector<Form>>>& nibs);
    ~TempBundle();
    TempBundle(const TempBundle&) = delete;
    TempBundle& operator=(const TempBundle&) = delete;

    const std::string& Dir() const { return dir_; }

  private:
    std::string dir_;
    CFBundleRef bundle_ = nullptr;
};

// A form of the given size holding the widgets' XML (may be empty).
std::string FormText(const std::string& name, int width, int height,
                     const std::string& widgets = "");
// A widget with signature and number; `cls` the Qt class, `extra` more properties.
std::string ControlXml(const std::string& cls, const std::string& signature, int number, int x,
                       int y, int width, int height, const std::string& extra = "");

// A custom control of toolbox object class `toolboxClass`.
std::string CustomControlXml(const std::string& toolboxClass, const std::string& signature,
                             int number, int x, int y, int width, int height,
                             const std::string& extra = "");

// One mouse position of a drag, in the coordinates of the widget it is posted to.
struct MouseStep {
    int x, y;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};
// Posts press (first step), moves and release (last step) to the widget at once, then lets
// them be delivered: a control that tracks the mouse finds the rest of the drag queued.
void PostMouseDrag(QWidget* widget, const std::vector<MouseStep>& steps);

// A four-character code from its text (four characters).
OSType Code(const char* text);
// The text of a control of the window ("" when there is none).
std::string ControlText(WindowRef window, const char* signature, int16_t number);

// Sends a control event of `kind` (with the control and a mouse position) straight to a class
// handler; its answer, and the part it wrote when `part` is given.
OSStatus SendToClassHandler(EventHandlerProcPtr handler, ControlRef control, UInt32 eventClass,
                            UInt32 kind, Point where, ControlPartCode* part = nullptr);

// Registers the real bundle built beside the tests, taking its identifier back from any
// bundle registered under it since.
void RegisterPluginBundle();

// Saves the workspace and the record pointer, and puts them back at the end.
class SavedWorkspace {
  public:
    SavedWorkspace() : workspace_(gConfigWorkSpace), config_(gTheConfig) {}
    ~SavedWorkspace() {
        gConfigWorkSpace = workspace_;
        gTheConfig = config_;
    }
    SavedWorkspace(const SavedWorkspace&) = delete;
    SavedWorkspace& operator=(const SavedWorkspace&) = delete;

  private:
    PluginWorkSpace workspace_;
    PluginDataPtr config_;
};

// Makes the window's port current for the life of the object.
class PortOf {
  public:
    explicit PortOf(WindowRef window);
    ~PortOf();
    PortOf(const PortOf&) = delete;
    PortOf& operator=(const PortOf&) = delete;

  private:
    CGrafPtr port_ = nullptr;
    GDHandle device_ = nullptr;
};

} // namespace dlgtest
