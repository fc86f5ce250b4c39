// Mouse tracking for custom controls: the tracked control's mouse events are queued, and
// TrackMouseLocation hands them out one by one, waiting in a nested event loop when none is
// queued. A queue, because one pass of the event loop can deliver several moves.
#include "toolbox/mousetracking.h"

#include "toolbox/windows.h"

#include <QEventLoop>

namespace {

tb::TrackingSession* gCurrent = nullptr;

// The window point in the coordinates of `port` (another window's port, or the window's own).
Point InPort(WindowRef window, GrafPtr port, Point where) {
    WindowRef portWindow = tb::WindowOfPort(port);
    if (!portWindow || portWindow == window) return where;
    const QPoint global = window->root->mapToGlobal(QPoint(where.h, where.v));
    return tb::PointOf(portWindow->root->mapFromGlobal(global));
}

Rect BoundsOfPort(WindowRef window, GrafPtr port) {
    Rect bounds{0, 0, 0, 0};
    GetPortBounds(port ? port : window->port, &bounds);
    return bounds;
}

} // namespace

namespace tb {

TrackingSession::TrackingSession(QWidget* widget, WindowRef window, Point mouseDown)
    : widget_(widget), window_(window), outer_(gCurrent), last_(mouseDown) {
    gCurrent = this;
}

TrackingSession::~TrackingSession() {
    gCurrent = outer_;
}

void TrackingSession::Queue(QWidget* widget, const Report& report) {
    TrackingSession* session = gCurrent;
    if (!session || session->widget_ != widget || session->releaseQueued_) return;
    session->queue_.push_back(report);
    session->releaseQueued_ = report.kind == kMouseTrackingMouseUp;
    if (session->waiting_) session->waiting_->quit();
}

void TrackingSession::Abandon(QWidget* widget) {
    if (gCurrent) Queue(widget, {kMouseTrackingMouseUp, gCurrent->last_});
}

OSStatus TrackingSession::Next(GrafPtr port, Point* where, MouseTrackingResult* kind) {
    if (!where || !kind) return paramErr;
    TrackingSession* session = gCurrent;
    if (!session || session->released_ || !LiveWindow(session->window_)) {
        *where = session ? session->last_ : Point{0, 0};
        *kind = kMouseTrackingMouseUp;
        return noErr;
    }
    // Whatever the handler drew since the last report shows before waiting for the next.
    if (session->widget_) session->widget_->repaint();
    if (session->queue_.empty()) {
        QEventLoop loop;
        session->waiting_ = &loop;
        loop.exec();
        session->waiting_ = nullptr;
    }
    // Only the application quitting ends the wait with nothing queued: take it as a release.
    const Report report = session->queue_.empty() ? Report{kMouseTrackingMouseUp, session->last_}
                                                  : session->queue_.front();
    if (!session->queue_.empty()) session->queue_.pop_front();
    session->last_ = report.where;
    *where = InPort(session->window_, port, report.where);
    if (report.kind == kMouseTrackingMouseUp) {
        session->released_ = true;
        *kind = kMouseTrackingMouseUp;
        return noErr;
    }
    const Rect bounds = BoundsOfPort(session->window_, port);
    const bool inside = PtInRect(*where, &bounds);
    if (inside == session->insidePort_)
        *kind = kMouseTrackingMouseDragged;
    else
        *kind = inside ? kMouseTrackingMouseEntered : kMouseTrackingMouseExited;
    session->insidePort_ = inside;
    return noErr;
}

} // namespace tb

OSStatus TrackMouseLocation(GrafPtr port, Point* outPt, MouseTrackingResult* outResult) {
    return tb::TrackingSession::Next(port, outPt, outResult);
}
