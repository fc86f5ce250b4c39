// Custom controls: their class handler draws into the window's port and the widget shows it;
// a press is hit-tested, tracked through TrackMouseLocation and reported as a hit.
#include "toolbox_support.h"

#include "QuickDraw.h"

#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

using toolboxtest::TestClass;
using toolboxtest::TestWindow;

namespace {

struct TrackReport {
    MouseTrackingResult result;
    Point where;
    bool operator==(const TrackReport& o) const {
        return result == o.result && where.v == o.where.v && where.h == o.where.h;
    }
};

// What the box class was asked, and how it answers.
struct BoxLog {
    std::vector<UInt32> kinds;
    RGBColor fill{0xFF00, 0x8000, 0x0000};
    RGBColor mark{0x0000, 0x0000, 0xFF00};
    ControlPartCode answer = 5; // part of a hit inside the bounds
    Point pressedAt{}, trackedFrom{};
    UInt32 modifiers = 0;
    ControlPartCode hitPart = 0;
    ControlPartCode hiliteWhenDrawn = 0;
    std::vector<TrackReport> reports;
};

ControlRef ControlOf(EventRef event) {
    ControlRef control = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control,
                      nullptr, &control);
    return control;
}

Point PointParameter(EventRef event) {
    Point where{};
    GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr,
                      &where);
    return where;
}

// Draws `color` over r in the control's window port, keeping the caller's port.
void PaintInWindow(ControlRef control, const Rect& r, const RGBColor& color) {
    CGrafPtr savedPort = nullptr;
    GDHandle savedDevice = nullptr;
    GetGWorld(&savedPort, &savedDevice);
    SetPortWindowPort(GetControlOwner(control));
    RGBForeColor(&color);
    PaintRect(&r);
    SetGWorld(savedPort, savedDevice);
}

OSStatus BoxHandler(EventHandlerCallRef, EventRef event, void* data) {
    auto* log = static_cast<BoxLog*>(data);
    ControlRef control = ControlOf(event);
    log->kinds.push_back(GetEventKind(event));
    Rect bounds{};
    GetControlBounds(control, &bounds);
    switch (GetEventKind(event)) {
    case kEventControlDraw:
        log->hiliteWhenDrawn = GetControlHilite(control);
        PaintInWindow(control, bounds, log->fill);
        return noErr;
    case kEventControlHitTest: {
        log->pressedAt = PointParameter(event);
        const ControlPartCode part = PtInRect(log->pressedAt, &bounds) ? log->answer : 0;
        SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
        return noErr;
    }
    case kEventControlTrack: {
        log->trackedFrom = PointParameter(event);
        GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr,
                          sizeof log->modifiers, nullptr, &log->modifiers);
        TrackReport report{kMouseTrackingMouseDown, {}};
        while (report.result != kMouseTrackingMouseUp) {
            TrackMouseLocation(GetWindowPort(GetControlOwner(control)), &report.where,
                               &report.result);
            log->reports.push_back(report);
            // A mark under the mouse, to be seen without any draw event.
            const Rect mark{report.where.v, report.where.h, int16_t(report.where.v + 2),
                            int16_t(report.where.h + 2)};
            if (report.result == kMouseTrackingMouseDragged)
                PaintInWindow(control, mark, log->mark);
        }
        return noErr;
    }
    case kEventControlHit:
        GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr,
                          sizeof log->hitPart, nullptr, &log->hitPart);
        return noErr;
    default:
        return noErr;
    }
}

// The box's class takes every kind; the plain class only hit test and hit, so the toolkit
// tracks for it.
class ToolboxCustomControl : public ::testing::Test {
  protected:
    BoxLog box, plain;
    TestClass boxClass{"test.toolbox.box",
                       {kEventControlDraw, kEventControlHitTest, kEventControlHit,
                        kEventControlActivate, kEventControlOwningWindowChanged,
                        kEventControlTrack},
                       BoxHandler,
                       &box};
    TestClass plainClass{
        "test.toolbox.plain", {kEventControlHitTest, kEventControlHit}, BoxHandler, &plain};
};

struct MouseStep {
    QEvent::Type type;
    QPoint where;
};

// Presses the widget; the later steps arrive together in one pass of the tracking loop, as
// a busy window system delivers them.
void Press(QWidget* widget, QPoint where, Qt::KeyboardModifiers modifiers,
           std::vector<MouseStep> later) {
    QTimer::singleShot(0, widget, [widget, later] {
        for (const MouseStep& step : later)
            toolboxtest::SendMouse(widget, step.type, step.where);
    });
    toolboxtest::SendMouse(widget, QEvent::MouseButtonPress, where, modifiers);
}

QRgb Shown(const RGBColor& c) {
    return qRgb(c.red >> 8, c.green >> 8, c.blue >> 8);
}

QRgb PixelOf(QWidget* widget, QPoint at) {
    return widget->grab().toImage().pixel(at);
}

