// Output pictures from the source's own samples and the plug-in's changes, plane by plane.
#include "picture_composer.h"
#include "frame_scaler.h"
#include "vector_clones.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace reelhost {
namespace {

// Rows are converted back in whole blocks of this many, which keeps every colour sample's rows
// together (at most 4 in any format) and the number of band sizes a render sees small.
constexpr int kBlockRows = 16;
// Bands of other sizes than these many are forgotten rather than kept for ever.
constexpr size_t kKeptScalers = 8;
// The rendered pixels into the output's format: each colour sample the mean of the pixels it
// covers, as the exact converters do.
constexpr int kFromRenderedFlags = SWS_AREA | SWS_ACCURATE_RND;
// The source into another format, as a plain transcode converts it.
constexpr int kStraightFlags = SWS_BICUBIC | SWS_ACCURATE_RND;

int CeilShift(int value, int shift) {
    return -((-value) >> shift);
}

// Copies the elements whose mask is set, [first, end) of one row.
template <typename Element>
VECTOR_CLONES void CopyMarked(const uint8_t* __restrict from, uint8_t* __restrict into,
                              const uint8_t* __restrict mask, int first, int end) {
    for (int e = first; e < end; ++e) {
        Element in, out;
        std::memcpy(&in, from + size_t(e) * sizeof(Element), sizeof in);
        std::memcpy(&out, into + size_t(e) * sizeof(Element), sizeof out);
        out = mask[e] ? in : out;
        std::memcpy(into + size_t(e) * sizeof(Element), &out, sizeof out);
    }
}

void CopyMarkedElements(int bytes, const uint8_t* from, uint8_t* into, const uint8_t* mask,
                        int first, int end) {
    switch (bytes) {
    case 1:
        return CopyMarked<uint8_t>(from, into, mask, first, end);
    case 2:
        return CopyMarked<uint16_t>(from, into, mask, first, end);
    case 4:
        return CopyMarked<uint32_t>(from, into, mask, first, end);
    default:
        for (int e = first; e < end; ++e)
            if (mask[e])
                std::memcpy(into + size_t(e) * bytes, from + size_t(e) * bytes, size_t(bytes));
    }
}

} // namespace

std::optional<PictureLayout> LayoutOf(AVPixelFormat format) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    constexpr uint64_t kUnpickable = AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL |
                                     AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER;
    if (!desc || (desc->flags & kUnpickable)) return std::nullopt;
    const bool subsampled = desc->log2_chroma_w || desc->log2_chroma_h;
    if (subsampled && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)) return std::nullopt;
    PictureLayout layout;
    layout.planes = av_pix_fmt_count_planes(format);
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor& component = desc->comp[c];
        PlaneLayout& plane = layout.plane[size_t(component.plane)];
        if (component.step <= 0 || (plane.elementBytes && plane.elementBytes != component.step))
            return std::nullopt;
        plane.elementBytes = component.step;
        const bool colour = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && (c == 1 || c == 2);
        if (colour) {
            plane.shiftX = desc->log2_chroma_w;
            plane.shiftY = desc->log2_chroma_h;
        }
    }
    return layout;
}

PictureComposer::PictureComposer(AVPixelFormat format, const YuvColours& colours, int width,
                                 int height)
    : format_(format), colours_(colours), width_(width), height_(height), layout_(LayoutOf(format)),
      exact_(HandlesExactly(format, width, height, colours.matrix)),
      picture_(MakePicture(format, width, height)), shared_(MakeFrame()), rows_(MakeFrame()) {
    if (layout_) converted_ = MakePicture(format, width, height);
}

bool PictureComposer::TakesSource(const AVFrame& source) const {
    if (!layout_ || source.width < width_ || source.height < height_) return false;
    return SameSamples(source) || sws_isSupportedInput(AVPixelFormat(source.format)) > 0;
}

bool PictureComposer::SameSamples(const AVFrame& source) const {
    return WithoutJpegRange(AVPixelFormat(source.format)) == format_;
}

AVFrame& PictureComposer::Compose(const PictureSources& sources) {
    if (!sources.source) {
        MakeReusable(*picture_);
        ConvertRendered(sources.rendered, 0, height_, *picture_);
        return *picture_;
    }
    const AVFrame& source = *sources.source;
    const bool untouched = sources.rendered.Empty() || sources.changed->None();
    if (untouched && SameSamples(source) && source.buf[0]) {
        ShareSamples(source);
        return *shared_;
    }
    MakeReusable(*picture_);
    if (SameSamples(source))
        av_image_copy(picture_->data, picture_->linesize, const_cast<const uint8_t**>(source.data),
                      source.linesize, format_, width_, height_);
    else
        ConvertStraight(source, *picture_);
    if (!untouched) MergeChanges(sources.rendered, *sources.changed);
    return *picture_;
}

void PictureComposer::ShareSamples(const AVFrame& source) {
    av_frame_unref(shared_.get());
    for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
        if (!source.buf[i]) continue;
        shared_->buf[i] = av_buffer_ref(source.buf[i]);
        if (!shared_->buf[i]) throw std::bad_alloc();
    }
    std::copy(std::begin(source.data), std::end(source.data), shared_->data);
    std::copy(std::begin(source.linesize), std::end(source.linesize), shared_->linesize);
    shared_->extended_data = shared_->data;
    shared_->format = format_;
    shared_->width = width_; // the top-left part, when the output leaves a column or row out
    shared_->height = height_;
}

