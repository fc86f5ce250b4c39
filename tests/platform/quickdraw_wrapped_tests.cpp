// Images around a caller's pixels in another byte order: what NewGWorldFromPtr accepts, that the
// caller keeps the buffer, and that copies and drawing put each channel where the format wants.
#include "quickdraw_testing.h"

#include <array>
#include <vector>

using qdtest::MakeRect;
using qdtest::ScopedCurrentPort;
using qdtest::ScopedGWorld;

namespace {

using Pixel = std::array<uint8_t, 4>;

// A caller's buffer of `width` x `height` pixels with `padding` spare bytes after each row.
struct Buffer {
    int width, height;
    long rowBytes;
    std::vector<uint8_t> bytes;
    Buffer(int w, int h, long padding = 0)
        : width(w), height(h), rowBytes(w * 4 + padding), bytes(size_t(rowBytes) * h, 0xEE) {}
    Pixel At(int x, int y) const {
        const uint8_t* p = bytes.data() + y * rowBytes + x * 4;
        return {p[0], p[1], p[2], p[3]};
    }
    void Put(int x, int y, Pixel v) {
        std::copy(v.begin(), v.end(), bytes.begin() + y * rowBytes + x * 4);
    }
};

// The buffer as an image of `format`, disposed at the end of the scope.
class Wrapped {
  public:
    Wrapped(Buffer& buffer, OSType format) {
        const Rect bounds = MakeRect(0, 0, buffer.width, buffer.height);
        EXPECT_EQ(NewGWorldFromPtr(&world_, format, &bounds, nullptr, nullptr, 0,
                                   reinterpret_cast<Ptr>(buffer.bytes.data()), buffer.rowBytes),
                  noErr);
    }
    ~Wrapped() { DisposeGWorld(world_); }
    GWorldPtr get() const { return world_; }
    const BitMap* bits() const { return GetPortBitMapForCopyBits(world_); }

