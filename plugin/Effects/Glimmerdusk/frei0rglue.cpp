// The frei0r glue: the effect as a frei0r filter that FFmpeg, MLT and GStreamer load. It renders
// through the same configuration record, region mapping, effect and pixel loop as the bundle's
// entry point, with one configuration per instance made from the host's parameters.
//
// Threads: the hosts bring their own. MLT renders frames on several threads, each with its own
// instance, and, when a filter's `threads` property is set, cuts one frame into bands that
// several threads update on one instance at once (between frames, the thread that ordered the
// bands sets the parameters); GStreamer and FFmpeg call from their streaming or filter thread
// beside the codecs' threads. So an instance starts no threads of its own: every frame, and every
// band, renders wholly on the thread that asked for it, and nothing of a frame outlives the call.
// Each instance guards its parameters with its own lock, and a frame renders from a copy taken
// under it; everything else a frame uses is its own (the images wrapping the host's buffers, the
// table, the kernel), so concurrent updates of one instance share nothing they write. The saved
// configuration is read under the one lock that all of the process's readers share, and only
// when the "use saved configuration" switch is turned on, never per frame.
#include "DataHandling.h"
#include "callpixelfx.h"
#include "commonprocs.h"
#include "savedconfig.h"

// The interface header declares C calls without saying so to C++.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