void PictureComposer::ConvertStraight(const AVFrame& source, AVFrame& into) {
    const AVPixelFormat format = AVPixelFormat(source.format);
    if (format == AV_PIX_FMT_ARGB) { // the host's own pixels: the same converter as changes take
        const PixelView view{source.data[0], source.linesize[0], MakeRect(width_, height_)};
        ConvertRendered(view, 0, height_, into);
        return;
    }
    const YuvColours colours = ColoursOf(source);
    if (!straight_ || straightFormat_ != format || straightColours_.matrix != colours.matrix ||
        straightColours_.fullRange != colours.fullRange) {
        straight_.reset(sws_getContext(width_, height_, format, width_, height_, format_,
                                       kStraightFlags, nullptr, nullptr, nullptr));
        if (!straight_) throw std::bad_alloc();
        SetColours(*straight_, IsRgb(format) ? nullptr : &colours,
                   IsRgb(format_) ? nullptr : &colours_);
        straightFormat_ = format;
        straightColours_ = colours;
    }
    sws_scale(straight_.get(), source.data, source.linesize, 0, height_, into.data, into.linesize);
}

AVFrame& PictureComposer::Rows(AVFrame& frame, int firstRow, int endRow) {
    AVFrame& window = *rows_;
    window.format = frame.format;
    window.width = frame.width;
    window.height = endRow - firstRow;
    for (int p = 0; p < AV_NUM_DATA_POINTERS; ++p) {
        const int shift = layout_ && p < layout_->planes ? layout_->plane[size_t(p)].shiftY : 0;
        window.linesize[p] = frame.linesize[p];
        window.data[p] = frame.data[p]
                             ? frame.data[p] + std::ptrdiff_t(firstRow >> shift) * frame.linesize[p]
                             : nullptr;
    }
    return window;
}

void PictureComposer::ConvertRendered(const PixelView& rendered, int firstRow, int endRow,
                                      AVFrame& into) {
    const PixelView rows{rendered.Pixel(rendered.bounds.left, rendered.bounds.top + firstRow),
                         rendered.rowBytes, MakeRect(width_, endRow - firstRow)};
    AVFrame& window = Rows(into, firstRow, endRow);
    if (exact_) {
        ArgbToYuv(rows, colours_, window);
        return;
    }
    uint8_t* planes[4] = {rows.base};
    const int strides[4] = {int(rows.rowBytes)};
    sws_scale(&RenderedScaler(endRow - firstRow), planes, strides, 0, endRow - firstRow,
              window.data, window.linesize);
}

SwsContext& PictureComposer::RenderedScaler(int rows) {
    SwsPtr& scaler = renderedScalers_[rows];
    if (scaler) return *scaler;
    if (renderedScalers_.size() > kKeptScalers) {
        renderedScalers_.clear();
        return RenderedScaler(rows);
    }
    scaler.reset(sws_getContext(width_, rows, AV_PIX_FMT_ARGB, width_, rows, format_,
                                kFromRenderedFlags, nullptr, nullptr, nullptr));
    if (!scaler) throw std::bad_alloc();
    if (!IsRgb(format_)) SetColours(*scaler, nullptr, &colours_);
    return *scaler;
}

void PictureComposer::MergeChanges(const PixelView& rendered, const ChangedPixels& changed) {
    const int firstRow = changed.FirstRow() / kBlockRows * kBlockRows;
    const int endRow =
        std::min((changed.EndRow() + kBlockRows - 1) / kBlockRows * kBlockRows, height_);
    if (firstRow >= endRow) return; // the changes lie in a row the output leaves out
    ConvertRendered(rendered, firstRow, endRow, *converted_);
    for (int p = 0; p < layout_->planes; ++p)
        MergePlane(p, changed, firstRow, endRow);
}

void PictureComposer::MergePlane(int p, const ChangedPixels& changed, int firstRow, int endRow) {
    const PlaneLayout& plane = layout_->plane[size_t(p)];
    const int elements = CeilShift(width_, plane.shiftX);
    if (elementMask_.size() < size_t(elements)) elementMask_.resize(size_t(elements));
    for (int r = firstRow >> plane.shiftY; r < CeilShift(endRow, plane.shiftY); ++r) {
        const int top = r << plane.shiftY;
        const int bottom = std::min((r + 1) << plane.shiftY, height_);
        // The pixels this row of elements covers that changed, and the elements that hold them.
        int first = INT_MAX, end = 0;
        for (int y = top; y < bottom; ++y) {
            const RowChange& row = changed.Row(y);
            first = std::min(first, row.first);
            end = std::max(end, std::min(row.end, width_));
        }
        if (first >= end) continue;
        const uint8_t* mask = changed.Mask(top);
        if (plane.shiftX || plane.shiftY) {
            std::fill(elementMask_.begin() + (first >> plane.shiftX),
                      elementMask_.begin() + CeilShift(end, plane.shiftX), 0);
            for (int y = top; y < bottom; ++y) {
                const RowChange& row = changed.Row(y);
                const uint8_t* pixels = changed.Mask(y);
                for (int x = row.first; x < std::min(row.end, width_); ++x)
                    elementMask_[size_t(x >> plane.shiftX)] |= pixels[x];
            }
            mask = elementMask_.data();
        }
        CopyMarkedElements(plane.elementBytes,
                           converted_->data[p] + std::ptrdiff_t(r) * converted_->linesize[p],
                           picture_->data[p] + std::ptrdiff_t(r) * picture_->linesize[p], mask,
                           first >> plane.shiftX, CeilShift(end, plane.shiftX));
    }
}

} // namespace reelhost
