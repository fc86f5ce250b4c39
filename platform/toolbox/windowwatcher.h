// Platform-internal: the QObject that filters a window's events and scopes its connections.
#pragma once

#include "MacWindows.h"

#include <QObject>

namespace tb {

// Turns Escape and closing into the cancel command, and tells custom controls when their
// window is activated or deactivated.
class WindowWatcher : public QObject {
    Q_OBJECT
  public:
    explicit WindowWatcher(WindowRef window) : window_(window) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    WindowRef window_;
};

// Sends the cancel command, then hides the window and ends its modal loop if still running.
void CancelWindow(WindowRef window);

} // namespace tb
