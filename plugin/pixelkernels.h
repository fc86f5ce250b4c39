// Row kernels of the brightness effect, the choice among them, and the row-sharing frame driver.
//
// Every kernel maps the three colour bytes of each pixel through one 256-entry table and keeps
// the alpha byte, wherever the images' pixel format puts it; a kernel is used for a call only
// after it has reproduced the table for all 256 channel values with that alpha position, so
// every path gives the same bytes as the table.
#pragma once

#include "QuickDraw.h"
#include "pixelkernels_workers.h"

#include <cstddef>
#include <cstdint>

// The byte each channel value becomes: the exact result of the effect's formula.
struct ChannelTable {
    uint8_t map[256];
};

enum class PixelKernelKind : uint8_t {
    PlainTable,     // one lookup per byte; any processor
    Avx2Arithmetic, // floor((c * s1 + 255 * s2) / 50) - 255 in 16-bit lanes, clamped
    Avx512Table,    // the whole table held in four 64-byte registers, 64 bytes per step
};

// The instruction sets the vector kernels need. Tests pass subsets to force the fallbacks.
struct CpuFeatures {
    bool avx2 = false;
    bool avx512vbmi = false; // with AVX-512 BW, which its byte masks need
};
// What this processor can run.
CpuFeatures DetectCpuFeatures();

// Channel values the arithmetic can land one above the table on (where c * s1 + 255 * s2 is a
// multiple of 50 and the double formula falls a hair short); more than this uses another kernel.
constexpr int kMaxCorrections = 4;

// What a kernel needs, worked out once per call.
struct KernelSetup {
    ChannelTable table; // the truth; vector kernels also finish a row's last few pixels with it
    int alphaByte = 0;  // the byte of each pixel that is kept, 0..3
    int16_t gainSlider = 0;
    int16_t offsetSlider = 0;
    uint8_t corrections[kMaxCorrections] = {}; // values whose arithmetic result is one too high
    int correctionCount = 0;
};

// Maps `pixels` pixels of src into dst (which may be src itself, never a partial overlap).
using RowKernel = void (*)(const KernelSetup& setup, uint8_t* dst, const uint8_t* src, int pixels);

struct PixelKernel {
    PixelKernelKind kind = PixelKernelKind::PlainTable;
    RowKernel mapRow = nullptr;
    KernelSetup setup;
};

// The plain table kernel, always available; alphaByte (0..3) is the byte it keeps.
PixelKernel PlainTableKernel(const ChannelTable& table, int alphaByte);
// The fastest kernel `cpu` offers that reproduces `table` exactly for these sliders and alpha
// position, falling back to the plain table kernel.
PixelKernel ChoosePixelKernel(const ChannelTable& table, int alphaByte, int16_t gainSlider,
                              int16_t offsetSlider, CpuFeatures cpu);
// One particular kernel if `cpu` has it and it reproduces `table` exactly; false otherwise.
bool TryPixelKernel(PixelKernelKind kind, const ChannelTable& table, int alphaByte,
                    int16_t gainSlider, int16_t offsetSlider, CpuFeatures cpu, PixelKernel* kernel);

// Two images' pixels as the loop walks them: row r of each starts at base + r * rowBytes.
struct FramePlanes {
    const uint8_t* src;
    std::ptrdiff_t srcRowBytes;
    uint8_t* dst; // may equal src (in place)
    std::ptrdiff_t dstRowBytes;
    int rows;
    int cols;
};

// Maps `region` of the planes through `kernel`; the caller clips it to the planes (an empty one
// maps nothing). Outside it dst becomes a copy of src when copyRest is true and keeps its bytes
// otherwise; nothing beyond `cols` of a row is touched. Large frames are split by rows among
// `workers`, which the caller's owner lends (pixelkernels_workers.h).
void MapFrame(const PixelKernel& kernel, const FramePlanes& planes, PixelBox region, bool copyRest,
              RowWorkers& workers);
