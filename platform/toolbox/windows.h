// Platform-internal: the window record behind WindowRef, keeping windows alive while their
// code runs, and showing the port.
#pragma once

#include "MacWindows.h"
#include "toolbox/controls.h"
#include "toolbox/events.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

class QEventLoop;
class QPainter;

namespace tb {
class WindowWatcher;
}

struct OpaqueWindowPtr {
    explicit OpaqueWindowPtr(QWidget* rootWidget, GWorldPtr windowPort);
    ~OpaqueWindowPtr();
    OpaqueWindowPtr(const OpaqueWindowPtr&) = delete;
    OpaqueWindowPtr& operator=(const OpaqueWindowPtr&) = delete;

    QPointer<QWidget> root;
    GWorldPtr port; // owned: content-sized, coordinates = the root widget's
    OpaqueEventTargetRef target{this};
    std::vector<std::unique_ptr<OpaqueControlRef>> controls; // in the form's order
    std::vector<std::pair<FourCharCode, QPointer<QWidget>>> commandWidgets;
    // Context of every connection to the window's widgets and filter of the root's events;
    // deleting it cuts the window's widgets off from the records.
    std::unique_ptr<tb::WindowWatcher> watcher;
    QEventLoop* modalLoop = nullptr;
    QImage shown; // the port converted for display, refreshed for dirty rectangles only
    int keepers = 0;
    bool disposed = false;
};

namespace tb {

// Takes ownership of a loaded root widget and its port; the window is live from here.
WindowRef AdoptWindow(QWidget* root, GWorldPtr port);
// False for null, disposed or unknown windows.
bool LiveWindow(WindowRef window);
// The live window whose port this is, or null.
WindowRef WindowOfPort(CGrafPtr port);

// Holds the window while its handlers, widgets or modal loop run: a window disposed meanwhile
// is destroyed when the last keeper goes, and its widgets deleted from the event loop, since
// one of them may still be on the call stack.
class WindowKeeper {
  public:
    explicit WindowKeeper(WindowRef window);
    ~WindowKeeper();
    WindowKeeper(const WindowKeeper&) = delete;
    WindowKeeper& operator=(const WindowKeeper&) = delete;

  private:
    WindowRef window_;
};

// Paints the part `area` (window coordinates) of the window's port with `painter`, whose
// origin lies at `origin` in window coordinates.
void ShowPort(WindowRef window, QPainter& painter, const QRect& area, const QPoint& origin);

// The point in window content coordinates, clamped to 16 bits.
Point PointOf(const QPoint& windowPoint);

} // namespace tb
