// Making offscreen images and reading their pixel layout through the platform.
#include "gworld.h"
#include "host_error.h"

#include <string>

namespace reelhost {

GWorldHolder MakeImage(int width, int height) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width <= 0 || height <= 0 || width > kLargestImageSide || height > kLargestImageSide)
        throw HostError("cannot make an image of " + size + " pixels");
    const Rect bounds = MakeRect(width, height);
    GWorldPtr world = nullptr;
    const QDErr err = NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0);
    GWorldHolder holder(world);
    if (err != noErr || !holder)
        throw HostError("not enough memory for an image of " + size + " pixels (error " +
                        std::to_string(err) + ")");
    LockPixels(GetGWorldPixMap(world));
    return holder;
}

PixelView ViewOf(PixMapHandle map) {
    PixelView view;
    if (!map) return view;
    view.base = reinterpret_cast<uint8_t*>(GetPixBaseAddr(map));
    view.rowBytes = GetPixRowBytes(map);
    GetPixBounds(map, &view.bounds);
    return view;
}

PixelView ViewOf(GWorldPtr world) {
    return world ? ViewOf(GetGWorldPixMap(world)) : PixelView{};
}

} // namespace reelhost
