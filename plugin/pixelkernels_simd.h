// Plug-in internal: the vector row kernels of this processor family, null where it has none.
#pragma once

#include "pixelkernels.h"

struct SimdRowKernels {
    RowKernel avx2Arithmetic = nullptr;
    RowKernel avx512Table = nullptr;
};

// The kernels compiled for this processor family; whether the running processor can execute
// them is DetectCpuFeatures' answer.
SimdRowKernels CompiledSimdKernels();

// The plain table kernel, with which vector kernels finish the pixels after their last vector.
void PlainTableRow(const KernelSetup& setup, uint8_t* dst, const uint8_t* src, int pixels);
