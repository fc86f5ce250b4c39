// f0r_update of the built frei0r plug-in over a whole frame, beside memcpy of the same frame.
#include "benchframes.h"
#include "figures.h"

extern "C" {
#include <frei0r.h>
}

#include <dlfcn.h>

#include <cstdio>

namespace {

// The plug-in's calls, from the file the hosts load.
struct Frei0rCalls {
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_set_param_value) setParam = nullptr;
    decltype(&f0r_update) update = nullptr;
};

const Frei0rCalls* LoadPlugin() {
    static const Frei0rCalls calls = [] {
        Frei0rCalls c;
        void* plugin = dlopen(LUMASHIFT_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        if (!plugin) {
            std::fprintf(stderr, "frei0r figures left out: %s\n", dlerror());
            return c;
        }
        c.construct = reinterpret_cast<decltype(c.construct)>(dlsym(plugin, "f0r_construct"));
        c.setParam = reinterpret_cast<decltype(c.setParam)>(dlsym(plugin, "f0r_set_param_value"));
        c.update = reinterpret_cast<decltype(c.update)>(dlsym(plugin, "f0r_update"));
        return c;
    }();
    return calls.update ? &calls : nullptr;
}

// The brightening the effect figures use: gain slider 70, offset slider 60, the whole frame.
constexpr double kGain = 0.7, kOffset = 0.6;
constexpr int kGainParam = 4, kOffsetParam = 5;

const bool kRegistered = [] {
    for (const FrameSize& size : kFrameSizes) {
        const std::string baseline = AddFrameBaseline(size);
        figures::AddFigure(
            "frei0r/" + size.Label() + "/update", baseline, [size](benchmark::State& state) {
                const Frei0rCalls* plugin = LoadPlugin();
                if (!plugin) {
                    state.SkipWithError("the frei0r plug-in did not load");
                    return;
                }
                f0r_instance_t instance =
                    plugin->construct(unsigned(size.width), unsigned(size.height));
                double gain = kGain, offset = kOffset;
                plugin->setParam(instance, &gain, kGainParam);
                plugin->setParam(instance, &offset, kOffsetParam);
                // Kept frames have packed rows at these widths, as frei0r's do.
                const auto* in = reinterpret_cast<const uint32_t*>(
                    GetPixBaseAddr(GetGWorldPixMap(KeptFrame(size, kSourceFrame))));
                auto* out = reinterpret_cast<uint32_t*>(
                    GetPixBaseAddr(GetGWorldPixMap(KeptFrame(size, kDestFrame))));
                figures::Measure(state, [&] { plugin->update(instance, 0, in, out); });
            });
    }
    return true;
}();

} // namespace
