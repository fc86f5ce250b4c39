// The plain table kernel, the proof each vector kernel passes before use, and the frame driver.
#include "pixelkernels.h"

#include "pixelkernels_simd.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kChannelValues = 256;

// Below this many pixels per chunk, handing a chunk to a helper costs more than its rows.
constexpr int64_t kMinPixelsPerChunk = int64_t(1) << 17;
// Several chunks per thread, so that a thread the system schedules late costs little.
constexpr int kChunksPerThread = 4;

// The arithmetic kernel's sums c * s1 + 255 * s2 fit its unsigned 16-bit lanes for every
// channel value c only for non-negative sliders with 255 * (s1 + s2) <= 65535.
constexpr int kLargestArithmeticSliderSum = 65535 / 255;

bool SlidersFitArithmetic(int16_t gainSlider, int16_t offsetSlider) {
    return gainSlider >= 0 && offsetSlider >= 0 &&
           int(gainSlider) + int(offsetSlider) <= kLargestArithmeticSliderSum;
}

// Every channel value in every byte of a pixel: pixel c holds c four times.
struct ProbeRow {
    uint8_t bytes[kChannelValues * 4];
    ProbeRow() {
        for (int c = 0; c < kChannelValues; ++c)
            std::memset(bytes + 4 * c, c, 4);
    }
};

// The kernel's output for the probe row.
ProbeRow RunProbe(const KernelSetup& setup, RowKernel kernel) {
    static const ProbeRow probe;
    ProbeRow out;
    kernel(setup, out.bytes, probe.bytes, kChannelValues);
    return out;
}

// Every byte of the probe as the kernel must leave it: the alpha byte kept, the others mapped.
bool ReproducesTable(const KernelSetup& setup, RowKernel kernel) {
    const ProbeRow out = RunProbe(setup, kernel);
    for (int c = 0; c < kChannelValues; ++c) {
        for (int b = 0; b < 4; ++b) {
            const int want = b == setup.alphaByte ? c : setup.table.map[c];
            if (out.bytes[4 * c + b] != want) return false;
        }
    }
    return true;
}

// A byte of each pixel that the kernel maps.
int ColourByte(const KernelSetup& setup) {
    return (setup.alphaByte + 1) % 4;
}

// Lists the channel values on which the kernel comes out one above the table as corrections;
// false when it is off in any other way or on too many values.
bool FitCorrections(KernelSetup& setup, RowKernel kernel) {
    setup.correctionCount = 0;
    const ProbeRow out = RunProbe(setup, kernel);
    KernelSetup corrected = setup;
    for (int c = 0; c < kChannelValues; ++c) {
        const int got = out.bytes[4 * c + ColourByte(setup)];
        const int want = setup.table.map[c];
        if (got == want) continue;
        if (got != want + 1 || corrected.correctionCount == kMaxCorrections) return false;
        corrected.corrections[corrected.correctionCount++] = uint8_t(c);
    }
    if (!ReproducesTable(corrected, kernel)) return false;
    setup = corrected;
    return true;
}

void CopyPixels(uint8_t* dst, const uint8_t* src, int count) {
    if (count > 0 && dst != src) std::memcpy(dst, src, size_t(count) * 4);
}

void MapRows(const PixelKernel& kernel, const FramePlanes& planes, const PixelBox& region,
             bool copyRest, int firstRow, int endRow) {
    const bool regionHasColumns = region.left < region.right;
    for (int row = firstRow; row < endRow; ++row) {
        const uint8_t* s = planes.src + std::ptrdiff_t(row) * planes.srcRowBytes;
        uint8_t* d = planes.dst + std::ptrdiff_t(row) * planes.dstRowBytes;
        if (!regionHasColumns || row < region.top || row >= region.bottom) {
            if (copyRest) CopyPixels(d, s, planes.cols);
            continue;
        }
        if (copyRest) CopyPixels(d, s, region.left);
        kernel.mapRow(kernel.setup, d + 4 * region.left, s + 4 * region.left,
                      region.right - region.left);
        if (copyRest)
            CopyPixels(d + 4 * region.right, s + 4 * region.right, planes.cols - region.right);
    }
}

} // namespace

