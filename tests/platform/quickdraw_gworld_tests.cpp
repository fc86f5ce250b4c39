// Tests of offscreen images: layout, lock state, the current port and allocation failures.
#include "MacMemory.h"
#include "quickdraw_testing.h"
#include "PlatformTestHooks.h"

#include <algorithm>
#include <optional>

using qdtest::MakeRect;
using qdtest::ScopedCurrentPort;
using qdtest::ScopedGWorld;

namespace {

GWorldPtr Make(const Rect& bounds, QDErr expected = noErr, int16_t depth = 32) {
    GWorldPtr world = reinterpret_cast<GWorldPtr>(&world); // must be overwritten
    EXPECT_EQ(NewGWorld(&world, depth, &bounds, nullptr, nullptr, 0), expected);
    if (expected != noErr) {
        EXPECT_EQ(world, nullptr);
    }
    return world;
}

TEST(NewGWorld, RejectsBadArguments) {
    Make(MakeRect(0, 0, 4, 4), paramErr, 16);
    Make(MakeRect(0, 0, 4, 4), paramErr, 0);
    Make(MakeRect(3, 0, 3, 4), paramErr);
    Make(MakeRect(5, 5, 1, 1), paramErr);
    Make(MakeRect(-32768, -32768, 32767, 32767), memFullErr); // absurd: refused, not attempted
    const Rect bounds = MakeRect(0, 0, 1, 1);
    GWorldPtr world = nullptr;
    EXPECT_EQ(NewGWorld(&world, 32, nullptr, nullptr, nullptr, 0), paramErr);
    EXPECT_EQ(NewGWorld(nullptr, 32, &bounds, nullptr, nullptr, 0), paramErr);
}

class ImageLayout : public testing::TestWithParam<Rect> {};

// Row bytes are the packed width rounded up to 16, the base is 32-byte aligned, the pixels
// start zero and unlocked, and pixel (x, y) lives at base + (y - top) * rowBytes + (x - left) * 4
// even when the bounds do not start at (0, 0).
TEST_P(ImageLayout, FollowsTheDocumentedLayout) {
    const Rect b = GetParam();
    ScopedGWorld image(b);
    const long packed = 4L * (b.right - b.left);
    EXPECT_TRUE(image.rowBytes() % 16 == 0 && image.rowBytes() >= packed &&
                image.rowBytes() < packed + 16);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image.base()) % 32, 0u);
    EXPECT_EQ(GetPixelsState(GetGWorldPixMap(image.get())), 0u);
    EXPECT_EQ(std::count(image.base(), image.base() + image.byteCount(), 0),
              long(image.byteCount()));
    Rect kept;
    GetPortBounds(image.get(), &kept);
    EXPECT_TRUE(EqualRect(&kept, &b));

    ScopedCurrentPort current(image.get());
    const Rect lastPixel = MakeRect(b.right - 1, b.bottom - 1, b.right, b.bottom);
    PaintRect(&lastPixel);
    const long offset = (b.bottom - 1 - b.top) * image.rowBytes() + (b.right - 1 - b.left) * 4;
    EXPECT_EQ(image.base()[offset], 0xFF);
    EXPECT_EQ(std::count(image.base(), image.base() + image.byteCount(), 0xFF), 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImageLayout,
                         testing::Values(MakeRect(0, 0, 1, 1), MakeRect(0, 0, 3, 2),
                                         MakeRect(0, 0, 4, 4), MakeRect(0, 0, 13, 7),
                                         MakeRect(-7, 5, 10, 6), MakeRect(20, -3, 980, 537)));

TEST(ImageLock, SavedStateRestoresEitherWayAndNullIsIgnored) {
    ScopedGWorld image(4, 4);
    const PixMapHandle map = GetGWorldPixMap(image.get());
    for (const GWorldFlags before :
         {0u, GWorldFlags(pixelsLocked), GWorldFlags(pixelsLocked | pixelsPurgeable)}) {
        SetPixelsState(map, before);
        const GWorldFlags saved = GetPixelsState(map);
        EXPECT_TRUE(LockPixels(map));
        EXPECT_TRUE(GetPixelsState(map) & pixelsLocked);
        SetPixelsState(map, saved);
        EXPECT_EQ(GetPixelsState(map), before);
    }
    UnlockPixels(map);
    EXPECT_FALSE(GetPixelsState(map) & pixelsLocked);
    EXPECT_FALSE(LockPixels(nullptr));
    EXPECT_EQ(GetPixelsState(nullptr), 0u);
    EXPECT_EQ(GetPixBaseAddr(GetGWorldPixMap(nullptr)), nullptr);
}

TEST(CurrentPort, PortAndGWorldAreOneAndDisposingItClearsIt) {
    ScopedGWorld first(2, 2);
    std::optional<ScopedGWorld> second(std::in_place, 3, 3);
    ScopedCurrentPort saved(first.get());
    GrafPtr port = nullptr;
    GetPort(&port);
    EXPECT_EQ(port, first.get());
    SetPort(second->get());
    CGrafPtr world = nullptr;
    GDHandle device = reinterpret_cast<GDHandle>(&port);
    GetGWorld(&world, &device);
    EXPECT_EQ(world, second->get());
    EXPECT_EQ(device, nullptr); // there is no graphics device
    second.reset();
    GetPort(&port);
    EXPECT_EQ(port, nullptr);
}

class AllocationSeam : public testing::Test {
  protected:
    void TearDown() override { MemTestFailAllocation(0); }
};

// The seam counts memory blocks and images together and fails only the counted one.
TEST_F(AllocationSeam, FailsTheCountedImageOnly) {
    const Rect bounds = MakeRect(0, 0, 8, 8);
    MemTestFailAllocation(2);
    const Ptr block = NewPtr(16);
    EXPECT_NE(block, nullptr);
    Make(bounds, memFullErr);
    DisposeGWorld(Make(bounds));
    DisposePtr(block);
}

// A disposed image's buffer serves the next image of its size, zeroed like a new one, and is
// never handed to two live images.
TEST(PixelPool, RecycledBuffersAreZeroedAndNeverShared) {
    std::optional<ScopedGWorld> first(std::in_place, 13, 7);
    first->fillPattern(4);
    uint8_t* const recycled = first->base();
    first.reset();
    ScopedGWorld second(13, 7), third(13, 7);
    EXPECT_EQ(second.base(), recycled);
    EXPECT_NE(third.base(), recycled);
    EXPECT_EQ(std::count(second.base(), second.base() + second.byteCount(), 0),
              long(second.byteCount()));
}

#if defined(__SANITIZE_ADDRESS__)
// A parked buffer is poisoned, so a stale pointer into a disposed image is still caught.
TEST(PixelPoolDeathTest, ParkedBufferIsPoisoned) {
    const GWorldPtr world = Make(MakeRect(0, 0, 5, 5));
    volatile char* stale = GetPixBaseAddr(GetGWorldPixMap(world));
    DisposeGWorld(world);
    EXPECT_DEATH(stale[0] = 1, "use-after-poison");
}
#endif

} // namespace
