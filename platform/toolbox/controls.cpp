// Controls: lookup by signature and number, values and ranges, text, visibility, highlight
// and live tracking of sliders.
#include "toolbox/controls.h"

#include "ToolboxTestHooks.h"
#include "toolbox/customcontrol.h"
#include "toolbox/guiapp.h"
#include "toolbox/objectclasses.h"
#include "toolbox/windows.h"
#include "toolbox/windowwatcher.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace {

std::unordered_set<ControlRef>& LiveControls() {
    static std::unordered_set<ControlRef> controls;
    return controls;
}

using Kind = OpaqueControlRef::Kind;

Kind KindOf(QWidget* widget) {
    if (qobject_cast<tb::CustomControlWidget*>(widget)) return Kind::Custom;
    if (qobject_cast<QAbstractSlider*>(widget)) return Kind::Slider;
    if (qobject_cast<QComboBox*>(widget)) return Kind::PopUp;
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable())
        return Kind::Toggle;
    return Kind::Plain;
}

ControlID IdentifierOf(QWidget* widget) {
    ControlID id{0, widget->property("number").toInt()};
    tb::CodeFromText(widget->property("signature").toString(), &id.signature);
    return id;
}

// The toolkit's part for what the user did to a slider.
ControlPartCode PartOfSliderAction(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return kControlUpButtonPart;
    case QAbstractSlider::SliderSingleStepAdd:
        return kControlDownButtonPart;
    case QAbstractSlider::SliderPageStepSub:
        return kControlPageUpPart;
    case QAbstractSlider::SliderPageStepAdd:
        return kControlPageDownPart;
    default:
        return kControlIndicatorPart;
    }
}

// The user's changes call the action procedure; changes made from code do not.
void ConnectLiveTracking(ControlRef control, QAbstractSlider* slider, QObject* context) {
    slider->setTracking(true);
    QObject::connect(slider, &QAbstractSlider::actionTriggered, context,
                     [control](int action) { control->trackedPart = PartOfSliderAction(action); });
    QObject::connect(slider, &QAbstractSlider::valueChanged, context, [control] {
        if (control->settingFromCode || !control->action) return;
        tb::WindowKeeper keeper(control->window);
        control->action(control, control->trackedPart);
    });
}

void ConnectCommand(WindowRef window, QWidget* widget, QObject* context) {
    FourCharCode command = 0;
    if (!tb::CodeFromText(widget->property("command").toString(), &command)) return;
    const auto send = [window, command] {
        tb::WindowKeeper keeper(window);
        tb::SendCommand(window, command);
    };
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        QObject::connect(button, &QAbstractButton::clicked, context, send);
    else if (auto* popUp = qobject_cast<QComboBox*>(widget))
        QObject::connect(popUp, &QComboBox::activated, context, send);
    else
        return;
    window->commandWidgets.emplace_back(command, widget);
}

// Runs a change of a widget's value from code, so its signals are not taken for the user's.
template <typename Change> void FromCode(ControlRef control, Change change) {
    control->settingFromCode = true;
    change();
    control->settingFromCode = false;
}

void RedrawIfCustom(ControlRef control) {
    if (auto* custom = qobject_cast<tb::CustomControlWidget*>(control->widget))
        custom->RequestDraw();
}

// Value and range of controls that keep them here. A bound set past the other moves it.
void StoreRange(ControlRef control, SInt32 minimum, SInt32 maximum) {
    control->minimum = minimum;
    control->maximum = maximum;
    const SInt32 value = std::clamp(control->value, minimum, maximum);
    if (value == control->value) return;
    control->value = value;
    RedrawIfCustom(control);
}

void StoreValue(ControlRef control, SInt32 value) {
    value = std::clamp(value, control->minimum, control->maximum);
    if (value == control->value) return;
    control->value = value;
    RedrawIfCustom(control);
}

QAbstractSlider* SliderOf(ControlRef c) {
    return qobject_cast<QAbstractSlider*>(c->widget);
}
QComboBox* PopUpOf(ControlRef c) {
    return qobject_cast<QComboBox*>(c->widget);
}
QAbstractButton* ButtonOf(ControlRef c) {
    return qobject_cast<QAbstractButton*>(c->widget);
}

// A widget of a live control whose window is being torn down may already be gone.
bool Usable(ControlRef control) {
    return tb::HasGUI() && tb::LiveControl(control) && control->widget;
}

bool IsTextRequest(ControlPartCode part, ControlDataTag tag) {
    return part == kControlEntireControl && tag == kControlStaticTextTextTag;
}

