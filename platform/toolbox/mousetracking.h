// Platform-internal: the mouse events of a tracked custom control, queued for
// TrackMouseLocation.
#pragma once

#include "CarbonEvents.h"

#include <QPointer>
#include <QWidget>

#include <deque>

class QEventLoop;

namespace tb {

// Tracking of one control from its mouse press to the release; the most recent session is the
// one TrackMouseLocation follows.
class TrackingSession {
  public:
    TrackingSession(QWidget* widget, WindowRef window, Point mouseDown);
    ~TrackingSession();
    TrackingSession(const TrackingSession&) = delete;
    TrackingSession& operator=(const TrackingSession&) = delete;

    struct Report {
        MouseTrackingResult kind; // kMouseTrackingMouseDragged or kMouseTrackingMouseUp
        Point where;              // window content coordinates
    };

    // Queues a mouse event of `widget`, if it is the tracked one, and wakes the waiting loop.
    static void Queue(QWidget* widget, const Report& report);
    // Ends the tracking of a widget that goes away, as if the button were released.
    static void Abandon(QWidget* widget);
    // The next report, waiting for it; kMouseTrackingMouseUp at once once released.
    static OSStatus Next(GrafPtr port, Point* where, MouseTrackingResult* kind);

  private:
    QPointer<QWidget> widget_;
    WindowRef window_;
    TrackingSession* outer_;
    std::deque<Report> queue_;
    Point last_;
    bool releaseQueued_ = false;
    bool released_ = false;
    bool insidePort_ = true;
    QEventLoop* waiting_ = nullptr;
};

} // namespace tb
