// Alerts without a window system: written to standard error, answered with the default button.
#include "dialogs/alerts_console.h"

#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

namespace {

const char* KindName(AlertType type) {
    switch (type) {
    case kAlertStopAlert:
        return "Stop";
    case kAlertNoteAlert:
        return "Note";
    case kAlertCautionAlert:
        return "Caution";
    case kAlertPlainAlert:
        return "Plain";
    default:
        return "Unknown";
    }
}

// Every line of text, each indented so that the alert reads as one block in a log.
std::string Indented(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        out += "    ";
        out += text.substr(0, end);
        out += '\n';
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return out;
}

// "[OK] (default)  [Cancel]": the buttons in order, the default one marked.
std::string ButtonList(const AlertContent& alert) {
    std::string out;
    for (int i = 0; i < int(std::size(alert.buttons)); ++i) {
        if (!alert.buttons[i]) continue;
        if (!out.empty()) out += "  ";
        out += "[" + std::string(alert.buttons[i]) + "]";
        if (i + 1 == alert.defaultButton) out += " (default)";
    }
    return out;
}

std::string DefaultButtonTitle(const AlertContent& alert) {
    const int index = alert.defaultButton - 1;
    if (index < 0 || index >= int(std::size(alert.buttons)) || !alert.buttons[index]) return "";
    return alert.buttons[index];
}

std::string FormatAlert(const AlertContent& alert) {
    std::string out = "*** " + std::string(KindName(alert.type)) + " alert: ";
    out += alert.headline ? alert.headline : "";
    out += '\n';
    out += Indented(alert.explanation ? alert.explanation : "");
    out += "    Buttons: " + ButtonList(alert) + '\n';
    out += "    Answered: [" + DefaultButtonTitle(alert) + "] (no window system)\n";
    return out;
}

} // namespace

DialogItemIndex ConsoleAlertPresenter(const AlertContent* alert, void*) {
    if (!alert) return kAlertStdAlertOKButton;
    std::fputs(FormatAlert(*alert).c_str(), stderr);
    std::fflush(stderr);
    return alert->defaultButton;
}
