// Marks a pixel loop for an AVX2 copy beside the plain one, picked when the program loads.
#pragma once

// ThreadSanitizer cannot run that picker (it runs before the sanitizer is ready, and crashes),
// so its builds keep the plain loops.
#if defined(__SANITIZE_THREAD__)
#define VECTOR_CLONES
#else
#define VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
