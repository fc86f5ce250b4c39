// The alert presenter for a desktop session: a modal QMessageBox, answerable by a test hook.
#include "Dialogs.h"

#include "toolbox/guiapp.h"
#include "toolbox/keyguard.h"
#include "toolbox/testseams.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <array>

namespace {

QMessageBox::Icon IconOf(AlertType type) {
    switch (type) {
    case kAlertStopAlert:
        return QMessageBox::Critical;
    case kAlertNoteAlert:
        return QMessageBox::Information;
    case kAlertCautionAlert:
        return QMessageBox::Warning;
    default:
        return QMessageBox::NoIcon;
    }
}

// Roles keep the platform's order of default, cancel and other buttons.
constexpr std::array<QMessageBox::ButtonRole, 3> kRoles{
    QMessageBox::AcceptRole, QMessageBox::RejectRole, QMessageBox::DestructiveRole};

using AlertButtons = std::array<QPushButton*, 3>; // null where the alert has no such button

AlertButtons AddButtons(QMessageBox& box, const AlertContent& alert) {
    AlertButtons buttons{};
    for (size_t i = 0; i < buttons.size(); ++i)
        if (alert.buttons[i])
            buttons[i] = box.addButton(QString::fromUtf8(alert.buttons[i]), kRoles[i]);
    if (!buttons[0]) buttons[0] = box.addButton(QMessageBox::Ok);
    return buttons;
}

QPushButton* ButtonNumbered(const AlertButtons& buttons, int number) {
    return number >= 1 && number <= int(buttons.size()) ? buttons[number - 1] : nullptr;
}

DialogItemIndex PresentInMessageBox(const AlertContent* alert, void*) {
    const DialogItemIndex fallback = alert->defaultButton;
    if (!tb::HasGUI()) return fallback;
    tb::GuardKeyEvents();
    QMessageBox box(IconOf(alert->type), QString(), QString::fromUtf8(alert->headline));
    box.setInformativeText(QString::fromUtf8(alert->explanation));
    const AlertButtons buttons = AddButtons(box, *alert);
    QPushButton* defaultButton = ButtonNumbered(buttons, alert->defaultButton);
    box.setDefaultButton(defaultButton ? defaultButton : buttons[0]);
    box.setEscapeButton(buttons[1] ? buttons[1] : box.defaultButton());
    if (const auto hook = tb::Seams().alertAnswer; hook.proc)
        QTimer::singleShot(0, &box, [&box, &buttons, alert, hook] {
            QPushButton* chosen = ButtonNumbered(buttons, hook.proc(alert, hook.refCon));
            (chosen ? chosen : box.defaultButton())->click();
        });
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i] && box.clickedButton() == buttons[i]) return DialogItemIndex(i + 1);
    return fallback;
}

} // namespace

bool tb::InstallMessageBoxPresenter() {
    if (!tb::HasGUI()) return false;
    SetStandardAlertPresenter(PresentInMessageBox, nullptr, nullptr);
    return true;
}
