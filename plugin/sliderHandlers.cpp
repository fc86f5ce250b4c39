// The effect sliders, the frame slider and the live preview refresh.
#include "sliderHandlers.h"

#include "DataHandling.h"
#include "callpixelfx.h"
#include "carbonmacros.h"
#include "commonprocs.h"
#include "iMovieGlue.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace {

constexpr OSType kSliderSig = FOUR_CHAR_CODE("Sldr");
constexpr OSType kLegendSig = FOUR_CHAR_CODE("Lgnd");
constexpr OSType kLabelSig = FOUR_CHAR_CODE("Labl");
constexpr OSType kClipSliderSig = FOUR_CHAR_CODE("ClpS");
constexpr OSType kFrameTextSig = FOUR_CHAR_CODE("ClpM");

struct SliderSetting {
    bool inUse;
    ControlActionProcPtr action;
};

// Which sliders the effect uses, and their action procedures, by slider number - 1.
constexpr std::array<SliderSetting, kSliderCount> kSliderSettings{{
    {CUSESSLIDER1 != 0, Slider1Action},
    {CUSESSLIDER2 != 0, Slider2Action},
    {CUSESSLIDER3 != 0, Slider3Action},
    {CUSESSLIDER4 != 0, Slider4Action},
    {CUSESSLIDER5 != 0, Slider5Action},
    {CUSESSLIDER6 != 0, Slider6Action},
}};

// The record's value of slider n; neutral when there is no record.
int16_t RecordSlider(int16_t SliderNumber) {
    const PluginDataRec* config = gConfigWorkSpace.TheConfig;
    return config ? config->Sliders[SliderNumber - 1] : kNeutralSlider;
}

void SetupEffectSlider(WindowRef TheWindow, int16_t SliderNumber) {
    ControlRef slider = SimpleGetControlByID(TheWindow, kSliderSig, SliderNumber);
    Assert(slider, ("Cannot access slider " + std::to_string(SliderNumber)).c_str());
    gConfigWorkSpace.Sliders[SliderNumber - 1] = slider;
    const SliderSetting& setting = kSliderSettings[size_t(SliderNumber - 1)];
    if (setting.inUse) {
        SetControlAction(slider, NewControlActionUPP(setting.action));
        SetControl32BitValue(slider, RecordSlider(SliderNumber));
        ShowSliderValue(TheWindow, SliderNumber, RecordSlider(SliderNumber));
    } else {
        HideControl(slider);
        SimpleHideControl(TheWindow, kLegendSig, SliderNumber);
        SimpleHideControl(TheWindow, kLabelSig, SliderNumber);
    }
}

void SetupClipSlider(WindowRef TheWindow) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    ws.ClipSlider = SimpleGetControlByID(TheWindow, kClipSliderSig, 1);
    Assert(ws.ClipSlider, "Cannot access clip slider");
    SetControlAction(ws.ClipSlider, NewControlActionUPP(ClipSliderAction));
    // The range before the value: a value outside the layout's own range would be clamped, and
    // a reopened window would lose the frame last chosen.
    SetControl32BitMinimum(ws.ClipSlider, 0);
    SetControl32BitMaximum(ws.ClipSlider, ws.MaxFrameIndex);
    SetControl32BitValue(ws.ClipSlider, ws.CurrFrameIndex);
    ShowFrameNumber(TheWindow, GetControl32BitValue(ws.ClipSlider));
}

void SliderAction(int16_t SliderNumber, ControlRef TheControl) {
    const int32_t value = GetControl32BitValue(TheControl);
    if (PluginDataPtr config = gConfigWorkSpace.TheConfig)
        config->Sliders[SliderNumber - 1] = int16_t(value);
    ShowSliderValue(gConfigWorkSpace.TheWindow, SliderNumber, value);
    ReRenderAndBlit();
}

} // namespace

void SetupSliders(WindowRef TheWindow) {
    for (int16_t n = 1; n <= kSliderCount; ++n)
        SetupEffectSlider(TheWindow, n);
    SetupClipSlider(TheWindow);
}

void KillSliders(void) {}

void Slider1Action(ControlRef TheControl, ControlPartCode) {
    SliderAction(1, TheControl);
}
void Slider2Action(ControlRef TheControl, ControlPartCode) {
    SliderAction(2, TheControl);
}
void Slider3Action(ControlRef TheControl, ControlPartCode) {
    SliderAction(3, TheControl);
}
void Slider4Action(ControlRef TheControl, ControlPartCode) {
    SliderAction(4, TheControl);
}
void Slider5Action(ControlRef TheControl, ControlPartCode) {
    SliderAction(5, TheControl);
}
void Slider6Action(ControlRef TheControl, ControlPartCode) {
    SliderAction(6, TheControl);
}

void ClipSliderAction(ControlRef TheControl, ControlPartCode) {
    const int32_t value = GetControl32BitValue(TheControl);
    gConfigWorkSpace.CurrFrameIndex = value;
    ShowFrameNumber(gConfigWorkSpace.TheWindow, value);
    AccessRenderAndBlit(value);
}

void ReRenderAndBlit(void) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    CallPixelEffect(ws.SourceClip, ws.TheFXClip);
    // The clip control redraws whenever its value changes; the value means nothing else.
    SetControl32BitValue(ws.TheFrameCtrl, GetControl32BitValue(ws.TheFrameCtrl) > 0 ? 0 : 1);
}

void AccessRenderAndBlit(int32_t TheVal) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    // Without a host request, or beyond the frame numbers the host can name, there is no
    // frame to fetch: the preview keeps the last one.
    const int64_t frame = int64_t(TheVal) + ws.MinFrameIndex;
    if (ws.iMovieParams && ws.SourceClip && frame >= INT32_MIN && frame <= INT32_MAX)
        GetFrameIntoGW(ws.SourceClip, ws.iMovieParams, int32_t(frame), CUSEDISPOSEGWINSLIDER);
    ReRenderAndBlit();
}

void SliderValueText(int16_t SliderNumber, int32_t TheValue, Str255 TheText) {
    // Sliders 1 and 2 are gain and offset: 50 is neutral and 0..100 spans -100%..100%.
    const bool centred = SliderNumber == 1 || SliderNumber == 2;
    const int64_t shown = centred ? (int64_t(TheValue) - kNeutralSlider) * 2 : TheValue;
    Num2Text(int32_t(std::clamp<int64_t>(shown, INT32_MIN, INT32_MAX)), TheText);
    Str255 percent;
    CToText("%", percent);
    AppendText(TheText, percent);
}

void ShowSliderValue(WindowRef TheWindow, int16_t SliderNumber, int32_t TheValue) {
    Str255 text;
    SliderValueText(SliderNumber, TheValue, text);
    SimpleSetControlText(TheWindow, kLegendSig, SliderNumber, text);
}

void ShowFrameNumber(WindowRef TheWindow, int32_t TheFrame) {
    Str255 text, tail;
    Num2Text(TheFrame, text);
    CToText("/", tail);
    AppendText(text, tail);
    Num2Text(gConfigWorkSpace.MaxFrameIndex, tail);
    AppendText(text, tail);
    SimpleSetControlText(TheWindow, kFrameTextSig, 1, text);
}
