// A whole frame request through the entry point, with and without a fade, beside memcpy.
#include "benchframes.h"
#include "benchhost.h"
#include "figures.h"

namespace {

constexpr int16_t kGainSlider = 70;
constexpr int16_t kOffsetSlider = 60;
// Frame 5 of 30: inside a fade-in of 10 frames (opacity 127), and no fade without one.
constexpr int32_t kFrameCount = 30;
constexpr int32_t kRenderFrame = 5;
constexpr int32_t kFadeInFrames = 10;
constexpr int16_t kFadeOpacity = 127; // 255 * (1 - 5 / 10), truncated

void AddRequestFigure(FrameSize size, const std::string& baseline, const char* name,
                      int32_t fadeInFrames) {
    figures::AddFigure(
        "request/" + size.Label() + "/" + name, baseline,
        [size, fadeInFrames](benchmark::State& state) {
            BenchHost host(size, kFrameCount, fadeInFrames, kGainSlider, kOffsetSlider);
            if (!host.Began() || host.RenderFrame(kRenderFrame) != kPluginOK) {
                state.SkipWithError("the plug-in refused the render");
                return;
            }
            figures::Measure(state, [&] { host.RenderFrame(kRenderFrame); });
        },
        "effect/" + size.Label() + "/full");
}

// The host's own share of a fade frame: its blend of the clean copy over the output.
void AddHostBlendFigure(FrameSize size, const std::string& baseline) {
    figures::AddFigure("host-blend/" + size.Label(), baseline, [size](benchmark::State& state) {
        PixMapHandle from = GetGWorldPixMap(KeptFrame(size, kSourceFrame));
        PixMapHandle to = GetGWorldPixMap(KeptFrame(size, kDestFrame));
        const Rect whole = {0, 0, size.height, size.width};
        figures::Measure(state, [&] { BenchHost::Blit(from, to, &whole, &whole, kFadeOpacity); });
    });
}

const bool kRegistered = [] {
    for (const FrameSize& size : kFrameSizes) {
        const std::string baseline = AddFrameBaseline(size);
        AddRequestFigure(size, baseline, "nofade", 0);
        AddRequestFigure(size, baseline, "fade", kFadeInFrames);
        AddHostBlendFigure(size, baseline);
    }
    return true;
}();

} // namespace