bool SetWidgetText(QWidget* widget, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
    } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        field->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
    } else {
        return false;
    }
    return true;
}

bool GetWidgetText(QWidget* widget, QString* text) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        *text = label->text();
    else if (auto* field = qobject_cast<QLineEdit*>(widget))
        *text = field->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        *text = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        *text = group->title();
    else
        return false;
    return true;
}

void SendActivate(ControlRef control) {
    tb::SendControlEvent(control, kEventControlActivate);
    RedrawIfCustom(control);
}

} // namespace

OpaqueControlRef::OpaqueControlRef(WindowRef ownerWindow, QWidget* controlWidget,
                                   ControlID controlID, Kind controlKind)
    : window(ownerWindow), widget(controlWidget), id(controlID), kind(controlKind),
      target(ownerWindow) {
    LiveControls().insert(this);
}

OpaqueControlRef::~OpaqueControlRef() {
    LiveControls().erase(this);
    if (target.objectClass) tb::RemoveInstance(target.objectClass);
    if (auto* custom = qobject_cast<tb::CustomControlWidget*>(widget)) custom->Attach(nullptr);
}

namespace tb {

void BuildControls(WindowRef window) {
    QObject* context = window->watcher.get();
    for (QWidget* widget : window->root->findChildren<QWidget*>()) {
        ConnectCommand(window, widget, context);
        auto* custom = qobject_cast<CustomControlWidget*>(widget);
        if (!custom && !widget->property("signature").isValid()) continue;
        auto control = std::make_unique<OpaqueControlRef>(window, widget, IdentifierOf(widget),
                                                          KindOf(widget));
        if (auto* slider = qobject_cast<QAbstractSlider*>(widget))
            ConnectLiveTracking(control.get(), slider, context);
        if (custom) custom->Configure(control.get());
        window->controls.push_back(std::move(control));
    }
}

bool LiveControl(ControlRef control) {
    return LiveControls().count(control) != 0;
}

void SendActivateToCustomControls(WindowRef window) {
    for (const auto& control : window->controls)
        if (control->kind == Kind::Custom) SendActivate(control.get());
}

} // namespace tb

OSStatus GetControlByID(WindowRef window, const ControlID* inID, ControlRef* outControl) {
    if (!outControl) return paramErr;
    *outControl = nullptr;
    if (!tb::LiveWindow(window) || !inID) return errUnknownControl;
    for (const auto& control : window->controls) {
        if (control->id.signature == inID->signature && control->id.id == inID->id) {
            *outControl = control.get();
            return noErr;
        }
    }
    return errUnknownControl;
}

SInt32 GetControl32BitValue(ControlRef control) {
    if (!Usable(control)) return 0;
    switch (control->kind) {
    case Kind::Slider:
        return SliderOf(control)->value();
    case Kind::PopUp:
        return PopUpOf(control)->currentIndex() + 1;
    case Kind::Toggle:
        return ButtonOf(control)->isChecked() ? 1 : 0;
    default:
        return control->value;
    }
}

SInt32 GetControl32BitMinimum(ControlRef control) {
    if (!Usable(control)) return 0;
    switch (control->kind) {
    case Kind::Slider:
        return SliderOf(control)->minimum();
    case Kind::PopUp:
        return PopUpOf(control)->count() > 0 ? 1 : 0;
    case Kind::Toggle:
        return 0;
    default:
        return control->minimum;
    }
}

SInt32 GetControl32BitMaximum(ControlRef control) {
    if (!Usable(control)) return 0;
    switch (control->kind) {
    case Kind::Slider:
        return SliderOf(control)->maximum();
    case Kind::PopUp:
        return PopUpOf(control)->count();
    case Kind::Toggle:
        return 1;
    default:
        return control->maximum;
    }
}

void SetControl32BitValue(ControlRef control, SInt32 value) {
    if (!Usable(control)) return;
    switch (control->kind) {
    case Kind::Slider:
        FromCode(control, [&] { SliderOf(control)->setValue(value); });
        break;
    case Kind::PopUp:
        if (QComboBox* popUp = PopUpOf(control); popUp->count() > 0)
            FromCode(control,
                     [&] { popUp->setCurrentIndex(std::clamp(value, 1, popUp->count()) - 1); });
        break;
    case Kind::Toggle:
        FromCode(control, [&] { ButtonOf(control)->setChecked(value > 0); });
        break;
    default:
        StoreValue(control, value);
    }
}

