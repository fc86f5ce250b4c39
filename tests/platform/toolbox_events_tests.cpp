// Events and commands: parameters, handler order and pass-through, commands from buttons,
// the pop-up and Escape, nested modal loops, and live tracking of sliders.
#include "toolbox_support.h"

#include <QComboBox>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using toolboxtest::TestWindow;

namespace {

TEST(ToolboxEventParameters, CopiedByTypeAndSize) {
    EventRef event = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassControl, kEventControlHit, 0, 0, &event), noErr);
    const Point where{-3, 7};
    SetEventParameter(event, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
    // A short buffer gets its share and nothing beyond it, and learns the full size.
    uint8_t bytes[3] = {0xAA, 0xAA, 0xAA};
    ByteCount size = 0;
    EXPECT_EQ(
        GetEventParameter(event, kEventParamMouseLocation, typeWildCard, nullptr, 1, &size, bytes),
        noErr);
    EXPECT_EQ(bytes[1], 0xAA);
    EXPECT_EQ(size, sizeof where);
    EXPECT_EQ(
        GetEventParameter(event, kEventParamMouseLocation, typeUInt32, nullptr, 4, nullptr, bytes),
        errAECoercionFail);
    EXPECT_EQ(
        GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, 4, nullptr, bytes),
        eventParameterNotFoundErr);
    ReleaseEvent(event);
}

// Handlers that note their name and answer as told.
struct Recorder {
    std::vector<std::string> calls;
    std::vector<UInt32> commands;
};
struct NamedHandler {
    Recorder* recorder;
    const char* name;
    OSStatus answer;
};

OSStatus RecordCommand(EventHandlerCallRef, EventRef event, void* userData) {
    auto* handler = static_cast<NamedHandler*>(userData);
    HICommand command{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command,
                      nullptr, &command);
    handler->recorder->calls.push_back(handler->name);
    handler->recorder->commands.push_back(command.commandID);
    return handler->answer;
}

const EventTypeSpec kCommandEvents[] = {{kEventClassCommand, kEventCommandProcess}};

OSStatus SendCommand(WindowRef window, UInt32 commandID) {
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
    const HICommand command{0, commandID, {nullptr, 0}};
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    const OSStatus result = SendEventToEventTarget(event, GetWindowEventTarget(window));
    ReleaseEvent(event);
    return result;
}

EventHandlerRef Install(WindowRef window, NamedHandler* handler) {
    EventHandlerRef ref = nullptr;
    InstallEventHandler(GetWindowEventTarget(window), NewEventHandlerUPP(RecordCommand), 1,
                        kCommandEvents, handler, &ref);
    return ref;
}

TEST(ToolboxCommands, NewestHandlerFirstThenPassedOn) {
    TestWindow form("controls");
    Recorder recorder;
    NamedHandler older{&recorder, "older", noErr};
    NamedHandler newer{&recorder, "newer", eventNotHandledErr};
    Install(form.window, &older);
    EventHandlerRef newerRef = Install(form.window, &newer);

    QTest::mouseClick(ToolboxCommandWidget(form.window, FOUR_CHAR_CODE("Help")), Qt::LeftButton);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"newer", "older"}));
    EXPECT_EQ(recorder.commands.back(), FOUR_CHAR_CODE("Help"));

    EXPECT_EQ(RemoveEventHandler(newerRef), noErr);
    EXPECT_EQ(RemoveEventHandler(newerRef), paramErr);
    recorder.calls.clear();
    older.answer = eventNotHandledErr;
    EXPECT_EQ(SendCommand(form.window, kHICommandOK), eventNotHandledErr);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"older"}));
}

TEST(ToolboxCommands, PopUpChoiceSendsItsCommandWithTheNewValue) {
    TestWindow form("controls");
    struct Seen {
        ControlRef popUp;
        std::vector<SInt32> values;
    } seen{form.Control("Medi", 1), {}};
    const auto handler = [](EventHandlerCallRef, EventRef event, void* data) -> OSStatus {
        HICommand command{};
        GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command,
                          nullptr, &command);
        if (command.commandID != FOUR_CHAR_CODE("Medi")) return eventNotHandledErr;
        auto* seen = static_cast<Seen*>(data);
        seen->values.push_back(GetControl32BitValue(seen->popUp));
        return noErr;
    };
    InstallEventHandler(GetWindowEventTarget(form.window), NewEventHandlerUPP(handler), 1,
                        kCommandEvents, &seen, nullptr);
    SetControl32BitValue(seen.popUp, 3); // from code: no command
    QTest::keyClick(ToolboxControlWidget(seen.popUp), Qt::Key_Up);
    EXPECT_EQ(seen.values, std::vector<SInt32>{2});
}

// Runs the window's modal loop with `drive` called from inside it.
template <typename Drive> OSStatus RunDriven(WindowRef window, Drive drive) {
    static Drive* current = nullptr;
    current = &drive;
    ToolboxSetModalLoopHook([](WindowRef w, void*) { (*current)(w); }, nullptr);
    const OSStatus status = RunAppModalLoopForWindow(window);
    ToolboxSetModalLoopHook(nullptr, nullptr);
    return status;
}

