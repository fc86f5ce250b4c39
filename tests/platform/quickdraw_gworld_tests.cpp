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

// The seam counts pixel reserves, and a reserve's images even when a kept buffer serves them.
TEST_F(AllocationSeam, FailsReservesAndTheirImages) {
    MemTestFailAllocation(1);
    EXPECT_EQ(NewPixelReserve(), nullptr);
    PixelReserveRef reserve = NewPixelReserve();
    ASSERT_NE(reserve, nullptr);
    const Rect bounds = MakeRect(0, 0, 8, 8);
    GWorldPtr world = nullptr;
    ASSERT_EQ(NewGWorldFromReserve(&world, &bounds, reserve, &bounds), noErr);
    DisposeGWorld(world); // kept by the reserve
    MemTestFailAllocation(1);
    EXPECT_EQ(NewGWorldFromReserve(&world, &bounds, reserve, &bounds), memFullErr);
    EXPECT_EQ(world, nullptr);
    DisposePixelReserve(reserve);
}

// An image made from a reserve, with its pixels as bytes.
struct ReservedImage {
    GWorldPtr world = nullptr;
    uint8_t* base() const {
        return reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(world)));
    }
    long rowBytes() const { return GetPixRowBytes(GetGWorldPixMap(world)); }
};

ReservedImage FromReserve(PixelReserveRef reserve, const Rect& bounds, const Rect* filled) {
    ReservedImage image;
    EXPECT_EQ(NewGWorldFromReserve(&image.world, &bounds, reserve, filled), noErr);
    return image;
}

// A reserve's disposed image leaves its buffer for the reserve's next image of that size, which
// finds zero only outside the part its maker said it fills (row padding included) and the
// earlier pixels inside it; a buffer is never handed to two live images.
TEST(PixelReserve, ADisposedImagesBufferServesTheNextWithOnlyTheUnfilledPartZeroed) {
    PixelReserveRef reserve = NewPixelReserve();
    ASSERT_NE(reserve, nullptr);
    const Rect bounds = MakeRect(0, 0, 13, 7);
    const ReservedImage first = FromReserve(reserve, bounds, &bounds);
    const long rowBytes = first.rowBytes();
    std::fill(first.base(), first.base() + rowBytes * 7, 0xAB);
    uint8_t* const kept = first.base();
    DisposeGWorld(first.world);

    const Rect filled = MakeRect(2, 1, 9, 5); // columns 2 to 8 of rows 1 to 4
    const ReservedImage second = FromReserve(reserve, bounds, &filled);
    ASSERT_EQ(second.base(), kept);
    for (long row = 0; row < 7; ++row) {
        for (long byte = 0; byte < rowBytes; ++byte) {
            const bool inside = row >= 1 && row < 5 && byte >= 2 * 4 && byte < 9 * 4;
            ASSERT_EQ(second.base()[row * rowBytes + byte], inside ? 0xAB : 0)
                << "row " << row << ", byte " << byte;
        }
    }
    const ReservedImage third = FromReserve(reserve, bounds, nullptr);
    EXPECT_NE(third.base(), kept) << "a buffer given to two live images";
    EXPECT_EQ(std::count(third.base(), third.base() + rowBytes * 7, 0), rowBytes * 7);
    DisposeGWorld(second.world);
    DisposeGWorld(third.world);
    DisposePixelReserve(reserve);
}

#if defined(__SANITIZE_ADDRESS__)
// A buffer kept by a reserve is poisoned, so a stale pointer into a disposed image is still
// caught.
TEST(PixelReserveDeathTest, AKeptBufferIsPoisoned) {
    PixelReserveRef reserve = NewPixelReserve();
    const Rect bounds = MakeRect(0, 0, 5, 5);
    const ReservedImage image = FromReserve(reserve, bounds, &bounds);
    volatile uint8_t* stale = image.base();
    DisposeGWorld(image.world);
    EXPECT_DEATH(stale[0] = 1, "use-after-poison");
    DisposePixelReserve(reserve);
}
#endif

} // namespace
