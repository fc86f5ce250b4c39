// The images the host lends the plug-in from GetFrame, each known by a cookie until given back.
#pragma once

#include "gworld.h"

#include <cstdint>
#include <vector>

namespace reelhost {

// Returned images are kept and lent again, so a render allocates its frames once. A cookie
// is a serial number, never an address: a stale or invented one is recognised, not followed.
class FramePool {
  public:
    // One image of the pool with what it is lent for: the cookie and the movie frame.
    struct PooledImage {
        GWorldHolder image;
        int width = 0;
        int height = 0;
        uintptr_t cookie = 0; // 0 while in the pool
        int64_t movieFrame = -1;
    };

    // At most `limit` images exist at once, so a plug-in that never gives frames back
    // cannot make the host grow without bound.
    explicit FramePool(int limit = 8) : limit_(limit) {}

    // An image of the size that is not lent out, reused when possible. Throws HostError when
    // `limit` images are all lent out or memory runs out.
    PooledImage& Acquire(int width, int height);
    // Lends an acquired image for `movieFrame`; answers its new cookie.
    void* Lend(PooledImage& pooled, int64_t movieFrame);
    // A cookie for an image lent from elsewhere, never equal to any other cookie.
    void* NewCookie();
    // Takes over `image`, lent from elsewhere under `cookie` and not given back: it stays lent
    // until ReleaseFrame. Throws HostError (keeping the image) when more than `limit` images
    // are then lent out.
    void AdoptLent(GWorldHolder image, void* cookie, int64_t movieFrame);
    // The image lent under `cookie`, or null.
    const PooledImage* Find(const void* cookie) const;
    // False when `cookie` is not lent out (unknown, or given back already).
    bool GiveBack(const void* cookie);
    int LentCount() const;

  private:
    int IndexOf(const void* cookie) const; // -1 when not lent out
    [[noreturn]] void ThrowAtLimit() const;

    int limit_;
    uintptr_t nextCookie_ = 1;
    std::vector<PooledImage> images_;
};

} // namespace reelhost
