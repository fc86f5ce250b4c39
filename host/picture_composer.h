// Output pictures made of the clip's own decoded samples wherever the plug-in left a pixel as it
// was lent, and of the plug-in's A,R,G,B result where it changed one.
#pragma once

#include "changed_pixels.h"
#include "ffmpeg_holders.h"
#include "pixel_view.h"
#include "yuv_pixels.h"

#include <array>
#include <map>
#include <optional>
#include <vector>

namespace reelhost {

// What one output picture is made of.
struct PictureSources {
    PixelView rendered; // the frame in A,R,G,B; empty when it was never lent
    // The clip's decoded picture, when it was kept. When nothing else holds its buffers, the
    // changes are written into them and it goes out itself.
    AVFrame* source = nullptr;
    // With both: which pixels of `rendered` differ from those the plug-in was lent.
    const ChangedPixels* changed = nullptr;
};

// How a pixel format lays its samples out, for picking them pixel by pixel: per plane, the bytes
// of one element (a sample, or a whole pixel of a packed format) and the pixels it covers.
struct PlaneLayout {
    int elementBytes = 0;
    int shiftX = 0; // log2 of the pixels one element covers across
    int shiftY = 0; // and down
};
struct PictureLayout {
    int planes = 0;
    std::array<PlaneLayout, 4> plane{};
};
// Nothing for formats whose elements are shared by pixels of different colour samples (packed
// 4:2:2), bits (1-bit), palettes or hardware frames.
std::optional<PictureLayout> LayoutOf(AVPixelFormat format);

// Makes the pictures of one output: `format` in `colours`, width x height, which is the top-left
// part of the pictures handed in (a format that cannot hold an odd side leaves the last column or
// row out). One composer per output; Compose runs on one thread, TakesSource on any.
class PictureComposer {
  public:
    PictureComposer(AVPixelFormat format, const YuvColours& colours, int width, int height);

    // True when the untouched pixels of `source` can come from its own samples: the output's
    // layout can be picked pixel by pixel, and the source is at least the output's size and
    // converts straight to the output's format.
    bool TakesSource(const AVFrame& source) const;

    // The output picture of one frame, valid until the next call; an encoder may keep a
    // reference to it. Without a source every pixel comes from `rendered`. With one, pixels the
    // plug-in left alone are the source's samples (converted straight to the output's format
    // where it differs), and only the rows that hold changes are converted from `rendered`; a
    // colour sample keeps the source's value unless a pixel it covers changed. A source the
    // output takes as it is goes out without a copy when nothing changed, or when nothing else
    // holds its buffers (the changes are then written into them).
    AVFrame& Compose(const PictureSources& sources);

  private:
    bool SameSamples(const AVFrame& source) const;
    void ShareSamples(const AVFrame& source);
    void ConvertStraight(const AVFrame& source, AVFrame& into);
    void ConvertRendered(const PixelView& rendered, int firstRow, int endRow, AVFrame& into);
    SwsContext& RenderedScaler(int rows);
    void Merge(const PixelView& rendered, const ChangedPixels* changed, const AVFrame& base,
               AVFrame& out);
    void MergePlane(int plane, const ChangedPixels* changed, const AVFrame& base, AVFrame& out);
    AVFrame& Rows(AVFrame& frame, int firstRow, int endRow);

    AVPixelFormat format_;
    YuvColours colours_;
    int width_;
    int height_;
    std::optional<PictureLayout> layout_;
    bool exact_;                            // the exact 8-bit converters take the rendered pixels
    FramePtr picture_;                      // what Compose makes, when it makes one
    FramePtr shared_;                       // a source handed on as it is
    FramePtr converted_;                    // rows of the rendered frame in the output's format
    FramePtr rows_;                         // a window onto some rows of a picture; owns nothing
    std::map<int, SwsPtr> renderedScalers_; // by the number of rows they convert
    SwsPtr straight_;
    int straightFormat_ = AV_PIX_FMT_NONE;
    YuvColours straightColours_;
    std::vector<uint8_t> elementMarks_;
};

} // namespace reelhost
