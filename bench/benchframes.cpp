// Kept random frames and the memcpy yardstick over them.
#include "benchframes.h"

#include "figures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

namespace {

void FillRandom(GWorldPtr image) {
    static std::mt19937 rng(2024);
    auto* bytes = reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(image)));
    const size_t count = PixelBytes(image);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = uint8_t(rng() >> 24);
}

} // namespace

std::string FrameSize::Label() const {
    return std::to_string(width) + "x" + std::to_string(height);
}

GWorldPtr KeptFrame(FrameSize size, int slot) {
    static std::map<std::tuple<int, int, int>, GWorldPtr> frames;
    GWorldPtr& frame = frames[{size.width, size.height, slot}];
    if (!frame) {
        const Rect bounds = {0, 0, size.height, size.width};
        if (NewGWorld(&frame, 32, &bounds, nullptr, nullptr, 0) != noErr || !frame) {
            std::fprintf(stderr, "no memory for a %s frame\n", size.Label().c_str());
            std::exit(1);
        }
        FillRandom(frame);
    }
    return frame;
}

size_t PixelBytes(GWorldPtr image) {
    Rect bounds;
    GetPortBounds(image, &bounds);
    return size_t(GetPixRowBytes(GetGWorldPixMap(image))) * size_t(bounds.bottom - bounds.top);
}

std::string AddFrameBaseline(FrameSize size) {
    const std::string name = "memcpy/" + size.Label();
    const size_t bytes = size_t(size.width) * size_t(size.height) * 4;
    figures::AddBaseline(name, bytes, [size](benchmark::State& state) {
        GWorldPtr from = KeptFrame(size, kSourceFrame), to = KeptFrame(size, kDestFrame);
        const void* src = GetPixBaseAddr(GetGWorldPixMap(from));
        void* dst = GetPixBaseAddr(GetGWorldPixMap(to));
        const size_t count = PixelBytes(from);
        figures::Measure(state, [&] { std::memcpy(dst, src, count); });
    });
    return name;
}
