// The colour picker on QColorDialog, or answered by a test hook.
#include "ColorPicker.h"

#include "MacWindows.h"
#include "toolbox/guiapp.h"
#include "toolbox/testseams.h"

#include <QColorDialog>

namespace {

// The dialog works in 8-bit channels: a 16-bit channel goes in as its high byte and a byte
// comes back as byte * 256, the platform's rule for both directions.
QColor QColorOf(const CMRGBColor& rgb) {
    return QColor(rgb.red >> 8, rgb.green >> 8, rgb.blue >> 8);
}

CMRGBColor RGBOf(const QColor& color) {
    const auto wide = [](int byte) { return UInt16(byte << 8); };
    return CMRGBColor{wide(color.red()), wide(color.green()), wide(color.blue())};
}

// Runs the modal dialog; true with *chosen set when the user accepted a colour.
bool RunDialog(const QString& prompt, const NColorPickerInfo& info, CMRGBColor* chosen) {
    QColorDialog dialog(QColorOf(info.theColor.color.rgb));
    dialog.setWindowTitle(prompt);
    dialog.setWindowModality(Qt::ApplicationModal);
    // An origin of (0, 0) leaves the place to the window system, as the platform's own picker
    // centres itself then.
    const Point origin = info.dialogOrigin;
    if (info.placeWhere == kAtSpecifiedOrigin && (origin.h != 0 || origin.v != 0))
        dialog.move(origin.h, origin.v);
    if (dialog.exec() != QDialog::Accepted) return false;
    *chosen = RGBOf(dialog.selectedColor());
    return true;
}

bool AskHook(const tb::TestHook<ToolboxColorPickerHook>& hook, const QString& prompt,
             const NColorPickerInfo& info, CMRGBColor* chosen) {
    const CMRGBColor& start = info.theColor.color.rgb;
    const RGBColor startColor{start.red, start.green, start.blue};
    RGBColor answer = startColor;
    if (!hook.proc(prompt.toUtf8().constData(), &startColor, &answer, hook.refCon)) return false;
    *chosen = CMRGBColor{answer.red, answer.green, answer.blue};
    return true;
}

} // namespace

OSErr NPickColor(NColorPickerInfo* info) {
    if (!info) return paramErr;
    const auto hook = tb::Seams().colorPicker;
    if (!hook.proc && !tb::HasGUI()) return OSErr(kToolboxNoGUIErr);
    const QString prompt = tb::TextFromMacRoman(info->prompt + 1, info->prompt[0]);
    CMRGBColor chosen{};
    const bool accepted =
        hook.proc ? AskHook(hook, prompt, *info, &chosen) : RunDialog(prompt, *info, &chosen);
    info->newColorChosen = accepted;
    if (accepted) info->theColor.color.rgb = chosen;
    return noErr;
}
