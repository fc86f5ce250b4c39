// Standard alerts: the alert record, the presenter that shows alerts, and ending the
// application.
#include "Dialogs.h"
#include "corefoundation/cfinternal.h"
#include "dialogs/alerts_console.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <iostream>

// What an alert shows, kept from CreateStandardAlert until RunStandardAlert disposes of it.
struct OpaqueDialogRef {
    AlertType type = kAlertPlainAlert;
    CFStringHolder headline;
    CFStringHolder explanation;
    std::array<CFStringHolder, 3> buttons; // default, cancel, other; null when absent
    DialogItemIndex defaultButton = kAlertStdAlertOKButton;
};

namespace {

struct Presenter {
    AlertPresenterProc proc = ConsoleAlertPresenter;
    void* refCon = nullptr;
};

Presenter gPresenter;

bool IsKnownAlertType(AlertType type) {
    return type >= kAlertStopAlert && type <= kAlertPlainAlert;
}

bool HasButton(const OpaqueDialogRef& alert, DialogItemIndex item) {
    return item >= 1 && item <= DialogItemIndex(alert.buttons.size()) && alert.buttons[item - 1];
}

// The buttons a parameter record asks for; without one, the single default button "OK".
void TakeButtons(const AlertStdCFStringAlertParamRec* param, OpaqueDialogRef& alert) {
    if (param) {
        alert.buttons[0] = CFStringRetained(param->defaultText);
        alert.buttons[1] = CFStringRetained(param->cancelText);
        alert.buttons[2] = CFStringRetained(param->otherText);
    }
    if (!alert.buttons[0]) alert.buttons[0].reset(CFStringCreateWithUTF8("OK"));
    // A default that names no button of this alert falls back to the default button.
    if (param && HasButton(alert, param->defaultButton)) alert.defaultButton = param->defaultButton;
}

AlertContent ContentOf(const OpaqueDialogRef& alert) {
    AlertContent content{};
    content.type = alert.type;
    content.headline = CFStringUTF8(alert.headline.get()).c_str();
    content.explanation = CFStringUTF8(alert.explanation.get()).c_str();
    for (size_t i = 0; i < alert.buttons.size(); ++i)
        content.buttons[i] = alert.buttons[i] ? alert.buttons[i]->utf8.c_str() : nullptr;
    content.defaultButton = alert.defaultButton;
    return content;
}

} // namespace

OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* param, DialogRef* outAlert) {
    if (!outAlert) return paramErr;
    *outAlert = nullptr;
    if (!IsKnownAlertType(alertType)) return paramErr;
    if (param && param->version != kStdCFStringAlertVersionOne) return paramErr;

    auto* alert = new OpaqueDialogRef;
    alert->type = alertType;
    alert->headline = CFStringRetained(error);
    alert->explanation = CFStringRetained(explanation);
    TakeButtons(param, *alert);
    *outAlert = alert;
    return noErr;
}

OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP, DialogItemIndex* outItemHit) {
    if (!inAlert) return paramErr;
    const AlertContent content = ContentOf(*inAlert);
    // Taken now: a presenter may install another while its alert is up.
    const Presenter presenter = gPresenter;
    DialogItemIndex hit = presenter.proc(&content, presenter.refCon);
    // An answer naming no button of this alert counts as the default button.
    if (!HasButton(*inAlert, hit)) hit = inAlert->defaultButton;
    delete inAlert;
    if (outItemHit) *outItemHit = hit;
    return noErr;
}

AlertPresenterProc SetStandardAlertPresenter(AlertPresenterProc proc, void* refCon,
                                             void** previousRefCon) {
    const Presenter previous = gPresenter;
    gPresenter = Presenter{proc ? proc : ConsoleAlertPresenter, refCon};
    if (previousRefCon) *previousRefCon = previous.refCon;
    return previous.proc;
}

void ExitToShell(void) {
    std::cout.flush(); // its own buffer when detached from stdio
    std::fflush(nullptr);
    // _Exit skips static destructors: other libraries may be in any state when this is called.
    std::_Exit(1);
}
