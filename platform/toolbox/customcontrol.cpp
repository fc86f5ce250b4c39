// Custom controls: drawn by their class handler into the window's port and shown from it,
// and driven by hit test, track and hit events on a mouse press.
#include "toolbox/customcontrol.h"

#include "toolbox/controls.h"
#include "toolbox/mousetracking.h"
#include "toolbox/objectclasses.h"
#include "toolbox/windows.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

OSStatus SendWithPoint(tb::EventHolder& event, ControlRef control, Point where) {
    SetEventParameter(event.get(), kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
    return SendEventToEventTarget(event.get(), GetControlEventTarget(control));
}

// The part an event's handler answered; `fallback` when it answered none.
ControlPartCode PartOf(tb::EventHolder& event, ControlPartCode fallback) {
    ControlPartCode part = fallback;
    GetEventParameter(event.get(), kEventParamControlPart, typeControlPartCode, nullptr,
                      sizeof part, nullptr, &part);
    return part;
}

ControlPartCode HitTest(ControlRef control, Point where) {
    tb::EventHolder event = tb::NewControlEvent(control, kEventControlHitTest);
    if (SendWithPoint(event, control, where) != noErr) return kControlNoPart;
    return PartOf(event, kControlNoPart);
}

// Without a track handler the toolkit follows the mouse itself: the part is what lies under
// the release.
ControlPartCode FollowMouse(ControlRef control) {
    Point where{0, 0};
    MouseTrackingResult result = kMouseTrackingMouseDown;
    while (result != kMouseTrackingMouseUp)
        TrackMouseLocation(nullptr, &where, &result);
    if (!tb::LiveControl(control)) return kControlNoPart;
    return HitTest(control, where);
}

ControlPartCode Track(ControlRef control, Point where, UInt32 modifiers, ControlPartCode part) {
    tb::EventHolder event = tb::NewControlEvent(control, kEventControlTrack);
    SetEventParameter(event.get(), kEventParamKeyModifiers, typeUInt32, sizeof modifiers,
                      &modifiers);
    SetEventParameter(event.get(), kEventParamControlPart, typeControlPartCode, sizeof part, &part);
    if (SendWithPoint(event, control, where) == eventNotHandledErr) return FollowMouse(control);
    return PartOf(event, part);
}

void SendHit(ControlRef control, ControlPartCode part, UInt32 modifiers) {
    tb::EventHolder event = tb::NewControlEvent(control, kEventControlHit);
    SetEventParameter(event.get(), kEventParamControlPart, typeControlPartCode, sizeof part, &part);
    SetEventParameter(event.get(), kEventParamKeyModifiers, typeUInt32, sizeof modifiers,
                      &modifiers);
    SendEventToEventTarget(event.get(), GetControlEventTarget(control));
}

SInt32 IntProperty(const QWidget* widget, const char* name) {
    return widget->property(name).toInt();
}

} // namespace

namespace tb {

UInt32 KeyModifiersOf(Qt::KeyboardModifiers modifiers) {
    UInt32 bits = 0;
    if (modifiers & Qt::ShiftModifier) bits |= shiftKey;
    if (modifiers & Qt::AltModifier) bits |= optionKey;
    if (modifiers & Qt::ControlModifier) bits |= controlKey;
    if (modifiers & Qt::MetaModifier) bits |= cmdKey;
    return bits;
}

CustomControlWidget::CustomControlWidget(QWidget* parent) : QWidget(parent) {
    // The port covers every pixel of the control, so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CustomControlWidget::~CustomControlWidget() {
    TrackingSession::Abandon(this);
}

void CustomControlWidget::Configure(ControlRef control) {
    control_ = control;
    ToolboxObjectClassRef objectClass =
        FindClass(property(kClassProperty).toString().toStdString());
    control->target.objectClass = objectClass;
    if (objectClass) AddInstance(objectClass);
    SetControl32BitMaximum(control, IntProperty(this, "maximum"));
    SetControl32BitMinimum(control, IntProperty(this, "minimum"));
    SetControl32BitValue(control, IntProperty(this, "value"));
}

void CustomControlWidget::RequestDraw() {
    drawPending_ = true;
    update();
}

void CustomControlWidget::DrawNow() {
    drawPending_ = true;
    if (isVisible()) repaint();
}

void CustomControlWidget::paintEvent(QPaintEvent* event) {
    WindowRef window = GetControlOwner(control_);
    if (!window) return;
    WindowKeeper keeper(window);
    if (drawPending_) {
        drawPending_ = false;
        SendControlEvent(control_, kEventControlDraw);
        if (!LiveWindow(window)) return;
    }
    QPainter painter(this);
    const QPoint origin = mapTo(this->window(), QPoint(0, 0));
    ShowPort(window, painter, event->rect().translated(origin), origin);
}

void CustomControlWidget::mousePressEvent(QMouseEvent* event) {
    WindowRef window = GetControlOwner(control_);
    if (!window || event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    WindowKeeper keeper(window);
    ControlRef control = control_;
    const Point where = PointOf(mapTo(this->window(), event->position().toPoint()));
    const UInt32 modifiers = KeyModifiersOf(event->modifiers());
    ControlPartCode part = HitTest(control, where);
    if (part != kControlNoPart) {
        TrackingSession session(this, window, where);
        part = Track(control, where, modifiers, part);
    }
    update(); // what the handler drew while tracking
    if (part != kControlNoPart && LiveControl(control)) SendHit(control, part, modifiers);
}

void CustomControlWidget::mouseMoveEvent(QMouseEvent* event) {
    const Point where = PointOf(mapTo(this->window(), event->position().toPoint()));
    TrackingSession::Queue(this, {kMouseTrackingMouseDragged, where});
}

void CustomControlWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Point where = PointOf(mapTo(this->window(), event->position().toPoint()));
    TrackingSession::Queue(this, {kMouseTrackingMouseUp, where});
}

} // namespace tb
