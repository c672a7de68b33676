#pragma once

// Hot per-bin loops get an AVX2 variant next to the baseline one; the loader picks the one the
// processor runs. Same arithmetic either way (no reassociation, no contraction across lanes).
// Sanitizer runtimes are not up yet when the loader runs the choosers, so those builds go without.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RTSA_VECTOR_CLONES
#else
#define RTSA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
