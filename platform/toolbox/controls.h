// Platform-internal: the control record behind ControlRef and building a window's controls.
#pragma once

#include "Controls.h"
#include "toolbox/events.h"

#include <QPointer>
#include <QWidget>

struct OpaqueControlRef {
    // How the control's value is kept: in its widget, or stored here.
    enum class Kind { Slider, PopUp, Toggle, Custom, Plain };

    OpaqueControlRef(WindowRef ownerWindow, QWidget* controlWidget, ControlID controlID,
                     Kind controlKind);
    ~OpaqueControlRef();
    OpaqueControlRef(const OpaqueControlRef&) = delete;
    OpaqueControlRef& operator=(const OpaqueControlRef&) = delete;

    WindowRef window;
    QPointer<QWidget> widget;
    ControlID id;
    Kind kind;
    OpaqueEventTargetRef target;
    SInt32 value = 0; // Custom and Plain only
    SInt32 minimum = 0;
    SInt32 maximum = 0;
    ControlActionUPP action = nullptr;
    ControlPartCode trackedPart = kControlIndicatorPart; // part of the user's latest action
    bool settingFromCode = false; // value signals meanwhile are not the user's
    bool inactive = false;
};

namespace tb {

// Makes the records of the window's controls (widgets with a `signature`, and custom
// controls) and connects its command senders and sliders. The form has been checked.
void BuildControls(WindowRef window);
// False for null controls and controls of disposed windows.
bool LiveControl(ControlRef control);
// Sends kEventControlActivate to each custom control of the window and shows the result.
void SendActivateToCustomControls(WindowRef window);

} // namespace tb
