// The pixel effect over whole, half and empty regions, and each row kernel alone, beside memcpy.
#include "benchframes.h"
#include "figures.h"

#include "DataHandling.h"
#include "pixeleffect.h"
#include "pixellib.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A brightening a user would pick; the arithmetic kernel takes it without corrections.
constexpr int16_t kGainSlider = 70;
constexpr int16_t kOffsetSlider = 60;

PluginDataRec BenchConfig() {
    PluginDataRec config{};
    ResetConfig(&config);
    config.Sliders[0] = kGainSlider;
    config.Sliders[1] = kOffsetSlider;
    return config;
}

struct RegionCase {
    const char* name;
    Rect (*of)(FrameSize);
};

const RegionCase kRegions[] = {
    {"full",
     [](FrameSize s) {
         return Rect{0, 0, s.height, s.width};
     }},
    // Every row half mapped and half copied.
    {"half",
     [](FrameSize s) {
         return Rect{0, 0, s.height, int16_t(s.width / 2)};
     }},
    {"empty",
     [](FrameSize) {
         return Rect{0, 0, 0, 0};
     }},
};

void AddEffectFigures(FrameSize size, const std::string& baseline) {
    for (const RegionCase& region : kRegions) {
        const Rect rect = region.of(size);
        figures::AddFigure("effect/" + size.Label() + "/" + region.name, baseline,
                           [size, rect](benchmark::State& state) {
                               GWorldPtr source = KeptFrame(size, kSourceFrame),
                                         dest = KeptFrame(size, kDestFrame);
                               const PluginDataRec config = BenchConfig();
                               // The workers a render owns.
                               RowWorkers* workers = NewRowWorkers();
                               figures::Measure(state, [&] {
                                   PixelDrive(source, dest, rect, &config, 0, 1, workers);
                               });
                               DisposeRowWorkers(workers);
                           });
    }
}

const char* KernelSlug(PixelKernelKind kind) {
    switch (kind) {
    case PixelKernelKind::PlainTable:
        return "plain-table";
    case PixelKernelKind::Avx2Arithmetic:
        return "avx2-arithmetic";
    case PixelKernelKind::Avx512Table:
        return "avx512-table";
    }
    return "unknown";
}

FramePlanes PlanesOf(GWorldPtr source, GWorldPtr dest, FrameSize size) {
    PixMapHandle from = GetGWorldPixMap(source), to = GetGWorldPixMap(dest);
    return {reinterpret_cast<const uint8_t*>(GetPixBaseAddr(from)),
            GetPixRowBytes(from),
            reinterpret_cast<uint8_t*>(GetPixBaseAddr(to)),
            GetPixRowBytes(to),
            size.height,
            size.width};
}

// Each kernel this processor runs, whole frame, on the calling thread only.
void AddKernelFigures(FrameSize size, const std::string& baseline) {
    static RowWorkers callerOnly(0);
    const PixelKernelKind kinds[] = {PixelKernelKind::PlainTable, PixelKernelKind::Avx2Arithmetic,
                                     PixelKernelKind::Avx512Table};
    for (PixelKernelKind kind : kinds) {
        PixelKernel kernel;
        if (!TryPixelKernel(kind, MakeChannelTable(kGainSlider, kOffsetSlider), kAlphaByte,
                            kGainSlider, kOffsetSlider, DetectCpuFeatures(), &kernel))
            continue;
        figures::AddFigure(
            "kernel/" + size.Label() + "/" + KernelSlug(kind) + "/1-thread", baseline,
            [size, kernel](benchmark::State& state) {
                const FramePlanes planes =
                    PlanesOf(KeptFrame(size, kSourceFrame), KeptFrame(size, kDestFrame), size);
                figures::Measure(state, [&] {
                    MapFrame(kernel, planes, {0, 0, size.height, size.width}, true, callerOnly);
                });
            });
    }
}

// How far the whole-frame effect's cost per pixel moves across the sizes, in time and as a
// ratio to memcpy (the first grows where a frame no longer fits the caches; the second not).
std::string LinearityNote(const figures::Results& results) {
    std::vector<double> perPixel, ratios;
    for (const FrameSize& size : kFrameSizes) {
        const std::string name = "effect/" + size.Label() + "/full";
        const double pixels = double(size.width) * size.height;
        if (results.MedianTime(name) <= 0) return std::string(); // not measured in this run
        perPixel.push_back(results.MedianTime(name) * 1e3 / pixels);
        ratios.push_back(results.MedianRatio(name));
    }
    const auto spread = [](const std::vector<double>& v) {
        const auto [low, high] = std::minmax_element(v.begin(), v.end());
        return *low > 0 ? (*high / *low - 1) * 100 : 0.0;
    };
    char line[256];
    std::snprintf(line, sizeof line,
                  "effect/linearity: per-pixel time %.3f / %.3f / %.3f ns spans %.0f%%; "
                  "per-pixel ratio to memcpy spans %.0f%%",
                  perPixel[0], perPixel[1], perPixel[2], spread(perPixel), spread(ratios));
    return line;
}

const bool kRegistered = [] {
    for (const FrameSize& size : kFrameSizes) {
        const std::string baseline = AddFrameBaseline(size);
        AddEffectFigures(size, baseline);
        AddKernelFigures(size, baseline);
    }
    figures::AddNote(LinearityNote);
    return true;
}();

} // namespace
