// One preview step of the configuration window per layout: the effect, then its scaled copy.
#include "benchframes.h"
#include "figures.h"

#include "DataHandling.h"
#include "callpixelfx.h"

namespace {

struct Layout {
    const char* name;
    FrameSize frame; // what the host hands the window, by video format
    int16_t previewWidth, previewHeight;
};

const Layout kLayouts[] = {
    {"ntsc", {720, 480}, 480, 320},
    {"pal", {720, 576}, 480, 384},
    {"hd", {960, 540}, 640, 360},
};

// The window around the preview control: the control at the top left, the sliders to its
// right and the buttons below. Only the control's area is drawn, so the margins cost nothing.
constexpr int16_t kMargin = 20;
constexpr int16_t kSidePanel = 260;
constexpr int16_t kButtonRow = 120;

constexpr int16_t kGainSlider = 70;
constexpr int16_t kOffsetSlider = 60;

void AddPreviewFigure(const Layout& layout) {
    const std::string baseline = AddFrameBaseline(layout.frame);
    figures::AddFigure(
        "preview/" + std::string(layout.name), baseline, [layout](benchmark::State& state) {
            const FrameSize window = {int16_t(layout.previewWidth + kSidePanel + kMargin),
                                      int16_t(layout.previewHeight + kButtonRow + kMargin)};
            GWorldPtr port = KeptFrame(window, kSourceFrame); // an image of the window's size
            const Rect control = {kMargin, kMargin, int16_t(kMargin + layout.previewHeight),
                                  int16_t(kMargin + layout.previewWidth)};
            PluginDataRec config{};
            ResetConfig(&config);
            config.Sliders[0] = kGainSlider;
            config.Sliders[1] = kOffsetSlider;
            gConfigWorkSpace.TheConfig = &config;
            gConfigWorkSpace.SourceClip = KeptFrame(layout.frame, kSourceFrame);
            gConfigWorkSpace.TheFXClip = KeptFrame(layout.frame, kDestFrame);
            gConfigWorkSpace.CurrFrameIndex = 0;
            gConfigWorkSpace.MaxFrameIndex = 100;
            gConfigWorkSpace.PreviewWorkers = NewRowWorkers(); // as the window's run owns them
            const Rect previewBounds = {0, 0, layout.frame.height, layout.frame.width};

            CGrafPtr savedPort;
            GDHandle savedDevice;
            GetGWorld(&savedPort, &savedDevice);
            SetGWorld(port, nullptr);
            figures::Measure(state, [&] {
                CallPixelEffect(gConfigWorkSpace.SourceClip, gConfigWorkSpace.TheFXClip);
                CopyBits(GetPortBitMapForCopyBits(gConfigWorkSpace.TheFXClip),
                         GetPortBitMapForCopyBits(port), &previewBounds, &control, srcCopy,
                         nullptr);
            });
            SetGWorld(savedPort, savedDevice);
            DisposeRowWorkers(gConfigWorkSpace.PreviewWorkers);
            gConfigWorkSpace = PluginWorkSpace{};
        });
}

const bool kRegistered = [] {
    for (const Layout& layout : kLayouts)
        AddPreviewFigure(layout);
    return true;
}();

} // namespace
