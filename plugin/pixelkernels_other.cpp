// Processor families without vector kernels of ours: the plain table kernel serves every call.
#if !defined(__x86_64__)

#include "pixelkernels_simd.h"

CpuFeatures DetectCpuFeatures() {
    return {};
}

SimdRowKernels CompiledSimdKernels() {
    return {};
}

#endif
