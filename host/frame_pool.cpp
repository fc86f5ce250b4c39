// Lending, finding and taking back the host's frame images.
#include "frame_pool.h"
#include "host_error.h"

#include <algorithm>
#include <string>

namespace reelhost {

void FramePool::ThrowAtLimit() const {
    throw HostError("the plug-in holds " + std::to_string(limit_) +
                    " frames without giving them back");
}

FramePool::PooledImage& FramePool::Acquire(int width, int height) {
    PooledImage* spare = nullptr;
    for (PooledImage& pooled : images_) {
        if (pooled.cookie != 0) continue;
        if (pooled.width == width && pooled.height == height) return pooled;
        spare = &pooled;
    }
    if (!spare) {
        if (int(images_.size()) >= limit_) ThrowAtLimit();
        spare = &images_.emplace_back();
    }
    // A returned image of another size is replaced rather than kept beside the new one.
    spare->image.reset();
    spare->width = spare->height = 0;
    spare->image = MakeImage(width, height);
    spare->width = width;
    spare->height = height;
    return *spare;
}

void* FramePool::Lend(PooledImage& pooled, int64_t movieFrame) {
    pooled.cookie = reinterpret_cast<uintptr_t>(NewCookie());
    pooled.movieFrame = movieFrame;
    return reinterpret_cast<void*>(pooled.cookie);
}

void* FramePool::NewCookie() {
    return reinterpret_cast<void*>(nextCookie_++);
}

void FramePool::AdoptLent(GWorldHolder image, void* cookie, int64_t movieFrame) {
    // A returned image makes room rather than the pool outgrowing its limit.
    const auto spare = std::find_if(images_.begin(), images_.end(),
                                    [](const PooledImage& pooled) { return pooled.cookie == 0; });
    if (int(images_.size()) >= limit_ && spare != images_.end()) images_.erase(spare);
    const PixelView view = ViewOf(image.get());
    PooledImage& pooled = images_.emplace_back();
    pooled.image = std::move(image);
    pooled.width = view.Width();
    pooled.height = view.Height();
    pooled.cookie = reinterpret_cast<uintptr_t>(cookie);
    pooled.movieFrame = movieFrame;
    // Kept even then: the plug-in may still touch it before the render ends.
    if (LentCount() > limit_) ThrowAtLimit();
}

int FramePool::IndexOf(const void* cookie) const {
    const auto serial = reinterpret_cast<uintptr_t>(cookie);
    for (size_t i = 0; i < images_.size(); ++i)
        if (serial != 0 && images_[i].cookie == serial) return int(i);
    return -1;
}

const FramePool::PooledImage* FramePool::Find(const void* cookie) const {
    const int index = IndexOf(cookie);
    return index < 0 ? nullptr : &images_[size_t(index)];
}

bool FramePool::GiveBack(const void* cookie) {
    const int index = IndexOf(cookie);
    if (index < 0) return false;
    images_[size_t(index)].cookie = 0;
    images_[size_t(index)].movieFrame = -1;
    return true;
}

int FramePool::LentCount() const {
    return int(std::count_if(images_.begin(), images_.end(),
                             [](const PooledImage& pooled) { return pooled.cookie != 0; }));
}

} // namespace reelhost
