// Processor families without vector kernels of ours: the plain table kernel serves every call.

#include "pixelkernels_simd.h"

CpuFeatures DetectCpuFeatures() {
    return {};
}

SimdRowKernels CompiledSimdKernels() {
    return {};
}
