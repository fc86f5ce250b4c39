// Shared by the frei0r tests: the built plug-in loaded as a frei0r host loads it, and RGBA
// frames.
#pragma once

#include "effectreference.h"
#include "pixelkernel_testing.h"

extern "C" {
#include <frei0r.h>
}

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace frei0rtest {

// The plug-in's calls, found by name in a dlopen'ed copy of the built file.
class Plugin {
  public:
    explicit Plugin(const std::string& path = LUMASHIFT_FREI0R_PLUGIN) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) throw std::runtime_error(std::string("cannot load ") + dlerror());
        Find(init, "f0r_init");
        Find(deinit, "f0r_deinit");
        Find(pluginInfo, "f0r_get_plugin_info");
        Find(paramInfo, "f0r_get_param_info");
        Find(construct, "f0r_construct");
        Find(destruct, "f0r_destruct");
        Find(setParam, "f0r_set_param_value");
        Find(getParam, "f0r_get_param_value");
        Find(update, "f0r_update");
        Find(update2, "f0r_update2");
        init();
    }
    ~Plugin() {
        deinit();
        dlclose(handle_);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    decltype(&f0r_init) init;
    decltype(&f0r_deinit) deinit;
    decltype(&f0r_get_plugin_info) pluginInfo;
    decltype(&f0r_get_param_info) paramInfo;
    decltype(&f0r_construct) construct;
    decltype(&f0r_destruct) destruct;
    decltype(&f0r_set_param_value) setParam;
    decltype(&f0r_get_param_value) getParam;
    decltype(&f0r_update) update;
    decltype(&f0r_update2) update2;

    void Set(f0r_instance_t instance, int index, double value) const {
        setParam(instance, &value, index);
    }
    double Get(f0r_instance_t instance, int index) const {
        double value = -12345;
        getParam(instance, &value, index);
        return value;
    }

  private:
    template <class Fn> void Find(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(dlsym(handle_, name));
        if (!fn) throw std::runtime_error(std::string("the plug-in lacks ") + name);
    }
    void* handle_ = nullptr;
};

using effectref::Edge;
using effectref::Expected;
using effectref::SaveSetting;
using effectref::Setting;

// Parameter positions, as the plug-in lists them.
enum : int { kLeft, kTop, kRight, kBottom, kGain, kOffset, kUseSaved, kParamCount };

inline void Apply(const Plugin& plugin, f0r_instance_t instance, const Setting& s) {
    plugin.Set(instance, kLeft, s.left);
    plugin.Set(instance, kTop, s.top);
    plugin.Set(instance, kRight, s.right);
    plugin.Set(instance, kBottom, s.bottom);
    plugin.Set(instance, kGain, s.Gain());
    plugin.Set(instance, kOffset, s.Offset());
}

// An RGBA frame of random bytes, alpha included, rows packed.
inline std::vector<uint8_t> RandomFrame(int width, int height, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> frame(size_t(width) * height * 4);
    kerneltest::FillRandom(frame, rng);
    return frame;
}

// The plug-in's result for one frame from `instance` as it is set.
inline std::vector<uint8_t> Update(const Plugin& plugin, f0r_instance_t instance,
                                   const std::vector<uint8_t>& frame) {
    std::vector<uint32_t> in(frame.size() / 4), out(frame.size() / 4);
    std::memcpy(in.data(), frame.data(), frame.size());
    plugin.update(instance, 0.0, in.data(), out.data());
    std::vector<uint8_t> bytes(frame.size());
    std::memcpy(bytes.data(), out.data(), bytes.size());
    return bytes;
}

// The plug-in's result for one frame with a fresh instance.
inline std::vector<uint8_t> Render(const Plugin& plugin, const std::vector<uint8_t>& frame,
                                   int width, int height, const Setting& s) {
    f0r_instance_t instance = plugin.construct(unsigned(width), unsigned(height));
    if (!instance) throw std::runtime_error("the plug-in refused the frame size");
    Apply(plugin, instance, s);
    std::vector<uint8_t> bytes = Update(plugin, instance, frame);
    plugin.destruct(instance);
    return bytes;
}

} // namespace frei0rtest
