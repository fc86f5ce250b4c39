// Window events the toolkit answers itself: Escape, closing, activation.
#include "toolbox/windowwatcher.h"

#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/windows.h"

#include <QEventLoop>
#include <QKeyEvent>

namespace tb {

bool WindowWatcher::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) break;
        CancelWindow(window_);
        return true;
    case QEvent::Close:
        event->ignore();
        CancelWindow(window_);
        return true;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        SendActivateToCustomControls(window_);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CancelWindow(WindowRef window) {
    WindowKeeper keeper(window);
    SendCommand(window, kHICommandCancel);
    if (window->disposed) return;
    window->root->hide();
    if (window->modalLoop) window->modalLoop->quit();
}

} // namespace tb
