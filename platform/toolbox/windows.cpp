// Windows: showing, disposal, their ports on screen, and nested application-modal loops.
#include "toolbox/windows.h"

#include "toolbox/guiapp.h"
#include "toolbox/keyguard.h"
#include "toolbox/testseams.h"
#include "toolbox/windowwatcher.h"

#include <QDialog>
#include <QEventLoop>
#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace {

std::vector<WindowRef>& LiveWindows() {
    static std::vector<WindowRef> windows;
    return windows;
}

// Cuts the widgets off first, so no signal reaches the records being freed.
void Destroy(WindowRef window, bool widgetsMayBeRunning) {
    window->watcher.reset();
    window->controls.clear();
    if (QWidget* root = window->root) {
        if (widgetsMayBeRunning)
            root->deleteLater();
        else
            delete root;
    }
    delete window;
}

// What is shown is always opaque, whatever the port's alpha says.
uint32_t DisplayPixel(const uint8_t* pixel) {
    return 0xff000000u | uint32_t(pixel[kRedByte]) << 16 | uint32_t(pixel[kGreenByte]) << 8 |
           uint32_t(pixel[kBlueByte]);
}

// Converts `area` (inside the port) of the port into the window's display image.
void RefreshShown(WindowRef window, const QRect& area) {
    PixMapHandle pixMap = GetGWorldPixMap(window->port);
    const auto* base = reinterpret_cast<const uint8_t*>(GetPixBaseAddr(pixMap));
    const long rowBytes = GetPixRowBytes(pixMap);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uint8_t* from = base + y * rowBytes + area.left() * kBytesPerPixel;
        auto* to = reinterpret_cast<uint32_t*>(window->shown.scanLine(y)) + area.left();
        for (int x = 0; x < area.width(); ++x, from += kBytesPerPixel)
            to[x] = DisplayPixel(from);
    }
}

} // namespace

OpaqueWindowPtr::OpaqueWindowPtr(QWidget* rootWidget, GWorldPtr windowPort)
    : root(rootWidget), port(windowPort), shown(rootWidget->size(), QImage::Format_RGB32) {}

OpaqueWindowPtr::~OpaqueWindowPtr() {
    DisposeGWorld(port);
}

namespace tb {

WindowRef AdoptWindow(QWidget* root, GWorldPtr port) {
    GuardKeyEvents();
    auto* window = new OpaqueWindowPtr(root, port);
    window->watcher = std::make_unique<WindowWatcher>(window);
    root->installEventFilter(window->watcher.get());
    // A dialog ended by its own means (accept or reject from a form's connection) ends the
    // modal loop as well.
    if (auto* dialog = qobject_cast<QDialog*>(root))
        QObject::connect(dialog, &QDialog::finished, window->watcher.get(), [window] {
            if (window->modalLoop) window->modalLoop->quit();
        });
    LiveWindows().push_back(window);
    return window;
}

bool LiveWindow(WindowRef window) {
    // Without the application its widgets cannot be touched, even if the window remains.
    if (!window || !HasGUI()) return false;
    const auto& windows = LiveWindows();
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

WindowRef WindowOfPort(CGrafPtr port) {
    for (WindowRef window : LiveWindows())
        if (window->port == port) return window;
    return nullptr;
}

WindowKeeper::WindowKeeper(WindowRef window) : window_(window) {
    if (window_) ++window_->keepers;
}

WindowKeeper::~WindowKeeper() {
    if (window_ && --window_->keepers == 0 && window_->disposed) Destroy(window_, true);
}

void ShowPort(WindowRef window, QPainter& painter, const QRect& area, const QPoint& origin) {
    const QRect visible = area & window->shown.rect();
    if (visible.isEmpty()) return;
    RefreshShown(window, visible);
    painter.drawImage(visible.translated(-origin), window->shown, visible);
}

Point PointOf(const QPoint& windowPoint) {
    const auto clamp16 = [](int v) { return int16_t(std::clamp(v, -32768, 32767)); };
    return Point{clamp16(windowPoint.y()), clamp16(windowPoint.x())};
}

} // namespace tb

void ShowWindow(WindowRef window) {
    if (tb::LiveWindow(window)) window->root->show();
}

void HideWindow(WindowRef window) {
    if (tb::LiveWindow(window)) window->root->hide();
}

Boolean IsWindowVisible(WindowRef window) {
    return tb::LiveWindow(window) && window->root->isVisible();
}

void SelectWindow(WindowRef window) {
    if (!tb::LiveWindow(window)) return;
    window->root->show();
    window->root->raise();
    window->root->activateWindow();
}

void DisposeWindow(WindowRef window) {
    if (!tb::LiveWindow(window)) return;
    std::erase(LiveWindows(), window);
    window->disposed = true;
    // Hiding deactivates the window; its handlers must hear nothing more from it.
    window->watcher.reset();
    if (window->modalLoop) window->modalLoop->quit();
    window->root->hide();
    if (window->keepers == 0) Destroy(window, false);
}

CGrafPtr GetWindowPort(WindowRef window) {
    return tb::LiveWindow(window) ? window->port : nullptr;
}

void SetPortWindowPort(WindowRef window) {
    if (tb::LiveWindow(window)) SetGWorld(window->port, nullptr);
}

EventTargetRef GetWindowEventTarget(WindowRef window) {
    return tb::LiveWindow(window) ? &window->target : nullptr;
}

OSStatus RunAppModalLoopForWindow(WindowRef window) {
    if (!tb::LiveWindow(window)) return errInvalidWindowRef;
    if (window->modalLoop) return paramErr;
    tb::WindowKeeper keeper(window);
    QWidget* root = window->root;
    if (root->windowModality() != Qt::ApplicationModal) {
        // Modality takes effect only when the window is shown again.
        root->hide();
        root->setWindowModality(Qt::ApplicationModal);
    }
    SelectWindow(window);
    QEventLoop loop;
    window->modalLoop = &loop;
    if (const auto hook = tb::Seams().modalLoop; hook.proc)
        QTimer::singleShot(0, &loop, [window, hook] { hook.proc(window, hook.refCon); });
    loop.exec();
    window->modalLoop = nullptr;
    return noErr;
}

OSStatus QuitAppModalLoopForWindow(WindowRef window) {
    if (!tb::LiveWindow(window)) return errInvalidWindowRef;
    if (!window->modalLoop) return paramErr;
    window->modalLoop->quit();
    return noErr;
}
