// The current port's colours, pen, clip and the few shapes drawn with them.
#include "quickdraw/oval.h"
#include "quickdraw/qdport.h"

#include <cstring>

namespace {

// A colour as it lies in an image: opaque, each 16-bit channel reduced to its high byte.
struct PixelBytes {
    uint8_t bytes[kBytesPerPixel];
};

PixelBytes BytesOf(const RGBColor& color, OSType pixelFormat) {
    ChannelOrder order{};
    ChannelOrderOf(pixelFormat, &order); // every image is made with a known format
    PixelBytes pixel{};
    pixel.bytes[order.alpha] = 0xFF;
    pixel.bytes[order.red] = uint8_t(color.red >> 8);
    pixel.bytes[order.green] = uint8_t(color.green >> 8);
    pixel.bytes[order.blue] = uint8_t(color.blue >> 8);
    return pixel;
}

void FillBox(const GrafPort& port, const PixelBox& area, const RGBColor& color) {
    const PixelBox box = qd::ClipToPort(port, area);
    if (EmptyPixelBox(box)) return;
    const PixelBytes pixel = BytesOf(color, port.pixMap.pixelFormat);
    for (int y = box.top; y < box.bottom; ++y) {
        uint8_t* out = qd::PixelAddress(port.pixMap, box.left, y);
        for (int x = 0; x < PixelBoxWidth(box); ++x) {
            std::memcpy(out + std::ptrdiff_t(x) * kBytesPerPixel, pixel.bytes, kBytesPerPixel);
        }
    }
}

// The pen is always solid, so patCopy and srcOr paint the same: a solid pattern has no
// background pixels for srcOr to leave alone, and the foreground covers every pixel it draws.
void FillWithPen(const PixelBox& area) {
    if (const GrafPtr port = qd::CurrentPort()) FillBox(*port, area, port->foreColor);
}

// One row of an oval's ring, as one run or as its two ends either side of the hole.
void FrameOvalRow(const PixelBox& box, const qd::InscribedOval& oval, int y) {
    const int row = y - box.top;
    const int width = PixelBoxWidth(box);
    const int inset = oval.RowInset(row);
    const int innerBegin = oval.RingInnerBegin(row);
    if (2 * innerBegin >= width) {
        FillWithPen(
            {.top = y, .left = box.left + inset, .bottom = y + 1, .right = box.right - inset});
        return;
    }
    FillWithPen(
        {.top = y, .left = box.left + inset, .bottom = y + 1, .right = box.left + innerBegin});
    FillWithPen(
        {.top = y, .left = box.right - innerBegin, .bottom = y + 1, .right = box.right - inset});
}

} // namespace

void RGBForeColor(const RGBColor* color) {
    const GrafPtr port = qd::CurrentPort();
    if (port && color) port->foreColor = *color;
}

void RGBBackColor(const RGBColor* color) {
    const GrafPtr port = qd::CurrentPort();
    if (port && color) port->backColor = *color;
}

// Without a current port, the colours a new port starts with.
void GetForeColor(RGBColor* color) {
    const GrafPtr port = qd::CurrentPort();
    if (color) *color = port ? port->foreColor : qd::kBlack;
}

void GetBackColor(RGBColor* color) {
    const GrafPtr port = qd::CurrentPort();
    if (color) *color = port ? port->backColor : qd::kWhite;
}

void PenMode(int16_t mode) {
    if (const GrafPtr port = qd::CurrentPort()) port->penMode = mode;
}

// The pen is always 1 x 1 and solid, so only the mode needs resetting.
void PenNormal(void) {
    PenMode(patCopy);
}

void PaintRect(const Rect* r) {
    if (r) FillWithPen(PixelBoxOf(*r));
}

void EraseRect(const Rect* r) {
    const GrafPtr port = qd::CurrentPort();
    if (port && r) FillBox(*port, PixelBoxOf(*r), port->backColor);
}

void FrameRect(const Rect* r) {
    if (!r) return;
    const PixelBox box = PixelBoxOf(*r);
    if (EmptyPixelBox(box)) return;
    FillWithPen({.top = box.top, .left = box.left, .bottom = box.top + 1, .right = box.right});
    FillWithPen(
        {.top = box.bottom - 1, .left = box.left, .bottom = box.bottom, .right = box.right});
    FillWithPen({.top = box.top, .left = box.left, .bottom = box.bottom, .right = box.left + 1});
    FillWithPen({.top = box.top, .left = box.right - 1, .bottom = box.bottom, .right = box.right});
}

void FrameOval(const Rect* r) {
    const GrafPtr port = qd::CurrentPort();
    if (!port || !r) return;
    const PixelBox box = PixelBoxOf(*r);
    if (EmptyPixelBox(box)) return;
    // Only the rows that can show are worked out: an oval may be far larger than its port.
    const PixelBox visible = qd::ClipToPort(*port, box);
    const qd::InscribedOval oval(PixelBoxWidth(box), PixelBoxHeight(box));
    for (int y = visible.top; y < visible.bottom; ++y)
        FrameOvalRow(box, oval, y);
}

void ClipRect(const Rect* r) {
    const GrafPtr port = qd::CurrentPort();
    if (port && r) port->clip = *r;
}

void GetClip(Rect* r) {
    const GrafPtr port = qd::CurrentPort();
    if (r) *r = port ? port->clip : Rect{0, 0, 0, 0};
}