void PlainTableRow(const KernelSetup& setup, uint8_t* dst, const uint8_t* src, int pixels) {
    const uint8_t* map = setup.table.map;
    const int alpha = setup.alphaByte;
    for (int i = 0; i < pixels; ++i, src += 4, dst += 4) {
        // Read whole before writing: dst may be src.
        const uint8_t in[4] = {src[0], src[1], src[2], src[3]};
        dst[0] = map[in[0]];
        dst[1] = map[in[1]];
        dst[2] = map[in[2]];
        dst[3] = map[in[3]];
        dst[alpha] = in[alpha];
    }
}

PixelKernel PlainTableKernel(const ChannelTable& table, int alphaByte) {
    PixelKernel kernel;
    kernel.mapRow = PlainTableRow;
    kernel.setup.table = table;
    kernel.setup.alphaByte = alphaByte;
    return kernel;
}

bool TryPixelKernel(PixelKernelKind kind, const ChannelTable& table, int alphaByte,
                    int16_t gainSlider, int16_t offsetSlider, CpuFeatures cpu,
                    PixelKernel* kernel) {
    PixelKernel candidate = PlainTableKernel(table, alphaByte);
    candidate.kind = kind;
    candidate.setup.gainSlider = gainSlider;
    candidate.setup.offsetSlider = offsetSlider;
    const SimdRowKernels compiled = CompiledSimdKernels();
    bool usable = false;
    switch (kind) {
    case PixelKernelKind::PlainTable:
        usable = true;
        break;
    case PixelKernelKind::Avx2Arithmetic:
        candidate.mapRow = compiled.avx2Arithmetic;
        usable = cpu.avx2 && candidate.mapRow && SlidersFitArithmetic(gainSlider, offsetSlider) &&
                 FitCorrections(candidate.setup, candidate.mapRow);
        break;
    case PixelKernelKind::Avx512Table:
        candidate.mapRow = compiled.avx512Table;
        usable = cpu.avx512vbmi && candidate.mapRow &&
                 ReproducesTable(candidate.setup, candidate.mapRow);
        break;
    }
    if (usable) *kernel = candidate;
    return usable;
}

PixelKernel ChoosePixelKernel(const ChannelTable& table, int alphaByte, int16_t gainSlider,
                              int16_t offsetSlider, CpuFeatures cpu) {
    // Fastest first, as measured on frames in cache and in memory alike.
    constexpr PixelKernelKind kPreference[] = {PixelKernelKind::Avx512Table,
                                               PixelKernelKind::Avx2Arithmetic};
    PixelKernel kernel;
    for (PixelKernelKind kind : kPreference)
        if (TryPixelKernel(kind, table, alphaByte, gainSlider, offsetSlider, cpu, &kernel))
            return kernel;
    return PlainTableKernel(table, alphaByte);
}

void MapFrame(const PixelKernel& kernel, const FramePlanes& planes, PixelBox region, bool copyRest,
              RowWorkers& workers) {
    // Without copyRest only the region's rows are written.
    const int firstRow = copyRest ? 0 : region.top;
    const int endRow = copyRest ? planes.rows : region.bottom;
    if (endRow <= firstRow) return;
    const int64_t touched =
        int64_t(endRow - firstRow) * (copyRest ? planes.cols : region.right - region.left);
    const int threads = workers.Threads();
    const int chunks =
        threads == 1
            ? 1
            : int(std::clamp<int64_t>(touched / kMinPixelsPerChunk, 1, kChunksPerThread * threads));
    const int rows = endRow - firstRow;
    workers.Run(chunks, [&](int chunk) {
        MapRows(kernel, planes, region, copyRest, firstRow + rows * chunk / chunks,
                firstRow + rows * (chunk + 1) / chunks);
    });
}
