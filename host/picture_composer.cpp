// Output pictures from the source's own samples and the plug-in's changes, plane by plane.
#include "picture_composer.h"
#include "frame_scaler.h"
#include "vector_clones.h"

extern "C" {
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

// Elements [first, end) of one row: each from `changed` where its mark is set, else from `base`
// (which may be `out` itself).
template <typename Element>
VECTOR_CLONES void SelectRow(const uint8_t* __restrict changed, const uint8_t* base, uint8_t* out,
                             const uint8_t* __restrict marks, int first, int end) {
    for (int e = first; e < end; ++e) {
        Element in, kept;
        std::memcpy(&in, changed + size_t(e) * sizeof(Element), sizeof in);
        std::memcpy(&kept, base + size_t(e) * sizeof(Element), sizeof kept);
        kept = marks[e] ? in : kept;
        std::memcpy(out + size_t(e) * sizeof(Element), &kept, sizeof kept);
    }
}

void SelectElements(int bytes, const uint8_t* changed, const uint8_t* base, uint8_t* out,
                    const uint8_t* marks, int first, int end) {
    switch (bytes) {
    case 1:
        return SelectRow<uint8_t>(changed, base, out, marks, first, end);
    case 2:
        return SelectRow<uint16_t>(changed, base, out, marks, first, end);
    case 4:
        return SelectRow<uint32_t>(changed, base, out, marks, first, end);
    default:
        for (int e = first; e < end; ++e) {
            const uint8_t* from = (marks[e] ? changed : base) + size_t(e) * bytes;
            if (from != out + size_t(e) * bytes) std::memcpy(out + size_t(e) * bytes, from, bytes);
        }
    }
}

// Marks elements [first, end) of a row of elements that cover 2^shift pixels each where one of
// them changed, from one row of the pixels' marks; pixels from `width` on count as unchanged.
VECTOR_CLONES void MarkElements(const uint8_t* __restrict pixels, int shift, int width, int first,
                                int end, uint8_t* __restrict marks) {
    if (shift == 1) {
        const int pairs = std::min(end, width >> 1);
        for (int e = first; e < pairs; ++e)
            marks[e] |= pixels[2 * e] | pixels[2 * e + 1];
        if (pairs < end) marks[pairs] |= pixels[2 * pairs]; // an odd width's last column
        return;
    }
    for (int e = first; e < end; ++e)
        for (int x = e << shift; x < std::min((e + 1) << shift, width); ++x)
            marks[e] |= pixels[x];
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
    AVFrame& source = *sources.source;
    const ChangedPixels* changed =
        sources.rendered.Empty() || sources.changed->None() ? nullptr : sources.changed;
    if (SameSamples(source) && source.buf[0] && (!changed || av_frame_is_writable(&source))) {
        if (changed) Merge(sources.rendered, changed, source, source);
        ShareSamples(source);
        return *shared_;
    }
    MakeReusable(*picture_);
    // The samples the untouched pixels keep: the source's own, or converted straight into the
    // output, where the changes then replace some in place.
    const AVFrame* base = &source;
    if (!SameSamples(source)) {
        ConvertStraight(source, *picture_);
        base = picture_.get();
    }
    Merge(sources.rendered, changed, *base, *picture_);
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

void PictureComposer::Merge(const PixelView& rendered, const ChangedPixels* changed,
                            const AVFrame& base, AVFrame& out) {
    int firstRow = 0, endRow = 0; // the rows of pixels converted from `rendered`
    if (changed) {
        firstRow = changed->FirstRow() / kBlockRows * kBlockRows;
        endRow = std::min((changed->EndRow() + kBlockRows - 1) / kBlockRows * kBlockRows, height_);
    }
    if (firstRow < endRow) ConvertRendered(rendered, firstRow, endRow, *converted_);
    for (int p = 0; p < layout_->planes; ++p)
        MergePlane(p, changed, base, out);
}

void PictureComposer::MergePlane(int p, const ChangedPixels* changed, const AVFrame& base,
                                 AVFrame& out) {
    const PlaneLayout& plane = layout_->plane[size_t(p)];
    const int elements = CeilShift(width_, plane.shiftX);
    const size_t rowBytes = size_t(elements) * size_t(plane.elementBytes);
    const bool inPlace = base.data[p] == out.data[p];
    if (elementMarks_.size() < size_t(elements)) elementMarks_.resize(size_t(elements));
    for (int r = 0; r < CeilShift(height_, plane.shiftY); ++r) {
        const uint8_t* from = base.data[p] + std::ptrdiff_t(r) * base.linesize[p];
        uint8_t* row = out.data[p] + std::ptrdiff_t(r) * out.linesize[p];
        const int top = r << plane.shiftY;
        const int bottom = std::min((r + 1) << plane.shiftY, height_);
        // The changed pixels this row of elements covers, and the elements that hold them. Its
        // pixel rows lie in one block, converted whenever one of them changed.
        int first = INT_MAX, end = 0;
        for (int y = top; changed && y < bottom; ++y) {
            const RowChange& row = changed->Row(y);
            if (row.Empty() || row.first >= width_) continue;
            first = std::min(first, row.first);
            end = std::max(end, std::min(row.end, width_));
        }
        if (first >= end) {
            if (!inPlace) std::memcpy(row, from, rowBytes);
            continue;
        }
        const int e0 = first >> plane.shiftX, e1 = CeilShift(end, plane.shiftX);
        const uint8_t* marks = changed->Mask(top);
        if (plane.shiftX || plane.shiftY) {
            std::fill(elementMarks_.begin() + e0, elementMarks_.begin() + e1, 0);
            for (int y = top; y < bottom; ++y)
                if (!changed->Row(y).Empty())
                    MarkElements(changed->Mask(y), plane.shiftX, width_, e0, e1,
                                 elementMarks_.data());
            marks = elementMarks_.data();
        }
        const size_t head = size_t(e0) * size_t(plane.elementBytes);
        const size_t tail = size_t(e1) * size_t(plane.elementBytes);
        if (!inPlace) {
            std::memcpy(row, from, head);
            std::memcpy(row + tail, from + tail, rowBytes - tail);
        }
        SelectElements(plane.elementBytes,
                       converted_->data[p] + std::ptrdiff_t(r) * converted_->linesize[p], from, row,
                       marks, e0, e1);
    }
}

} // namespace reelhost
