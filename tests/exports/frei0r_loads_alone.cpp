// Loads the frei0r plug-in into a process that has no platform library and no Qt, as FFmpeg
// does, renders one frame, and checks that loading it brought in neither.
// Usage: frei0r_loads_alone PLUGIN. Exit status 0 when all holds, 1 with the reason otherwise.
extern "C" {
#include <frei0r.h>
}

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& why) {
    std::fprintf(stderr, "frei0r_loads_alone: %s\n", why.c_str());
    return 1;
}

// A mapped file of this process whose name says it is Qt or one of our platform libraries.
std::string ForbiddenMapping() {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        for (const char* name : {"libQt", "libmacplatform", "libmactoolbox"})
            if (line.find(name) != std::string::npos) return line;
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return Fail("usage: frei0r_loads_alone PLUGIN");
    if (!ForbiddenMapping().empty()) return Fail("this program itself maps " + ForbiddenMapping());
    void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!plugin) return Fail(dlerror());
    auto construct = reinterpret_cast<decltype(&f0r_construct)>(dlsym(plugin, "f0r_construct"));
    auto update = reinterpret_cast<decltype(&f0r_update)>(dlsym(plugin, "f0r_update"));
    auto destruct = reinterpret_cast<decltype(&f0r_destruct)>(dlsym(plugin, "f0r_destruct"));
    auto setParam =
        reinterpret_cast<decltype(&f0r_set_param_value)>(dlsym(plugin, "f0r_set_param_value"));
    if (!construct || !update || !destruct || !setParam) return Fail("a frei0r call is missing");

    // Offset slider 100 whitens the whole frame: 0x10 becomes 0xFF, alpha (the last byte) kept.
    f0r_instance_t instance = construct(8, 8);
    double offset = 1.0;
    setParam(instance, &offset, 5);
    std::vector<uint32_t> in(64, 0x10101010u), out(64, 0);
    update(instance, 0, in.data(), out.data());
    destruct(instance);
    const uint8_t* first = reinterpret_cast<const uint8_t*>(out.data());
    if (first[0] != 0xFF || first[1] != 0xFF || first[2] != 0xFF || first[3] != 0x10)
        return Fail("the frame was not rendered");
    if (!ForbiddenMapping().empty()) return Fail("loading it mapped " + ForbiddenMapping());
    dlclose(plugin);
    return 0;
}