TEST_F(ToolboxCustomControl, DrawnIntoThePortAndShownFromIt) {
    TestWindow form("custom");
    ASSERT_EQ(form.status, noErr);
    EXPECT_EQ(box.kinds, std::vector<UInt32>{kEventControlOwningWindowChanged});
    ControlRef control = form.Control("Cust", 1);
    QWidget* widget = ToolboxControlWidget(control);
    form.Widget()->show();
    EXPECT_EQ(PixelOf(widget, {60, 40}), Shown(box.fill));

    // A new value draws anew; the same value again does not.
    box.fill = {0x1200, 0x3400, 0x5600};
    SetControl32BitValue(control, 1);
    EXPECT_EQ(PixelOf(widget, {0, 0}), Shown(box.fill));
    QCoreApplication::processEvents(); // activation of the window draws too
    const auto draws = std::count(box.kinds.begin(), box.kinds.end(), kEventControlDraw);
    SetControl32BitValue(control, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(std::count(box.kinds.begin(), box.kinds.end(), kEventControlDraw), draws);

    DisableControl(control);
    Draw1Control(control);
    EXPECT_EQ(box.hiliteWhenDrawn, kControlDisabledPart);
    DeactivateControl(control);
    EXPECT_EQ(box.kinds.back(), kEventControlActivate);
}

TEST_F(ToolboxCustomControl, PressIsHitTestedTrackedThenHit) {
    TestWindow form("custom");
    QWidget* widget = ToolboxControlWidget(form.Control("Cust", 1)); // at (30, 20) in the window
    form.Widget()->show();
    QCoreApplication::processEvents(); // let activation and its drawing pass
    box.kinds.clear();
    Press(widget, {10, 10}, Qt::AltModifier | Qt::ShiftModifier,
          {{QEvent::MouseMove, {20, 15}},
           {QEvent::MouseMove, {-100, 15}},
           {QEvent::MouseMove, {30, 20}},
           {QEvent::MouseMove, {40, 20}},
           {QEvent::MouseButtonRelease, {40, 20}}});

    EXPECT_EQ(box.kinds,
              (std::vector<UInt32>{kEventControlHitTest, kEventControlTrack, kEventControlHit}));
    EXPECT_EQ(box.pressedAt.h, 40);
    EXPECT_EQ(box.pressedAt.v, 30);
    EXPECT_EQ(box.trackedFrom.h, 40);
    EXPECT_EQ(box.modifiers, UInt32(optionKey | shiftKey));
    const std::vector<TrackReport> expected{{kMouseTrackingMouseDragged, {35, 50}},
                                            {kMouseTrackingMouseExited, {35, -70}},
                                            {kMouseTrackingMouseEntered, {40, 60}},
                                            {kMouseTrackingMouseDragged, {40, 70}},
                                            {kMouseTrackingMouseUp, {40, 70}}};
    EXPECT_EQ(box.reports, expected);
    EXPECT_EQ(box.hitPart, 5);
    // What was drawn while tracking shows without a draw event.
    EXPECT_EQ(PixelOf(widget, {40, 20}), Shown(box.mark));
}

TEST_F(ToolboxCustomControl, PartZeroMeansNotHit) {
    TestWindow form("custom");
    QWidget* widget = ToolboxControlWidget(form.Control("Cust", 1));
    box.answer = 0;
    box.kinds.clear();
    toolboxtest::SendMouse(widget, QEvent::MouseButtonPress, {5, 5});
    toolboxtest::SendMouse(widget, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_EQ(box.kinds, std::vector<UInt32>{kEventControlHitTest});
}

TEST_F(ToolboxCustomControl, WithoutTrackHandlerTheReleaseDecides) {
    TestWindow form("custom");
    QWidget* widget = ToolboxControlWidget(form.Control("Cust", 2)); // 100 x 60
    plain.answer = 1;
    for (const bool releasedInside : {true, false}) {
        plain.hitPart = 0;
        const QPoint release = releasedInside ? QPoint(50, 30) : QPoint(150, 30);
        Press(widget, {10, 10}, Qt::NoModifier, {{QEvent::MouseButtonRelease, release}});
        EXPECT_EQ(plain.hitPart, releasedInside ? 1 : 0) << releasedInside;
    }
}

TEST(ToolboxTracking, NothingTrackedAnswersReleaseAtOnce) {
    Point where{1, 1};
    MouseTrackingResult result = 0;
    EXPECT_EQ(TrackMouseLocation(nullptr, &where, &result), noErr);
    EXPECT_EQ(result, kMouseTrackingMouseUp);
    EXPECT_EQ(TrackMouseLocation(nullptr, nullptr, &result), paramErr);
}

TEST(ToolboxClasses, OneClassPerIdentifier) {
    const auto handler = [](EventHandlerCallRef, EventRef, void*) -> OSStatus { return noErr; };
    TestClass first("test.toolbox.rules", {kEventControlDraw}, handler, nullptr);
    ASSERT_EQ(first.status, noErr);
    TestClass again("test.toolbox.rules", {kEventControlDraw}, handler, nullptr);
    EXPECT_EQ(again.status, hiObjectClassExistsErr);
}

TEST(ToolboxClasses, NotUnregisteredWhileControlsUseIt) {
    const auto handler = [](EventHandlerCallRef, EventRef, void*) -> OSStatus { return noErr; };
    TestClass box("test.toolbox.box", {kEventControlDraw}, handler, nullptr);
    TestClass plain("test.toolbox.plain", {kEventControlDraw}, handler, nullptr);
    auto form = std::make_unique<TestWindow>("custom");
    EXPECT_EQ(UnregisterToolboxObjectClass(box.ref), hiObjectClassHasInstancesErr);
    form.reset();
    EXPECT_EQ(UnregisterToolboxObjectClass(box.ref), noErr);
    EXPECT_EQ(UnregisterToolboxObjectClass(box.ref), paramErr);
    box.ref = nullptr;
}

} // namespace