void SetControl32BitMinimum(ControlRef control, SInt32 minimum) {
    if (!Usable(control)) return;
    if (control->kind == Kind::Slider)
        FromCode(control, [&] { SliderOf(control)->setMinimum(minimum); });
    else if (control->kind == Kind::Custom || control->kind == Kind::Plain)
        StoreRange(control, minimum, std::max(minimum, control->maximum));
}

void SetControl32BitMaximum(ControlRef control, SInt32 maximum) {
    if (!Usable(control)) return;
    if (control->kind == Kind::Slider)
        FromCode(control, [&] { SliderOf(control)->setMaximum(maximum); });
    else if (control->kind == Kind::Custom || control->kind == Kind::Plain)
        StoreRange(control, std::min(maximum, control->minimum), maximum);
}

void HideControl(ControlRef control) {
    if (Usable(control)) control->widget->hide();
}

void ShowControl(ControlRef control) {
    if (Usable(control)) control->widget->show();
}

Boolean IsControlVisible(ControlRef control) {
    return Usable(control) && !control->widget->isHidden();
}

ControlPartCode GetControlHilite(ControlRef control) {
    if (!Usable(control)) return kControlNoPart;
    if (!control->widget->isEnabled()) return kControlDisabledPart;
    return control->inactive ? kControlInactivePart : kControlNoPart;
}

void EnableControl(ControlRef control) {
    if (!Usable(control)) return;
    control->widget->setEnabled(true);
    RedrawIfCustom(control);
}

void DisableControl(ControlRef control) {
    if (!Usable(control)) return;
    control->widget->setEnabled(false);
    RedrawIfCustom(control);
}

void ActivateControl(ControlRef control) {
    if (!Usable(control) || !control->inactive) return;
    control->inactive = false;
    SendActivate(control);
}

void DeactivateControl(ControlRef control) {
    if (!Usable(control) || control->inactive) return;
    control->inactive = true;
    SendActivate(control);
}

OSErr SetControlData(ControlRef control, ControlPartCode part, ControlDataTag tag, Size size,
                     const void* data) {
    if (!Usable(control)) return OSErr(errInvalidControlRef);
    if (size < 0 || (!data && size > 0)) return paramErr;
    if (!IsTextRequest(part, tag)) return OSErr(errDataNotSupported);
    const QString text = tb::TextFromMacRoman(data, size);
    return SetWidgetText(control->widget, text) ? OSErr(noErr) : OSErr(errDataNotSupported);
}

OSErr GetControlData(ControlRef control, ControlPartCode part, ControlDataTag tag, Size bufferSize,
                     void* buffer, Size* actualSize) {
    if (!Usable(control)) return OSErr(errInvalidControlRef);
    if (bufferSize < 0 || (!buffer && bufferSize > 0)) return paramErr;
    QString text;
    if (!IsTextRequest(part, tag) || !GetWidgetText(control->widget, &text))
        return OSErr(errDataNotSupported);
    const QByteArray bytes = tb::MacRomanFromText(text);
    if (bufferSize > 0)
        std::memcpy(buffer, bytes.constData(), std::min<Size>(bufferSize, bytes.size()));
    if (actualSize) *actualSize = bytes.size();
    return noErr;
}

void Draw1Control(ControlRef control) {
    if (!Usable(control)) return;
    if (auto* custom = qobject_cast<tb::CustomControlWidget*>(control->widget))
        custom->DrawNow();
    else if (control->widget->isVisible())
        control->widget->repaint();
}

WindowRef GetControlOwner(ControlRef control) {
    return tb::LiveControl(control) ? control->window : nullptr;
}

Rect* GetControlBounds(ControlRef control, Rect* bounds) {
    if (!bounds) return bounds;
    *bounds = Rect{0, 0, 0, 0};
    if (!Usable(control)) return bounds;
    const QPoint topLeft = control->widget->mapTo(control->window->root, QPoint(0, 0));
    const QSize size = control->widget->size();
    const Point from = tb::PointOf(topLeft);
    const Point to = tb::PointOf(topLeft + QPoint(size.width(), size.height()));
    *bounds = Rect{from.v, from.h, to.v, to.h};
    return bounds;
}

void SetControlAction(ControlRef control, ControlActionUPP action) {
    if (tb::LiveControl(control)) control->action = action;
}

EventTargetRef GetControlEventTarget(ControlRef control) {
    return tb::LiveControl(control) ? &control->target : nullptr;
}