namespace {

enum ParamIndex : int {
    kParamLeft,
    kParamTop,
    kParamRight,
    kParamBottom,
    kParamGain,
    kParamOffset,
    kParamUseSaved,
    kParamCount,
};

struct ParamSpec {
    const char* name;
    int type;
    const char* explanation;
    double defaultValue;
};

// What an editor shows for each parameter. The defaults leave the picture unchanged.
constexpr ParamSpec kParams[kParamCount] = {
    {"Left", F0R_PARAM_DOUBLE,
     "Left edge of the region, as a fraction of the frame's width (0 is the left edge of the "
     "frame, 1 the right edge)",
     0.0},
    {"Top", F0R_PARAM_DOUBLE,
     "Top edge of the region, as a fraction of the frame's height (0 is the top of the frame, "
     "1 the bottom)",
     0.0},
    {"Right", F0R_PARAM_DOUBLE,
     "Right edge of the region, as a fraction of the frame's width; the region ends just "
     "before it",
     1.0},
    {"Bottom", F0R_PARAM_DOUBLE,
     "Bottom edge of the region, as a fraction of the frame's height; the region ends just "
     "above it",
     1.0},
    {"Gain", F0R_PARAM_DOUBLE,
     "Contrast of the region: each colour channel is multiplied by 0 (black) at 0, left as it "
     "is at 0.5, doubled at 1",
     0.5},
    {"Offset", F0R_PARAM_DOUBLE,
     "Brightness of the region: 255 is taken from each colour channel at 0, nothing changes at "
     "0.5, 255 is added at 1",
     0.5},
    {"Use saved configuration", F0R_PARAM_BOOL,
     "Take the region, gain and offset from the configuration saved by the effect's "
     "configuration window instead of the parameters above",
     0.0},
};

constexpr int kMajorVersion = 3; // the bundle's version, 3.0
constexpr int kMinorVersion = 0;
// Frames are as wide and high as a Rect's 16-bit sides reach.
constexpr unsigned kLargestSide = std::numeric_limits<int16_t>::max();

struct Instance {
    Rect frame;      // the frames' bounds, (0, 0) at the top left
    std::mutex lock; // the fields below, against frames rendering on other threads
    double values[kParamCount];
    PluginDataRec fromParams; // what the parameters say
    PluginDataRec saved;      // the saved configuration, read when the switch came on
    bool useSaved = false;
    bool savedFound = false;
};

// A 0..1 value on the window's slider scale, to the nearest step; outside 0..1 it is the
// nearer end, and NaN is neutral.
int16_t SliderFromFraction(double value) {
    if (std::isnan(value)) return kNeutralSlider;
    return int16_t(std::clamp(value, 0.0, 1.0) * kSliderSpan + 0.5);
}

bool SwitchIsOn(double value) {
    return value >= 0.5; // NaN is off
}

void ApplyParams(Instance& instance) {
    const double* v = instance.values;
    // Edges are taken as given: the region mapping already defines NaN, huge, negative and
    // inverted edges (an inverted region is empty).
    instance.fromParams.StartRel =
        RelRect{v[kParamLeft], v[kParamRight], v[kParamTop], v[kParamBottom]};
    instance.fromParams.Sliders[0] = SliderFromFraction(v[kParamGain]);
    instance.fromParams.Sliders[1] = SliderFromFraction(v[kParamOffset]);
}

// The saved configuration, or false when there is none to read.
bool ReadSavedConfig(PluginDataRec* config) {
    if (ReadSavedConfigGuarded(config)) return true;
    Notify(CMYCLEARNAME ": no saved configuration was found (vorel-Prefs in the preferences "
                        "folder), so the parameters are used instead.");
    return false;
}

void SetParam(Instance& instance, double value, int index) {
    std::lock_guard<std::mutex> guard(instance.lock);
    instance.values[index] = value;
    if (index == kParamUseSaved) {
        const bool on = SwitchIsOn(value);
        if (on && !instance.useSaved) instance.savedFound = ReadSavedConfig(&instance.saved);
        instance.useSaved = on;
    }
    ApplyParams(instance);
}

PluginDataRec ConfigForFrame(Instance& instance) {
    std::lock_guard<std::mutex> guard(instance.lock);
    return instance.useSaved && instance.savedFound ? instance.saved : instance.fromParams;
}

// The host's frame as an image of the effect: RGBA bytes, rows packed (frei0r has no pitch).
GWorldPtr WrapFrame(const Rect& frame, const uint32_t* pixels) {
    GWorldPtr world = nullptr;
    const long rowBytes = long(frame.right) * kBytesPerPixel;
    NewGWorldFromPtr(&world, k32RGBAPixelFormat, &frame, nullptr, nullptr, 0,
                     reinterpret_cast<Ptr>(const_cast<uint32_t*>(pixels)), rowBytes);
    return world;
}

void RenderFrame(Instance& instance, const uint32_t* inframe, uint32_t* outframe) {
    const PluginDataRec config = ConfigForFrame(instance);
    GWorldPtr source = WrapFrame(instance.frame, inframe);
    GWorldPtr dest = WrapFrame(instance.frame, outframe);
    if (source && dest) {
        DoCorePixelEffect(source, dest, &config, 0, 1, nullptr); // on the host's thread
    } else if (inframe != outframe) {
        // No memory for the image records: the frame passes unchanged rather than as garbage.
        std::memcpy(outframe, inframe,
                    size_t(instance.frame.right) * size_t(instance.frame.bottom) * kBytesPerPixel);
    }
    DisposeGWorld(dest);
    DisposeGWorld(source);
}

Instance* InstanceOf(f0r_instance_t instance) {
    return static_cast<Instance*>(instance);
}

bool IsParam(int index) {
    return index >= 0 && index < kParamCount;
}

// Nothing thrown may cross into the host.
template <class Body> void Guarded(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

} // namespace

extern "C" {

int f0r_init(void) {
    return 1;
}

// Nothing to end: the plug-in keeps no threads and no state beyond its instances.
void f0r_deinit(void) {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (!info) return;
    info->name = CMYCLEARNAME;
    info->author = "Brindle";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = kMajorVersion;
    info->minor_version = kMinorVersion;
    info->num_params = kParamCount;
    info->explanation = "Lightens or darkens a rectangular region of the frame: a gain and an "
                        "offset on each colour channel, clamped; alpha and everything outside "
                        "the region stay as they are";
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    if (!info || !IsParam(param_index)) return;
    info->name = kParams[param_index].name;
    info->type = kParams[param_index].type;
    info->explanation = kParams[param_index].explanation;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide) return nullptr;
    auto* instance = new (std::nothrow) Instance;
    if (!instance) return nullptr;
    instance->frame = Rect{0, 0, int16_t(height), int16_t(width)};
    instance->fromParams = PluginDataRec{};
    ResetConfig(&instance->fromParams);
    for (int i = 0; i < kParamCount; ++i)
        instance->values[i] = kParams[i].defaultValue;
    ApplyParams(*instance);
    return instance;
}

void f0r_destruct(f0r_instance_t instance) {
    delete InstanceOf(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    if (!instance || !param || !IsParam(param_index)) return;
    // Booleans and doubles alike are passed as one double.
    const double value = *static_cast<const double*>(param);
    Guarded([&] { SetParam(*InstanceOf(instance), value, param_index); });
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    if (!instance || !param || !IsParam(param_index)) return;
    Guarded([&] {
        Instance& self = *InstanceOf(instance);
        std::lock_guard<std::mutex> guard(self.lock);
        *static_cast<double*>(param) = self.values[param_index];
    });
}

void f0r_update(f0r_instance_t instance, double /*time*/, const uint32_t* inframe,
                uint32_t* outframe) {
    if (!instance || !inframe || !outframe) return;
    Guarded([&] { RenderFrame(*InstanceOf(instance), inframe, outframe); });
}

// A filter's second form: the same as f0r_update with the first input.
void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                 const uint32_t* /*inframe2*/, const uint32_t* /*inframe3*/, uint32_t* outframe) {
    f0r_update(instance, time, inframe1, outframe);
}

} // extern "C"