  private:
    GWorldPtr world_ = nullptr;
};

QDErr TryWrap(OSType format, const Rect* bounds, Ptr buffer, long rowBytes) {
    GWorldPtr world = reinterpret_cast<GWorldPtr>(&world); // must be overwritten
    const QDErr err =
        NewGWorldFromPtr(&world, format, bounds, nullptr, nullptr, 0, buffer, rowBytes);
    EXPECT_EQ(world, nullptr);
    return err;
}

TEST(NewGWorldFromPtr, RefusesWhatCannotBeAnImageAndNeverTakesTheBuffer) {
    Buffer buffer(6, 3, 8);
    Ptr base = reinterpret_cast<Ptr>(buffer.bytes.data());
    const Rect bounds = MakeRect(0, 0, 6, 3);
    EXPECT_EQ(TryWrap(FOUR_CHAR_CODE("YUV2"), &bounds, base, 32), paramErr);
    EXPECT_EQ(TryWrap(k32RGBAPixelFormat, &bounds, nullptr, 32), paramErr);
    EXPECT_EQ(TryWrap(k32RGBAPixelFormat, &bounds, base, 23), paramErr); // below 4 x width
    EXPECT_EQ(TryWrap(k32RGBAPixelFormat, nullptr, base, 32), paramErr);
    const Rect inverted = MakeRect(6, 0, 0, 3);
    EXPECT_EQ(TryWrap(k32RGBAPixelFormat, &inverted, base, 32), paramErr);
    EXPECT_EQ(NewGWorldFromPtr(nullptr, k32RGBAPixelFormat, &bounds, nullptr, nullptr, 0, base, 32),
              paramErr);

    const std::vector<uint8_t> before = buffer.bytes;
    for (OSType format : {k32ARGBPixelFormat, k32BGRAPixelFormat, k32RGBAPixelFormat}) {
        Wrapped image(buffer, format);
        PixMapHandle map = GetGWorldPixMap(image.get());
        EXPECT_EQ(GetPixBaseAddr(map), base);
        EXPECT_EQ(GetPixRowBytes(map), 32);
        EXPECT_EQ(GetPixPixelFormat(map), format);
    }
    // Disposing gave nothing back to the image pool: the bytes are the caller's, unchanged.
    EXPECT_EQ(buffer.bytes, before);
    ScopedGWorld own(2, 2);
    EXPECT_EQ(GetPixPixelFormat(GetGWorldPixMap(own.get())), k32ARGBPixelFormat);
    EXPECT_EQ(GetPixPixelFormat(nullptr), 0u);
}

struct FormatCase {
    const char* name;
    OSType format;
    Pixel bytes; // alpha 0x11, red 0x22, green 0x33, blue 0x44 in this format
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

class AcrossFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(AcrossFormats, CopyBitsAndDrawingPutEachChannelWhereTheFormatKeepsIt) {
    const FormatCase& c = GetParam();
    const Pixel argb = {0x11, 0x22, 0x33, 0x44};
    ScopedGWorld source(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            std::copy(argb.begin(), argb.end(), source.base() + y * source.rowBytes() + x * 4);

    Buffer buffer(6, 4, 4);
    Wrapped image(buffer, c.format);
    const Rect all = MakeRect(0, 0, 3, 2), scaled = MakeRect(0, 0, 6, 4);
    CopyBits(source.bits(), image.bits(), &all, &all, srcCopy, nullptr);
    EXPECT_EQ(buffer.At(2, 1), c.bytes);
    CopyBits(source.bits(), image.bits(), &all, &scaled, srcCopy, nullptr); // scaled path
    EXPECT_EQ(buffer.At(5, 3), c.bytes);

    // And back: the image's pixels return to ARGB order.
    ScopedGWorld back(6, 4);
    CopyBits(image.bits(), back.bits(), &scaled, &scaled, srcCopy, nullptr);
    EXPECT_EQ(Pixel({back.base()[0], back.base()[1], back.base()[2], back.base()[3]}), argb);

    ScopedCurrentPort port(image.get());
    const RGBColor colour = {0x2200, 0x3300, 0x4400};
    RGBForeColor(&colour);
    const Rect one = MakeRect(1, 1, 2, 2);
    PaintRect(&one);
    Pixel painted = c.bytes;
    for (uint8_t& b : painted)
        b = b == 0x11 ? 0xFF : b; // drawing is opaque
    EXPECT_EQ(buffer.At(1, 1), painted);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AcrossFormats,
    testing::Values(FormatCase{"ARGB", k32ARGBPixelFormat, {0x11, 0x22, 0x33, 0x44}},
                    FormatCase{"BGRA", k32BGRAPixelFormat, {0x44, 0x33, 0x22, 0x11}},
                    FormatCase{"RGBA", k32RGBAPixelFormat, {0x22, 0x33, 0x44, 0x11}}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST(AcrossFormats, AShiftedCopyWithinOneBufferReadsEveryPixelBeforeItIsOverwritten) {
    Buffer buffer(5, 1);
    for (int x = 0; x < 5; ++x)
        buffer.Put(x, 0, {uint8_t(x), uint8_t(10 + x), uint8_t(20 + x), uint8_t(30 + x)});
    const Buffer original = buffer;
    Wrapped rgba(buffer, k32RGBAPixelFormat), bgra(buffer, k32BGRAPixelFormat);
    const Rect from = MakeRect(0, 0, 4, 1), to = MakeRect(1, 0, 5, 1);
    CopyBits(rgba.bits(), bgra.bits(), &from, &to, srcCopy, nullptr);
    // RGBA (r, g, b, a) becomes BGRA (b, g, r, a), one pixel to the right.
    EXPECT_EQ(buffer.At(0, 0), original.At(0, 0));
    for (int x = 1; x < 5; ++x) {
        const Pixel in = original.At(x - 1, 0);
        EXPECT_EQ(buffer.At(x, 0), Pixel({in[2], in[1], in[0], in[3]})) << x;
    }
}

} // namespace