TEST(ToolboxModalLoops, EscapeAndClosingCancelAndEndTheLoop) {
    for (const bool escape : {true, false}) {
        TestWindow form("controls");
        Recorder recorder;
        NamedHandler handler{&recorder, "handler", eventNotHandledErr};
        Install(form.window, &handler);
        EXPECT_EQ(RunDriven(form.window,
                            [&](WindowRef) {
                                EXPECT_TRUE(IsWindowVisible(form.window));
                                if (escape)
                                    QTest::keyClick(form.Widget(), Qt::Key_Escape);
                                else
                                    form.Widget()->close();
                            }),
                  noErr);
        EXPECT_EQ(recorder.commands, std::vector<UInt32>{kHICommandCancel}) << escape;
        EXPECT_FALSE(IsWindowVisible(form.window));
    }
}

TEST(ToolboxModalLoops, NestedLoopsEndInOrderEachByItsOwnQuit) {
    TestWindow outer("controls");
    TestWindow inner("controls");
    std::vector<std::string> events;
    RunDriven(outer.window, [&](WindowRef window) {
        if (window != outer.window) {
            // Inside the inner loop: ending the outer one first must not end this one.
            EXPECT_EQ(QuitAppModalLoopForWindow(outer.window), noErr);
            QTimer::singleShot(0, [&] {
                events.push_back("inner still running");
                QuitAppModalLoopForWindow(inner.window);
            });
            return;
        }
        EXPECT_EQ(RunAppModalLoopForWindow(outer.window), paramErr); // already running
        EXPECT_EQ(RunAppModalLoopForWindow(inner.window), noErr);
        events.push_back("inner returned");
    });
    events.push_back("outer returned");
    EXPECT_EQ(events, (std::vector<std::string>{"inner still running", "inner returned",
                                                "outer returned"}));
    EXPECT_EQ(QuitAppModalLoopForWindow(outer.window), paramErr); // no loop runs now
}

TEST(ToolboxModalLoops, WindowDisposedByItsOwnHandler) {
    auto form = std::make_unique<TestWindow>("controls");
    const auto handler = [](EventHandlerCallRef, EventRef, void* window) -> OSStatus {
        DisposeWindow(static_cast<WindowRef>(window));
        return noErr;
    };
    WindowRef window = form->window;
    InstallEventHandler(GetWindowEventTarget(window), NewEventHandlerUPP(handler), 1,
                        kCommandEvents, window, nullptr);
    EXPECT_EQ(RunDriven(window,
                        [&](WindowRef) {
                            QTest::mouseClick(ToolboxCommandWidget(window, kHICommandOK),
                                              Qt::LeftButton);
                        }),
              noErr);
    EXPECT_EQ(GetWindowPort(window), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The user's changes of a slider reach its action procedure; changes from code do not.
struct ActionLog {
    std::vector<SInt32> values;
    std::vector<ControlPartCode> parts;
};
ActionLog gActionLog;

void LogAction(ControlRef control, ControlPartCode part) {
    gActionLog.values.push_back(GetControl32BitValue(control));
    gActionLog.parts.push_back(part);
}

QPoint HandleCentre(QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

TEST(ToolboxSliders, ActionProcedureFollowsEveryUserChangeOnly) {
    TestWindow form("controls");
    ControlRef control = form.Control("Sldr", 1);
    auto* slider = qobject_cast<QSlider*>(ToolboxControlWidget(control));
    ASSERT_NE(slider, nullptr);
    form.Widget()->show();
    gActionLog = {};
    SetControlAction(control, NewControlActionUPP(LogAction));
    SetControl32BitValue(control, 40);
    SetControl32BitMaximum(control, 30); // clamps the value, still from code
    EXPECT_TRUE(gActionLog.values.empty());

    SetControl32BitMaximum(control, 100);
    const QPoint start = HandleCentre(slider);
    toolboxtest::SendMouse(slider, QEvent::MouseButtonPress, start);
    for (int step = 1; step <= 3; ++step)
        toolboxtest::SendMouse(slider, QEvent::MouseMove, start + QPoint(20 * step, 0));
    toolboxtest::SendMouse(slider, QEvent::MouseButtonRelease, start + QPoint(60, 0));
    ASSERT_EQ(gActionLog.values.size(), 3u);
    EXPECT_LT(gActionLog.values[0], gActionLog.values[1]);
    EXPECT_LT(gActionLog.values[1], gActionLog.values[2]);
    EXPECT_EQ(gActionLog.values.back(), GetControl32BitValue(control));
    EXPECT_EQ(gActionLog.parts, std::vector<ControlPartCode>(3, kControlIndicatorPart));

    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(gActionLog.parts.back(), kControlPageUpPart);
    SetControlAction(control, nullptr);
}

} // namespace
