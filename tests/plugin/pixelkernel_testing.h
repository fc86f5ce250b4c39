// Shared by the kernel tests: the formula written plainly, guarded buffers, runnable kernels.
#pragma once

#include "pixelkernels.h"

#include <cstdint>
#include <cstring>
#include <ostream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace kerneltest {

constexpr int kAlpha = 0; // memory order alpha, red, green, blue
// Where alpha lies in the byte orders frames come in: ARGB images, RGBA and BGRA host frames.
inline const int kAlphaPositions[] = {0, 3};

// The effect's formula for one channel, written independently of the plug-in.
inline uint8_t FormulaChannel(int c, int s1, int s2) {
    const double gain = 1 + ((s1 - 50) * 2) / 100.0;
    const double offset = ((s2 - 50) * 2 * 255) / 100.0;
    double v = c * gain;
    v = v + offset;
    if (v < 0) v = 0;
    if (v > 255) v = 255;
    return uint8_t(v);
}

inline ChannelTable FormulaTable(int s1, int s2) {
    ChannelTable table;
    for (int c = 0; c < 256; ++c)
        table.map[c] = FormulaChannel(c, s1, s2);
    return table;
}

// What a row must become: colour bytes through the table, the alpha byte kept.
inline void ExpectedRow(const ChannelTable& table, uint8_t* dst, const uint8_t* src, int pixels,
                        int alphaByte = kAlpha) {
    for (int i = 0; i < pixels * 4; ++i)
        dst[i] = i % 4 == alphaByte ? src[i] : table.map[src[i]];
}

inline void FillRandom(std::vector<uint8_t>& bytes, std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (uint8_t& b : bytes)
        b = uint8_t(byte(rng));
}

// The kernels this processor can run; the others' tests are skipped rather than crash on an
// instruction it lacks.
inline bool ProcessorRuns(PixelKernelKind kind) {
    const CpuFeatures cpu = DetectCpuFeatures();
    switch (kind) {
    case PixelKernelKind::PlainTable:
        return true;
    case PixelKernelKind::Avx2Arithmetic:
        return cpu.avx2;
    case PixelKernelKind::Avx512Table:
        return cpu.avx512vbmi;
    }
    return false;
}

inline std::string KindName(PixelKernelKind kind) {
    switch (kind) {
    case PixelKernelKind::PlainTable:
        return "PlainTable";
    case PixelKernelKind::Avx2Arithmetic:
        return "Avx2Arithmetic";
    case PixelKernelKind::Avx512Table:
        return "Avx512Table";
    }
    return "Unknown";
}

inline const PixelKernelKind kAllKinds[] = {
    PixelKernelKind::PlainTable, PixelKernelKind::Avx2Arithmetic, PixelKernelKind::Avx512Table};

// Random bytes with guard zones before and after `size` usable bytes, so that a write outside
// them shows up as a changed guard.
class GuardedBuffer {
  public:
    static constexpr size_t kGuard = 64;

    GuardedBuffer(size_t size, std::mt19937& rng) : bytes_(size + 2 * kGuard) {
        FillRandom(bytes_, rng);
        original_ = bytes_;
    }
    uint8_t* Data() { return bytes_.data() + kGuard; }
    const uint8_t* Original() const { return original_.data() + kGuard; }
    size_t Size() const { return bytes_.size() - 2 * kGuard; }

    bool GuardsIntact() const {
        const size_t tail = bytes_.size() - kGuard;
        return std::memcmp(bytes_.data(), original_.data(), kGuard) == 0 &&
               std::memcmp(bytes_.data() + tail, original_.data() + tail, kGuard) == 0;
    }

  private:
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> original_;
};

} // namespace kerneltest

// Test names and failure messages show the kernel's name rather than its bytes.
inline void PrintTo(PixelKernelKind kind, std::ostream* os) {
    *os << kerneltest::KindName(kind);
}
